#pragma once
// MP4 and QuickTime files as one of the tool's containers.
#include "Container.h"

namespace pg::clipmend {

int ProbeMp4(const std::uint8_t* data, std::size_t size);
std::unique_ptr<Container> CreateMp4Container();

} // namespace pg::clipmend
