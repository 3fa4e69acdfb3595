#include "framework/Registry.h"

#include <cstring>
#include <vector>

namespace fw {

bool QueryValueText(HKEY key, const char* valueName, std::string& text, DWORD* type)
{
    text.clear();
    DWORD valueType = 0;
    DWORD size = 0;
    if (::RegQueryValueExA(key, valueName, nullptr, &valueType, nullptr, &size) != ERROR_SUCCESS)
        return false;
    std::vector<char> data(static_cast<std::size_t>(size) + 1, '\0');
    if (::RegQueryValueExA(key, valueName, nullptr, &valueType, reinterpret_cast<BYTE*>(data.data()),
                           &size) != ERROR_SUCCESS)
        return false;
    text.assign(data.data(), ::strnlen(data.data(), size));
    if (type)
        *type = valueType;
    return true;
}

} // namespace fw
