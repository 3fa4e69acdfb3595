#include "OutputName.h"

#include <algorithm>

namespace pg::clipmend {

namespace {

// The extension of the name's last component, dot included; empty when there is none.
std::string Extension(const std::string& name)
{
    const std::size_t dot = name.rfind('.');
    const std::size_t separator = name.find_last_of("/\\:");
    if (dot == std::string::npos || (separator != std::string::npos && dot < separator))
        return {};
    std::string extension = name.substr(dot);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    return extension;
}

bool Contains(const std::vector<std::string>& list, const std::string& extension)
{
    return std::find(list.begin(), list.end(), extension) != list.end();
}

} // namespace

std::string OutputName(const std::string& requested, const std::vector<std::string>& own,
                       const std::vector<std::string>& known)
{
    const std::string extension = Extension(requested);
    if (extension.empty() || Contains(own, extension) || !Contains(known, extension))
        return requested;
    const std::string stem = requested.substr(0, requested.size() - extension.size());
    return Contains(own, Extension(stem)) ? stem : stem + own.front();
}

} // namespace pg::clipmend
