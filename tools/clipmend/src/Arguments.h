#pragma once
// The command line: "IN" "OUT" -k START [-n COUNT] [-h WIDTH -v HEIGHT] [/A]
#include <cstdint>
#include <string>
#include <vector>

namespace pg::clipmend {

struct Arguments
{
    std::string input;
    std::string output;
    std::int32_t startFrame = 0;
    std::int32_t frameCount = 0; // 0: to the end
    std::int32_t width = 0;      // 0: keep the input's frame size
    std::int32_t height = 0;
    bool unattended = false; // /A: never wait for a key
};

// One line naming every argument.
const char* UsageLine();

// args are the words after the program name. False with a one-line reason.
bool ParseArguments(const std::vector<std::string>& args, Arguments& parsed, std::string& error);

} // namespace pg::clipmend
