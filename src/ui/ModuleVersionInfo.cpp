#include "ui/ModuleVersionInfo.h"

#include "framework/Application.h"
#include "ui/VersionNumbers.h"

#include <windows.h>

#include <cstring>
#include <vector>

namespace pg {
namespace {

constexpr char NO_VERSION_INFO[] = "No version info";
constexpr char NO_COPYRIGHT_INFO[] = "No copyright info";

// A text of the version block, or false when the key does not exist.
bool QueryText(const std::vector<char>& block, const char* key, std::string& text)
{
    void* value = nullptr;
    UINT length = 0;
    if (!::VerQueryValueA(block.data(), key, &value, &length) || !value)
        return false;
    const auto* chars = static_cast<const char*>(value);
    text.assign(chars, ::strnlen(chars, length));
    return true;
}

} // namespace

ModuleVersionInfo::ModuleVersionInfo() : ModuleVersionInfo(fw::ModulePath()) {}

ModuleVersionInfo::ModuleVersionInfo(const std::string& modulePath)
{
    Read(modulePath);
}

void ModuleVersionInfo::Read(const std::string& modulePath)
{
    DWORD handle = 0;
    const DWORD size = ::GetFileVersionInfoSizeA(modulePath.c_str(), &handle);
    if (size == 0)
        return;
    std::vector<char> block(size);
    if (!::GetFileVersionInfoA(modulePath.c_str(), handle, size, block.data()))
        return;

    if (QueryText(block, "\\StringFileInfo\\040704b0\\FileVersion", m_fileVersion))
        ParseNumbers(1);
    else
        m_fileVersion = NO_VERSION_INFO;
    if (QueryText(block, "\\StringFileInfo\\040704b0\\ProductVersion", m_productVersion))
        ParseNumbers(2);
    else
        m_productVersion = NO_VERSION_INFO;
    QueryText(block, "\\StringFileInfo\\040704b0\\InternalName", m_internalName);
    QueryText(block, "\\StringFileInfo\\040704b0\\ProductName", m_productName);
    if (!QueryText(block, "\\StringFileInfo\\040704b0\\LegalCopyright", m_legalCopyright))
        m_legalCopyright = NO_COPYRIGHT_INFO;
    QueryText(block, "\\StringFileInfo\\040704b0\\BetaBuild", m_betaBuild);
    // The author is kept in the English table, unlike everything else.
    QueryText(block, "\\StringFileInfo\\040904b0\\Author", m_author);
    QueryText(block, "\\StringFileInfo\\040704b0\\CompanyName", m_companyName);
    QueryText(block, "\\StringFileInfo\\040704b0\\BuildDate", m_buildDate);
}

void ModuleVersionInfo::ParseNumbers(std::int32_t selector)
{
    if (selector == 1)
        ParseVersionNumbers(m_fileVersion, m_fileVersionNumbers[0], m_fileVersionNumbers[1],
                            m_fileVersionNumbers[2], m_fileVersionNumbers[3]);
    else
        ParseVersionNumbers(m_productVersion, m_productVersionNumbers[0], m_productVersionNumbers[1],
                            m_productVersionNumbers[2], m_productVersionNumbers[3]);
}

} // namespace pg
