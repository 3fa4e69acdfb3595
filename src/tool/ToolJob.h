#pragma once
// The preview tool's job texts: its arguments from the job fields, its command line, and how the
// output window treats each chunk the tool prints.
#include <cstdint>
#include <string>
#include <string_view>

namespace pg {

constexpr const char* TOOL_PROGRAM = "ClipmendC.exe";

// Largest piece of tool output that is read and shown at once.
constexpr std::size_t TOOL_CHUNK_SIZE = 4096;

struct ToolJob
{
    std::string outFile;     // the output path, ending in ".avi" or another container's extension
    std::int32_t startFrame; // 0 becomes 1
    std::string arguments;
};

// The tool arguments "\"in\" \"out\" -k start frames size": the frames piece "-n N" only for a
// positive frame count, the size piece "-h W -v H" only when both are positive. Empty pieces
// keep their blanks; paths go between the quotes as they stand.
ToolJob ToolArguments(const std::string& inFile, const std::string& outFile, std::int32_t startFrame,
                      std::int32_t frameCount, std::int32_t width, std::int32_t height);

// The output path with ".avi" appended unless it ends, in any case, in ".avi" or in an
// extension the tool writes another container under (Matroska and WebM, MP4 and QuickTime, MPEG
// program and transport streams): the tool writes the container of its input, and such a
// download's name keeps its own extension, the name the tool writes.
std::string WithVideoExtension(const std::string& outFile);

// "ClipmendC.exe <arguments>  /A"
std::string ToolCommandLine(const std::string& arguments);

// A chunk as the output box shows it: every line feed not preceded by a carriage return gets one.
std::string ConvertLoneLineFeeds(std::string_view chunk);

// Looks for the tool's end marker in its output, chunk by chunk as the reads deliver it: the
// marker counts wherever the reads cut it, except as the very first bytes of the whole output.
class EndMarkerSearch
{
public:
    explicit EndMarkerSearch(std::string_view marker) : m_marker(marker) {}

    // Whether the marker ends in this converted chunk (it may have begun in earlier ones).
    bool ChunkEndsWork(std::string_view convertedChunk);

private:
    std::string m_marker;
    std::string m_carried; // the output's last bytes, fewer than the marker has
    std::uint64_t m_outputSize = 0;
};

} // namespace pg
