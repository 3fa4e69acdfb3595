#include "tool/ToolJob.h"

#include "framework/Text.h"

#include <algorithm>

namespace pg {

std::string WithVideoExtension(const std::string& outFile)
{
    for (const std::string extension : {".avi", ".mkv", ".mka", ".mk3d", ".webm", ".mp4", ".m4v", ".mov",
                                        ".mpg", ".mpeg", ".vob", ".ts", ".m2ts", ".mts"})
        if (fw::EqualsNoCase(fw::Right(outFile, extension.size()), extension))
            return outFile;
    return outFile + ".avi";
}

ToolJob ToolArguments(const std::string& inFile, const std::string& outFile, std::int32_t startFrame,
                      std::int32_t frameCount, std::int32_t width, std::int32_t height)
{
    ToolJob job;
    job.outFile = WithVideoExtension(outFile);
    job.startFrame = startFrame == 0 ? 1 : startFrame;
    const std::string sizePiece =
        width > 0 && height > 0 ? fw::Format("-h %d -v %d", static_cast<int>(width), static_cast<int>(height))
                                : "";
    const std::string framesPiece = frameCount > 0 ? fw::Format("-n %d", static_cast<int>(frameCount)) : "";
    job.arguments = fw::Format("\"%s\" \"%s\" -k %d %s %s", inFile.c_str(), job.outFile.c_str(),
                               static_cast<int>(job.startFrame), framesPiece.c_str(), sizePiece.c_str());
    return job;
}

std::string ToolCommandLine(const std::string& arguments)
{
    return std::string(TOOL_PROGRAM) + " " + arguments + "  /A";
}

std::string ConvertLoneLineFeeds(std::string_view chunk)
{
    std::string converted;
    converted.reserve(chunk.size() + chunk.size() / 8);
    for (std::size_t i = 0; i < chunk.size(); ++i) {
        if (chunk[i] == '\n' && (i == 0 || chunk[i - 1] != '\r'))
            converted += '\r';
        converted += chunk[i];
    }
    return converted;
}

bool EndMarkerSearch::ChunkEndsWork(std::string_view convertedChunk)
{
    std::string window = m_carried;
    window += convertedChunk;
    const bool windowStartsTheOutput = m_outputSize == m_carried.size();
    const bool found = window.find(m_marker, windowStartsTheOutput ? 1 : 0) != std::string::npos;
    m_outputSize += convertedChunk.size();
    const std::size_t keep = std::min(window.size(), m_marker.empty() ? 0 : m_marker.size() - 1);
    m_carried.assign(window, window.size() - keep, keep);
    return found;
}

} // namespace pg
