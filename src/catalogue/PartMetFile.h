#pragma once
// Reader of the client's NNN.part.met metadata files. Every read prints a readable dump of what it
// reads, and its error messages, to a dump stream (the program passes stdout).
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace pg {

// Where a read's dump goes. A stream that the runtime would write in text mode is better set to
// binary mode with `crlfLineEnds` on: the dump then carries the same CR LF line ends, made in one
// pass over each read's dump instead of by the runtime on every write.
struct DumpTarget
{
    DumpTarget(std::FILE* stream, bool crlf = false) : file(stream), crlfLineEnds(crlf) {}

    std::FILE* file;
    bool crlfLineEnds;
};

class ByteReader;

class PartMetFile
{
public:
    PartMetFile() = default;
    virtual ~PartMetFile() = default;

    // Reads the whole metadata file from `in` (opened "rb", at its start; the read may take more of
    // the stream than the metadata uses). True once the tag list has been read and the link built;
    // false after an error message. Fields stored before a failure stay set.
    bool Read(std::FILE* in, const DumpTarget& dump);
    // Read of metadata bytes already in memory: the same fields, dump and result.
    bool ReadFromMemory(std::string_view bytes, const DumpTarget& dump);

    // Like Read, but returns true as soon as the first gap-start tag has been read, with
    // m_firstGapStart set to its value. Without any gap-start tag the whole file is present, so
    // m_firstGapStart becomes the file size from the last size tag (0 when there is none).
    bool ReadUntilFirstGap(std::FILE* in, const DumpTarget& dump);

    static std::string PriorityName(std::int32_t priority);
    static std::string StatusName(std::int32_t status);

    // Prints an error message to the dump stream; yields false for the failing read to return.
    static bool PrintError(const DumpTarget& dump, const char* format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
        ;

    std::string m_fileName;
    std::string m_link;
    std::string m_fileType;
    std::string m_fileFormat;
    std::int32_t m_fileSize = 0;
    std::int32_t m_copied = 0;
    std::int32_t m_firstGapStart = 0;

private:
    bool ReadMet(ByteReader& in, const DumpTarget& dump, bool untilFirstGap);
};

struct PartInfo
{
    std::string name;  // the download's file name; empty when the metadata cannot be read
    float percent = 0; // share received, 0 when it cannot be computed
    bool read = false; // the metadata was opened and read to its end
};

// The metadata of the data file `partPath`: the file partPath + ".met".
std::string MetadataPath(const std::string& partPath);

PartInfo GetPartInfo(const std::string& partPath, const DumpTarget& dump);
// The same for the metadata file's bytes, read before.
PartInfo PartInfoFromBytes(std::string_view metBytes, const DumpTarget& dump);

// Offset of the first missing byte of the download; 0 when the metadata cannot be read, so a
// download whose first gap starts at 0 counts as having no usable data.
std::int32_t GetFirstGapStart(const std::string& partPath, const DumpTarget& dump);

} // namespace pg
