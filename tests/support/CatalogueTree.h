#pragma once
// A scratch temp-directory tree of downloads for the catalogue's Wine and black-box tests: data
// files, sparse files, metadata files and directory links, removed with everything in it.
#include "MetFile.h"
#include "Win32TestSupport.h"

#include <windows.h>

#include <cstdint>
#include <string>

namespace pgtest {

// Wine only: the Unix path of a Windows path, through Wine's own kernel32 export; empty on Windows.
inline std::string UnixPathOf(const std::string& windowsPath)
{
    using UnixFileName = char*(CDECL*)(LPCWSTR);
    const auto unixFileName = reinterpret_cast<UnixFileName>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    if (!unixFileName)
        return {};
    const std::wstring wide(windowsPath.begin(), windowsPath.end());
    char* unixName = unixFileName(wide.c_str());
    if (!unixName)
        return {};
    std::string result = unixName;
    ::HeapFree(::GetProcessHeap(), 0, unixName);
    return result;
}

// Wine starts a Unix program as a process of its own that it does not let us wait for; the caller
// waits for its effect instead.
inline bool StartUnixProgram(const std::string& commandLine)
{
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    std::string line = commandLine;
    if (!::CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &process))
        return false;
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return true;
}

inline bool WaitForAttributes(const std::string& path, bool present)
{
    return WaitUntil(
        [&] { return (::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) == present; });
}

inline bool IsLink(const std::string& path)
{
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

class CatalogueTree
{
public:
    CatalogueTree()
    {
        static int serial = 0;
        char temp[MAX_PATH] = {};
        ::GetTempPathA(MAX_PATH, temp);
        m_root = std::string(temp) + "pgcatalogue-" + std::to_string(::GetCurrentProcessId()) + "-" +
                 std::to_string(++serial) + "\\";
        ::CreateDirectoryA(m_root.c_str(), nullptr);
    }
    ~CatalogueTree() { RemoveTree(m_root); }
    CatalogueTree(const CatalogueTree&) = delete;
    CatalogueTree& operator=(const CatalogueTree&) = delete;

    // The tree's root, ending in a backslash.
    const std::string& Root() const { return m_root; }
    std::string PathOf(const std::string& relative) const { return m_root + relative; }

    void Directory(const std::string& relative) const
    {
        ::CreateDirectoryA(PathOf(relative).c_str(), nullptr);
    }

    void File(const std::string& relative, const std::string& bytes) const
    {
        const HANDLE file = ::CreateFileA(PathOf(relative).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                          FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD written = 0;
        ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        ::CloseHandle(file);
    }

    // A file of `size` bytes whose content is never written: marked sparse where the platform
    // knows the mark, then extended by moving its end.
    void SparseFile(const std::string& relative, std::uint64_t size) const
    {
        const HANDLE file = ::CreateFileA(PathOf(relative).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                          FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD returned = 0;
        ::DeviceIoControl(file, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
        LARGE_INTEGER end;
        end.QuadPart = static_cast<LONGLONG>(size);
        ::SetFilePointerEx(file, end, nullptr, FILE_BEGIN);
        ::SetEndOfFile(file);
        ::CloseHandle(file);
    }

    // A download: its data file of `size` bytes and, unless `met` is null, its metadata file.
    void Download(const std::string& relative, std::uint64_t size, const MetFile* met) const
    {
        if (size > (1u << 20))
            SparseFile(relative, size);
        else
            File(relative, std::string(static_cast<std::size_t>(size), 'd'));
        if (met)
            File(relative + ".met", met->str());
    }

    // A directory link at `relative` whose target is `target` (relative to the link's directory, or
    // a full Windows path). True once the link exists.
    bool DirectoryLink(const std::string& relative, const std::string& target) const
    {
        const std::string link = PathOf(relative);
        using CreateLink = BOOLEAN(WINAPI*)(LPCSTR, LPCSTR, DWORD);
        const auto createLink = reinterpret_cast<CreateLink>(reinterpret_cast<void*>(
            ::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "CreateSymbolicLinkA")));
        if (createLink && createLink(link.c_str(), target.c_str(), 1 /* directory */) && IsLink(link))
            return true;
        // Wine 8 reports success for CreateSymbolicLinkA without making a link: make a Unix one.
        const std::string unixLink = UnixPathOf(link);
        const std::string unixTarget = target.find(':') == std::string::npos ? target : UnixPathOf(target);
        return !unixLink.empty() &&
               StartUnixProgram("/bin/ln -s \"" + unixTarget + "\" \"" + unixLink + "\"") &&
               WaitForAttributes(link, true) && IsLink(link);
    }

private:
    // Deletes a tree without following links: a link is removed itself, never what it points to.
    static void RemoveTree(const std::string& directory)
    {
        WIN32_FIND_DATAA data{};
        const HANDLE find = ::FindFirstFileA((directory + "*").c_str(), &data);
        if (find != INVALID_HANDLE_VALUE) {
            do {
                const std::string name = data.cFileName;
                const std::string path = directory + name;
                if (name == "." || name == "..")
                    continue;
                if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
                    RemoveLink(path);
                else if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                    RemoveTree(path + "\\");
                else
                    ::DeleteFileA(path.c_str());
            } while (::FindNextFileA(find, &data));
            ::FindClose(find);
        }
        ::RemoveDirectoryA(directory.c_str());
    }

    static void RemoveLink(const std::string& path)
    {
        if (::RemoveDirectoryA(path.c_str()))
            return;
        // Wine 8 removes neither with RemoveDirectoryA nor with DeleteFileA a Unix link to a directory.
        const std::string unixPath = UnixPathOf(path);
        if (!unixPath.empty() && StartUnixProgram("/bin/rm -f \"" + unixPath + "\""))
            WaitForAttributes(path, false);
    }

    std::string m_root;
};

} // namespace pgtest
