#include "Arguments.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>

namespace pg::clipmend {

namespace {

// Largest frame size the headers' frame rectangle can hold.
constexpr std::int32_t MAX_DIMENSION = 32767;

bool ParsePositive(const std::string& text, std::int32_t limit, std::int32_t& value)
{
    if (text.empty() || text.size() > 11)
        return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (!(c >= '0' && c <= '9') && !(i == 0 && c == '+'))
            return false;
    }
    errno = 0;
    const long long number = std::strtoll(text.c_str(), nullptr, 10);
    if (errno != 0 || number < 1 || number > limit)
        return false;
    value = static_cast<std::int32_t>(number);
    return true;
}

bool IsUnattendedSwitch(const std::string& word)
{
    return word == "/A" || word == "/a";
}

} // namespace

const char* UsageLine()
{
    return "Usage: ClipmendC \"input.avi\" \"output.avi\" -k startframe [-n frames] [-h width -v height] "
           "[/A]";
}

bool ParseArguments(const std::vector<std::string>& args, Arguments& parsed, std::string& error)
{
    parsed = Arguments{};
    // Known even when the rest fails, so that the error message does not wait for a key.
    parsed.unattended = std::any_of(args.begin(), args.end(), IsUnattendedSwitch);
    std::vector<std::string> paths;
    bool haveStart = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& word = args[i];
        if (IsUnattendedSwitch(word))
            continue;
        std::int32_t* target = nullptr;
        const char* what = nullptr;
        std::int32_t limit = INT32_MAX;
        if (word == "-k") {
            target = &parsed.startFrame;
            what = "start frame";
            haveStart = true;
        } else if (word == "-n") {
            target = &parsed.frameCount;
            what = "frame count";
        } else if (word == "-h") {
            target = &parsed.width;
            what = "width";
            limit = MAX_DIMENSION;
        } else if (word == "-v") {
            target = &parsed.height;
            what = "height";
            limit = MAX_DIMENSION;
        } else if ((word.size() > 1 && word[0] == '-') || (word.size() == 2 && word[0] == '/')) {
            // A longer word after a slash is a path of the native build.
            error = "unknown option " + word;
            return false;
        } else {
            paths.push_back(word);
            continue;
        }
        if (*target != 0) {
            error = std::string(what) + " given twice";
            return false;
        }
        if (i + 1 >= args.size() || !ParsePositive(args[i + 1], limit, *target)) {
            error = std::string(what) + " must be a whole number from 1 to " + std::to_string(limit);
            return false;
        }
        ++i;
    }
    if (paths.size() != 2 || paths[0].empty() || paths[1].empty()) {
        error = "expected an input and an output file name";
        return false;
    }
    if (!haveStart) {
        error = "the start frame (-k) is missing";
        return false;
    }
    if ((parsed.width > 0) != (parsed.height > 0)) {
        error = "width (-h) and height (-v) go together";
        return false;
    }
    parsed.input = paths[0];
    parsed.output = paths[1];
    return true;
}

} // namespace pg::clipmend
