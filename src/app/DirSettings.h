#pragma once
// The one setting kept between runs: the client's temp directory, in the per-user registry.
#include <windows.h>

#include <string>

namespace pg {

constexpr char SETTINGS_KEY[] = "SOFTWARE\\Partglance\\Dirs";
constexpr char TEMP_DIR_VALUE[] = "TmpDir";

// 0 on success and when the key exists without the value; E_FAIL when the key cannot be opened.
HRESULT ReadRegistryString(std::string& text, const char* keyPath, const char* valueName);
// S_OK after writing; E_FAIL when the key can neither be opened nor created.
HRESULT WriteRegistryString(const std::string& text, const char* keyPath, const char* valueName);

class DirSettings
{
public:
    virtual ~DirSettings() = default;

    void Load();
    // 0 when written or when there is nothing to write; 1 when writing failed.
    int Save();

    std::string m_tmpDir;
};

} // namespace pg
