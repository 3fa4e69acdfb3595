#pragma once
// Opening the download client's own files, which both programs only ever read.
#include <cstdio>
#include <memory>
#include <string>

namespace pg {

struct FileCloser
{
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// A binary read-only stream on one of the client's files (a download or its metadata), or null;
// closed as soon as it is read. The client saves its metadata by writing a new
// file and moving it into the old one's place, or by deleting and re-creating it: the file is
// opened so that the client can write, rename and delete it while we read (a refused save could
// cost the user the record of what has arrived).
FilePtr OpenClientFile(const std::string& path);

} // namespace pg
