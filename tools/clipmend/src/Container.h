#pragma once
// What every container the tool knows brings: a probe that tells its files by their first
// bytes, a reader that salvages what a partial download holds, the span choice on what was
// found, and a writer of a fresh file of the same kind. The shared parts of the tool (gap
// list, span choice, progress, summary, output under a temporary name) know no container.
#include "FileIo.h"
#include "GapList.h"
#include "Progress.h"
#include "Span.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace pg::clipmend {

using ProgressFunction = std::function<void(std::uint64_t, std::uint64_t)>;

struct SalvageOptions
{
    // Ranges known to hold no data, from the download's metadata; sorted and merged.
    std::vector<ByteRange> gaps;
    // Told now and then how far the walk has come (bytes done, bytes in all).
    ProgressFunction progress;
    // Runs work for both halves of a job at once where the system can, each half with a reader
    // of the input of its own (the half's number second), and returns when both are done. Unset,
    // the reader does one half after the other.
    std::function<void(const std::function<void(SourceReader&, int)>& work)> bothHalves;
    // What will be asked of the choice, for a container that writes while it reads.
    SpanRequest request;
    // The output and a reader of the input of its own, for a container that writes while it
    // reads; asked for once the container knows its kind, null where the output cannot be made.
    std::function<ByteSink*(SourceReader*& input)> earlyOutput;
    // How far such writing looks past what it copies, and so how far it stays behind the reading.
    std::uint64_t earlyLookAhead = 1 << 20;
};

struct OutputOptions
{
    // Picture size to announce for the video; 0 keeps the input's. What it changes is the
    // container's choice: never the coded pictures.
    std::int32_t width = 0;
    std::int32_t height = 0;
    // Told after each written video frame (frames done, frames in all).
    ProgressFunction progress;
};

class Container
{
public:
    virtual ~Container() = default;
    // The kind as users know it ("AVI", "Matroska", "WebM"); final once the input is read.
    virtual std::string Kind() const = 0;
    // File name extensions that suit the kind, the usual one first (".avi").
    virtual std::vector<std::string> Extensions() const = 0;
    // False with a one-line reason when the headers cannot be read.
    virtual bool Read(SourceReader& input, const SalvageOptions& options, std::string& error) = 0;
    // False with a one-line reason when nothing can be written.
    virtual bool Select(const SpanRequest& request, RunSummary& summary, std::string& error) = 0;
    // After the choice: whether what the container wrote while reading stands, so that Write
    // goes on with the same output; where not, Write is given a fresh one.
    virtual bool WroteEarly() const { return false; }
    // False with a reason when a byte cannot be read or written.
    virtual bool Write(const OutputOptions& options, SourceReader& input, ByteSink& output,
                       std::string& error) = 0;
};

struct ContainerFormat
{
    // How sure the format is, from 0 (not at all) to 100, that the file starting with these
    // bytes is its own; size may be short of the file's first bytes only at its end.
    int (*probe)(const std::uint8_t* data, std::size_t size);
    std::unique_ptr<Container> (*create)();
    // Every extension its files go by, for telling an output name meant for another kind.
    std::vector<std::string> extensions;
};

// How many first bytes a probe is given, at most.
constexpr std::size_t PROBE_BYTES = 4096;

// Every container the tool reads; adding one adds a line to this list.
const std::vector<ContainerFormat>& ContainerFormats();

// The extensions of every kind of media file a player tells by its name.
std::vector<std::string> KnownExtensions();

// The format surest of the bytes, or null when none claims them.
const ContainerFormat* ProbeContainer(const std::uint8_t* data, std::size_t size);

} // namespace pg::clipmend
