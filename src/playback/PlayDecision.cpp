#include "playback/PlayDecision.h"

#include "framework/Text.h"

namespace pg {

namespace {

bool HasPlayableExtension(const std::string& mediaName)
{
    const std::string extension = fw::Right(mediaName, 4);
    for (const char* playable : {".avi", ".mpg", ".mp3", ".mid", ".wav"})
        if (fw::EqualsNoCase(extension, playable))
            return true;
    return false;
}

} // namespace

bool IsDownloadPath(const std::string& path)
{
    return fw::EqualsNoCase(fw::Right(path, 5), ".part");
}

PlayOutcome DecidePlayInput(const std::string& inFile, const std::string& mediaName,
                            const FirstGapLookup& firstGapStart)
{
    if (inFile.empty() || mediaName.empty())
        return {PlayAction::Nothing, {}};
    if (!IsDownloadPath(inFile))
        return {PlayAction::Player, fw::Format("/play /close %s", inFile.c_str())};
    if (firstGapStart(inFile) == 0 || !HasPlayableExtension(mediaName))
        return {PlayAction::Refuse, {}};
    return {PlayAction::MovieWindow, inFile};
}

std::string PlayOutputParameters(const std::string& outFile)
{
    return outFile;
}

} // namespace pg
