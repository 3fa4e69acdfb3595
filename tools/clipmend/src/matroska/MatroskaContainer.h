#pragma once
// Matroska and WebM files as one of the tool's containers.
#include "Container.h"

namespace pg::clipmend {

int ProbeMatroska(const std::uint8_t* data, std::size_t size);
std::unique_ptr<Container> CreateMatroskaContainer();

} // namespace pg::clipmend
