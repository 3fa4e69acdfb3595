#pragma once
// The texts and version numbers of a module's version resource, read once at construction.
#include <array>
#include <cstdint>
#include <string>

namespace pg {

class ModuleVersionInfo
{
public:
    // Reads the running program's own version resource.
    ModuleVersionInfo();
    // Reads the version resource of the module file at that path.
    explicit ModuleVersionInfo(const std::string& modulePath);
    virtual ~ModuleVersionInfo() = default;

    // 1 parses m_fileVersion into m_fileVersionNumbers, anything else m_productVersion.
    void ParseNumbers(std::int32_t selector);

    std::string m_internalName;
    std::string m_productName;
    std::string m_author;
    std::string m_fileVersion;
    std::string m_productVersion;
    std::string m_legalCopyright;
    std::string m_betaBuild;
    std::string m_buildDate;
    std::string m_companyName;
    std::array<std::int32_t, 4> m_fileVersionNumbers{};
    std::array<std::int32_t, 4> m_productVersionNumbers{};

private:
    void Read(const std::string& modulePath);
};

} // namespace pg
