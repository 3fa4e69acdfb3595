#pragma once
// MPEG program streams and transport streams as containers of the tool.
#include "Container.h"

namespace pg::clipmend {

int ProbeProgramStream(const std::uint8_t* data, std::size_t size);
int ProbeTransportStream(const std::uint8_t* data, std::size_t size);
std::unique_ptr<Container> CreateProgramStreamContainer();
std::unique_ptr<Container> CreateTransportStreamContainer();

} // namespace pg::clipmend
