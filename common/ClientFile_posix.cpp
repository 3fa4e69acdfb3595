#include "ClientFile.h"

namespace pg {

// An open file never stands in the way of renaming or deleting it here.
FilePtr OpenClientFile(const std::string& path)
{
    return FilePtr(std::fopen(path.c_str(), "rb"));
}

} // namespace pg
