#include "framework/Choosers.h"

#include "framework/Text.h"

#include <commdlg.h>
#include <shlobj.h>

#include <vector>

namespace fw {

FileDialog::FileDialog(bool openFileDialog, const char* defaultExtension, const char* fileName, DWORD flags,
                       const std::string& filter, HWND owner)
    : m_open(openFileDialog), m_defaultExtension(defaultExtension ? defaultExtension : ""),
      m_fileName(fileName ? fileName : ""), m_flags(flags), m_filter(FileFilterFromBars(filter)),
      m_owner(owner)
{
}

INT_PTR FileDialog::DoModal()
{
    // Room for one long path; multiple selection is not used.
    std::vector<char> file(32768, '\0');
    m_fileName.copy(file.data(), file.size() - 1);

    OPENFILENAMEA ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = m_owner;
    ofn.lpstrFilter = m_filter.c_str();
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = static_cast<DWORD>(file.size());
    ofn.lpstrTitle = m_title.empty() ? nullptr : m_title.c_str();
    ofn.lpstrDefExt = m_defaultExtension.empty() ? nullptr : m_defaultExtension.c_str();
    ofn.Flags = m_flags | OFN_ENABLESIZING | OFN_EXPLORER;

    const BOOL confirmed = m_open ? ::GetOpenFileNameA(&ofn) : ::GetSaveFileNameA(&ofn);
    if (!confirmed)
        return IDCANCEL;
    m_pathName = file.data();
    return IDOK;
}

FolderChoice BrowseForFolder(HWND owner, const std::string& title, UINT flags)
{
    FolderChoice choice;
    char displayName[MAX_PATH] = {};
    BROWSEINFOA info{};
    info.hwndOwner = owner;
    info.pidlRoot = nullptr;
    info.pszDisplayName = displayName;
    info.lpszTitle = title.c_str();
    info.ulFlags = flags;

    LPITEMIDLIST items = ::SHBrowseForFolderA(&info);
    if (!items)
        return choice;
    char path[MAX_PATH] = {};
    if (::SHGetPathFromIDListA(items, path)) {
        choice.hasPath = true;
        choice.path = path;
    }
    IMalloc* allocator = nullptr;
    if (SUCCEEDED(::SHGetMalloc(&allocator)) && allocator) {
        allocator->Free(items);
        allocator->Release();
    }
    return choice;
}

} // namespace fw
