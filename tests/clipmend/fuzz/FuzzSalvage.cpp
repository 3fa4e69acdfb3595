// libFuzzer target: any bytes through the whole tool chain, reader to writer, for every
// container. Whatever a reader makes of them, its writer must be able to write it, and the
// written file must read back whole.
#include "AviWriter.h"
#include "GapList.h"
#include "MatroskaContainer.h"
#include "Mp4Container.h"
#include "MpegContainer.h"
#include "Salvage.h"
#include "Selection.h"

#include <cstdint>
#include <cstdlib>

using namespace pg::clipmend;

namespace {

SalvageOptions OptionsFrom(const std::uint8_t* data, std::size_t size)
{
    SalvageOptions options;
    // Gaps at places taken from the input itself, so that both walks get exercised.
    if (size > 64 && data[size - 1] & 1)
        options.gaps = NormalizeRanges({{data[size - 2] * 16u, data[size - 2] * 16u + data[size - 3] * 8u}});
    return options;
}

SpanRequest RequestFrom(const std::uint8_t* data, std::size_t size)
{
    return {size > 8 ? 1 + data[size / 2] % 8 : 1, size > 9 ? data[size / 3] % 16 : 0};
}

void FuzzAvi(MemorySource& source, const std::uint8_t* data, std::size_t size)
{
    SourceReader reader(source, 512);
    Salvage salvage;
    std::string error;
    if (!SalvageAvi(reader, OptionsFrom(data, size), salvage, error))
        return;
    Selection selection;
    if (!SelectSpan(salvage, RequestFrom(data, size), selection, error))
        return;

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
}

// Through the container interface, as the program drives it: where the container writes while
// it reads (looking ahead little, as inputs here are small), what it writes must be what it
// writes once everything is read.
void FuzzContainer(std::unique_ptr<Container> (*create)(), MemorySource& source, const std::uint8_t* data,
                   std::size_t size)
{
    SourceReader reader(source, 512);
    SourceReader earlyReader(source, 512);
    MemorySink early;
    const std::unique_ptr<Container> container = create();
    SalvageOptions salvageOptions = OptionsFrom(data, size);
    salvageOptions.request = RequestFrom(data, size);
    salvageOptions.earlyLookAhead = 256 + size % 1024;
    salvageOptions.earlyOutput = [&](SourceReader*& input) -> ByteSink* {
        input = &earlyReader;
        return &early;
    };
    std::string error;
    RunSummary summary;
    if (!container->Read(reader, salvageOptions, error) ||
        !container->Select(salvageOptions.request, summary, error))
        return;
    OutputOptions options;
    options.width = 64;
    options.height = 48;
    MemorySink sink;
    const bool wroteEarly = container->WroteEarly();
    if (!container->Write(options, reader, wroteEarly ? early : sink, error))
        std::abort();
    const std::vector<std::uint8_t>& bytes = wroteEarly ? early.Bytes() : sink.Bytes();
    if (wroteEarly) {
        SourceReader batchReader(source, 512);
        const std::unique_ptr<Container> batch = create();
        SalvageOptions batchOptions = OptionsFrom(data, size);
        batchOptions.earlyLookAhead = salvageOptions.earlyLookAhead;
        MemorySink batchSink;
        if (!batch->Read(batchReader, batchOptions, error) ||
            !batch->Select(salvageOptions.request, summary, error) ||
            !batch->Write(options, batchReader, batchSink, error) || batchSink.Bytes() != bytes)
            std::abort();
    }
    MemorySource written(bytes);
    SourceReader rereader(written, 512);
    const std::unique_ptr<Container> again = create();
    RunSummary reread;
    if (!again->Read(rereader, {}, error) || !again->Select({1, 0}, reread, error))
        std::abort();
    if (reread.usableFrames != summary.frames || reread.damage.damagedRegions != 0 ||
        reread.damage.dropped != 0)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Inputs of odd length are read as a mapped file is, the others through a small window
    // that is refilled often, as it is on large files.
    MemorySource source(data, size, size % 2 == 1);
    std::vector<ByteRange> gaps;
    ReadGapList(source, gaps);
    if (ProbeMatroska(data, size) > 0)
        FuzzContainer(CreateMatroskaContainer, source, data, size);
    else if (ProbeMp4(data, size) > 0)
        FuzzContainer(CreateMp4Container, source, data, size);
    else if (ProbeProgramStream(data, size) > 0)
        FuzzContainer(CreateProgramStreamContainer, source, data, size);
    else if (ProbeTransportStream(data, size) > 0)
        FuzzContainer(CreateTransportStreamContainer, source, data, size);
    else
        FuzzAvi(source, data, size);
    return 0;
}
