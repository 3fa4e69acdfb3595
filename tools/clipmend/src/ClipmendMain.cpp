// ClipmendC: makes a playable file out of a partially downloaded video, in the container the
// download has.
#include "Arguments.h"
#include "ClientFile.h"
#include "Container.h"
#include "FileIo.h"
#include "FileSink.h"
#include "GapList.h"
#include "OutputName.h"
#include "Platform.h"
#include "Progress.h"
#include "ReadAhead.h"
#include "ToolEndMarker.h"

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

using namespace pg::clipmend;

enum ExitCode {
    EXIT_DONE = 0,
    EXIT_USAGE = 1,
    EXIT_INPUT = 2,
    EXIT_OUTPUT = 3,
};

// Output goes through a pipe to a window that shows each piece as it arrives: every line is
// flushed at once, and the closing text leaves in one piece so that it is seen whole, with
// the end marker never first in its piece.
class Console
{
public:
    void Line(const std::string& text) { Put(text + "\n"); }

    void Finish(const std::string& text, bool unattended)
    {
        std::string last = text;
        if (!unattended)
            last += "Press Enter to close.\n";
        Put(last + TOOL_END_MARKER + "\n");
        if (!unattended)
            std::getchar();
    }

private:
    static void Put(const std::string& text)
    {
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::fflush(stdout);
    }
};

bool EndsWithPart(const std::string& path)
{
    static const std::string suffix = ".part";
    if (path.size() < suffix.size())
        return false;
    for (std::size_t i = 0; i < suffix.size(); ++i) {
        char c = path[path.size() - suffix.size() + i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != suffix[i])
            return false;
    }
    return true;
}

std::string Quoted(const std::string& path)
{
    return "\"" + path + "\"";
}

// The gap list of a download's metadata file lets the walk jump over the gaps.
std::vector<ByteRange> GapsOf(const std::string& input, Console& console)
{
    std::vector<ByteRange> gaps;
    if (!EndsWithPart(input))
        return gaps;
    const std::unique_ptr<FileSource> metadata = FileSource::FromStream(pg::OpenClientFile(input + ".met"));
    if (!metadata)
        return gaps;
    if (ReadGapList(*metadata, gaps))
        console.Line("Gap list: " + std::to_string(gaps.size()) + " gaps in " + Quoted(input + ".met"));
    else
        console.Line("Gap list: " + Quoted(input + ".met") + " cannot be read, scanning instead");
    return gaps;
}

ProgressFunction Printer(Console& console, ProgressMeter& meter)
{
    return [&console, &meter](std::uint64_t done, std::uint64_t total) {
        std::string line;
        if (meter.Update(done, total, line))
            console.Line(line);
    };
}

// The input mapped where the system maps files cheaply, read through a window where not.
std::unique_ptr<ByteSource> OpenInput(const std::string& path)
{
    std::unique_ptr<ByteSource> source = OpenMappedFile(path);
    if (!source)
        source = FileSource::FromStream(pg::OpenClientFile(path));
    return source;
}

// Work that splits in two: the second half runs on a thread of its own, with a view of the input
// of its own, as a reader is no place for two threads.
void BothHalves(const std::string& input, SourceReader& reader,
                const std::function<void(SourceReader&, int)>& work)
{
    const std::unique_ptr<ByteSource> second = OpenInput(input);
    if (!second) {
        work(reader, 0);
        work(reader, 1);
        return;
    }
    // Both halves take both processors: a read-ahead would only take a share of them.
    reader.StopReadingAhead();
    SourceReader secondReader(*second);
    Thread helper([&] { work(secondReader, 1); });
    work(reader, 0);
    if (!helper.Started())
        work(secondReader, 1);
}

// The output being made under a temporary name: removed when the run ends, unless its path
// was cleared as it became the output.
struct TemporaryFile
{
    TemporaryFile() = default;
    ~TemporaryFile() { Remove(); }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    void Remove()
    {
        if (!path.empty())
            std::remove(path.c_str());
        path.clear();
    }

    std::string path; // empty while there is none
};

int Fail(Console& console, const Arguments& args, int code, const std::string& message)
{
    console.Finish("Error: " + message + "\n", args.unattended);
    return code;
}

int Run(const Arguments& args, Console& console)
{
    const std::unique_ptr<ByteSource> source = OpenInput(args.input);
    if (!source)
        return Fail(console, args, EXIT_INPUT, "cannot open input file " + Quoted(args.input));
    if (SameFile(args.input, args.output))
        return Fail(console, args, EXIT_OUTPUT, "the output file must not be the input file");

    const std::unique_ptr<ThreadReadAhead> ahead = ThreadReadAhead::Create();
    SourceReader reader(*source, SourceReader::DEFAULT_WINDOW, ahead.get());
    std::size_t probed = 0;
    const std::uint8_t* first = reader.PeekUpTo(0, PROBE_BYTES, probed);
    const ContainerFormat* format = first ? ProbeContainer(first, probed) : nullptr;
    if (!format)
        return Fail(console, args, EXIT_INPUT,
                    Quoted(args.input) + ": not an AVI file, nor a Matroska, WebM, MP4 or QuickTime file, "
                                         "nor an MPEG program or transport stream");
    const std::unique_ptr<Container> container = format->create();

    // The output, under a temporary name until it is whole: a failed run must never leave a
    // half-written file under the output name. A container that writes while it reads asks for
    // it before reading, with a reader of the input of its own.
    TemporaryFile temporary;
    std::string earlyName; // the output's name, where it was asked for early
    std::unique_ptr<ByteSource> earlySource;
    std::unique_ptr<SourceReader> earlyReader;
    // Made last, so that it is closed first: copies it still has to make read the input.
    std::unique_ptr<FileSink> sink;

    SalvageOptions options;
    options.gaps = GapsOf(args.input, console);
    ProgressMeter scanMeter("Scanning bytes");
    options.progress = Printer(console, scanMeter);
    options.bothHalves = [&](const std::function<void(SourceReader&, int)>& work) {
        BothHalves(args.input, reader, work);
    };
    options.request = SpanRequest{args.startFrame, args.frameCount};
    options.earlyOutput = [&](SourceReader*& input) -> ByteSink* {
        earlyName = OutputName(args.output, container->Extensions(), KnownExtensions());
        if (SameFile(args.input, earlyName) || !(earlySource = OpenInput(args.input)))
            return nullptr;
        sink = FileSink::Create(earlyName + ".clipmend-tmp");
        if (!sink)
            return nullptr;
        temporary.path = earlyName + ".clipmend-tmp";
        earlyReader = std::make_unique<SourceReader>(*earlySource);
        input = earlyReader.get();
        return sink.get();
    };
    std::string error;
    const bool read = container->Read(reader, options, error);
    // The writers read what they copy straight into the output's buffers, or go back and forth
    // between pictures and sound: a read-ahead would only have them wait.
    reader.StopReadingAhead();
    if (!read)
        return Fail(console, args, EXIT_INPUT, Quoted(args.input) + ": " + error);

    RunSummary summary;
    if (!container->Select(SpanRequest{args.startFrame, args.frameCount}, summary, error))
        return Fail(console, args, EXIT_INPUT, Quoted(args.input) + ": " + error);
    console.Line("Frames " + std::to_string(summary.firstFrame) + " to " + std::to_string(summary.lastFrame) +
                 " of " + std::to_string(summary.usableFrames));

    const std::string named = OutputName(args.output, container->Extensions(), KnownExtensions());
    if (named != args.output) {
        console.Line("Output: " + Quoted(named) + ", as the input is " + container->Kind() + " and " +
                     Quoted(args.output) + " names another kind of file");
        if (SameFile(args.input, named))
            return Fail(console, args, EXIT_OUTPUT, "the output file must not be the input file");
    }
    if (!sink || named != earlyName || !container->WroteEarly()) {
        // Nothing was written while reading, or it does not stand: the output starts afresh.
        sink.reset();
        temporary.Remove();
        sink = FileSink::Create(named + ".clipmend-tmp");
        if (sink)
            temporary.path = named + ".clipmend-tmp";
    }
    if (!sink)
        return Fail(console, args, EXIT_OUTPUT, "cannot write output file " + Quoted(named));
    OutputOptions outputOptions;
    outputOptions.width = args.width;
    outputOptions.height = args.height;
    ProgressMeter frameMeter("Frame");
    outputOptions.progress = Printer(console, frameMeter);
    const bool written = container->Write(outputOptions, reader, *sink, error);
    const std::uint64_t bytes = sink->Position();
    const bool closed = sink->Close();
    sink.reset();
    if (!written || !closed || !MoveReplacing(temporary.path, named))
        return Fail(console, args, EXIT_OUTPUT,
                    "cannot write output file " + Quoted(named) + (written ? "" : ": " + error));
    temporary.path.clear();
    console.Finish(SummaryText(summary, bytes), args.unattended);
    return EXIT_DONE;
}

} // namespace

int main(int argc, char** argv)
{
    Console console;
    console.Line(BANNER);
    const std::vector<std::string> words(argv + 1, argv + argc);
    Arguments args;
    std::string error;
    if (!ParseArguments(words, args, error)) {
        console.Finish("Error: " + error + "\n" + UsageLine() + "\n", args.unattended);
        return EXIT_USAGE;
    }
    return Run(args, console);
}
