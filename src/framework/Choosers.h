#pragma once
// The system's file-open dialog and folder browser.
#include <windows.h>

#include <string>

namespace fw {

class FileDialog
{
public:
    // The filter uses the "|" notation: descriptions and patterns alternate, "||" ends it.
    FileDialog(bool openFileDialog, const char* defaultExtension, const char* fileName, DWORD flags,
               const std::string& filter, HWND owner);

    std::string m_title;

    INT_PTR DoModal();
    std::string GetPathName() const { return m_pathName; }

private:
    bool m_open;
    std::string m_defaultExtension;
    std::string m_fileName;
    DWORD m_flags;
    std::string m_filter;
    HWND m_owner;
    std::string m_pathName;
};

struct FolderChoice
{
    bool hasPath = false; // the user confirmed a file-system folder with a path
    std::string path;
};

// The folder browser rooted at the desktop; the item list is released before it returns.
FolderChoice BrowseForFolder(HWND owner, const std::string& title, UINT flags);

} // namespace fw
