#pragma once
// AVI files (RIFF "AVI ", with OpenDML extensions) as one of the tool's containers.
#include "Container.h"

namespace pg::clipmend {

int ProbeAvi(const std::uint8_t* data, std::size_t size);
std::unique_ptr<Container> CreateAviContainer();

} // namespace pg::clipmend
