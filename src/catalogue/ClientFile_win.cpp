#include "catalogue/ClientFile.h"

#include "framework/Handles.h"

#include <windows.h>
#include <fcntl.h>
#include <io.h>

namespace pg {

FilePtr OpenClientFile(const std::string& path)
{
    // The runtime's own opening shares the file for reading and writing only.
    fw::KernelHandle file(::CreateFileA(path.c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                        OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file)
        return nullptr;
    const int descriptor = ::_open_osfhandle(reinterpret_cast<intptr_t>(file.Get()), _O_RDONLY | _O_BINARY);
    if (descriptor == -1)
        return nullptr;
    file.Release(); // the descriptor owns it now
    FilePtr stream(::_fdopen(descriptor, "rb"));
    if (!stream)
        ::_close(descriptor);
    return stream;
}

} // namespace pg
