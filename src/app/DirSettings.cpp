#include "app/DirSettings.h"

#include "framework/Handles.h"
#include "framework/Registry.h"

namespace pg {

HRESULT ReadRegistryString(std::string& text, const char* keyPath, const char* valueName)
{
    text.clear();
    fw::RegistryKey key;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, keyPath, 0, KEY_READ, key.Put()) != ERROR_SUCCESS)
        return E_FAIL;
    // Whatever type the value has, its bytes are taken as text; a value that cannot be read
    // leaves the text empty.
    fw::QueryValueText(key.Get(), valueName, text);
    return S_OK;
}

HRESULT WriteRegistryString(const std::string& text, const char* keyPath, const char* valueName)
{
    fw::RegistryKey key;
    char emptyClass[] = "";
    if (::RegCreateKeyExA(HKEY_CURRENT_USER, keyPath, 0, emptyClass, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                          nullptr, key.Put(), nullptr) != ERROR_SUCCESS)
        return E_FAIL;
    ::RegSetValueExA(key.Get(), valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                     static_cast<DWORD>(text.size() + 1));
    ::RegFlushKey(key.Get());
    return S_OK;
}

void DirSettings::Load()
{
    ReadRegistryString(m_tmpDir, SETTINGS_KEY, TEMP_DIR_VALUE);
}

int DirSettings::Save()
{
    if (m_tmpDir.empty())
        return 0;
    return WriteRegistryString(m_tmpDir, SETTINGS_KEY, TEMP_DIR_VALUE) == S_OK ? 0 : 1;
}

} // namespace pg
