// libFuzzer target for the part.met reader: arbitrary bytes must never crash any read, the quick
// read must print exactly a leading piece of what the full read prints, and a read of the same
// bytes from memory must match the read from a stream.
#include "catalogue/PartMetFile.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

struct Dump
{
    char* data = nullptr;
    std::size_t size = 0;
    std::FILE* stream = open_memstream(&data, &size);
    ~Dump() { std::free(data); }
    std::string Text()
    {
        std::fclose(stream);
        return std::string(data, size);
    }
};

// Runs one read over the bytes; yields its result and its dump.
template <typename ReadCall>
bool RunRead(const std::uint8_t* bytes, std::size_t size, std::string& dumpText, ReadCall read)
{
    // fmemopen refuses an empty buffer; an empty file is the same stream at its end.
    static const std::uint8_t empty = 0;
    std::FILE* in = fmemopen(const_cast<std::uint8_t*>(size ? bytes : &empty), size ? size : 1, "rb");
    if (in == nullptr)
        std::abort();
    if (size == 0)
        std::fgetc(in);
    Dump dump;
    const bool ok = read(in, dump.stream);
    std::fclose(in);
    dumpText = dump.Text();
    return ok;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    pg::PartMetFile full;
    pg::PartMetFile quick;
    std::string fullDump;
    std::string quickDump;
    const bool fullOk =
        RunRead(data, size, fullDump, [&](std::FILE* in, std::FILE* d) { return full.Read(in, d); });
    const bool quickOk = RunRead(data, size, quickDump,
                                 [&](std::FILE* in, std::FILE* d) { return quick.ReadUntilFirstGap(in, d); });

    pg::PartMetFile fromMemory;
    Dump memoryDump;
    const bool memoryOk = fromMemory.ReadFromMemory(
        std::string_view(reinterpret_cast<const char*>(data), size), memoryDump.stream);
    if (memoryOk != fullOk || memoryDump.Text() != fullDump || fromMemory.m_link != full.m_link ||
        fromMemory.m_fileName != full.m_fileName || fromMemory.m_fileSize != full.m_fileSize ||
        fromMemory.m_copied != full.m_copied)
        std::abort();

    if (fullOk && !quickOk)
        std::abort();
    if (fullDump.compare(0, quickDump.size(), quickDump) != 0)
        std::abort();
    if (fullOk && (full.m_link.rfind("ed2k://|file|", 0) != 0 || full.m_link.back() != '|'))
        std::abort();
    return 0;
}
