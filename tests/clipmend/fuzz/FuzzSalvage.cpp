// libFuzzer target: any bytes through the whole tool chain, reader to writer. Whatever the
// reader makes of them, the writer must be able to write it, and the written file must read
// back whole.
#include "AviWriter.h"
#include "GapList.h"
#include "Salvage.h"
#include "Selection.h"

#include <cstdint>
#include <cstdlib>

using namespace pg::clipmend;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Inputs of odd length are read as a mapped file is, the others through a small window
    // that is refilled often, as it is on large files.
    MemorySource source(data, size, size % 2 == 1);
    std::vector<ByteRange> gaps;
    ReadGapList(source, gaps);
    SourceReader reader(source, 512);
    SalvageOptions options;
    // Gaps at places taken from the input itself, so that both walks get exercised.
    if (size > 64 && data[size - 1] & 1)
        options.gaps = NormalizeRanges({{data[size - 2] * 16u, data[size - 2] * 16u + data[size - 3] * 8u}});
    Salvage salvage;
    std::string error;
    if (!SalvageAvi(reader, options, salvage, error))
        return 0;
    Selection selection;
    const std::int64_t start = size > 8 ? 1 + data[size / 2] % 8 : 1;
    if (!SelectSpan(salvage, {start, size > 9 ? data[size / 3] % 16 : 0}, selection, error))
        return 0;

    WriterOptions writerOptions;
    writerOptions.riffLimit = 4096; // several segments with extended indexes
    MemorySink sink;
    if (!WriteAvi(salvage.headers, selection, writerOptions, reader, sink, error))
        std::abort();
    MemorySource written(sink.Bytes());
    SourceReader rereader(written, 512);
    Salvage again;
    if (!SalvageAvi(rereader, {}, again, error))
        std::abort();
    if (again.chunks.size() != selection.chunks.size() || again.report.damagedRegions != 0)
        std::abort();
    return 0;
}
