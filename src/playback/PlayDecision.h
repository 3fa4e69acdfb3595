#pragma once
// What the two Play buttons do with the job fields, decided without touching any window.
#include <cstdint>
#include <functional>
#include <string>

namespace pg {

constexpr const char* PLAYER_PROGRAM = "Mplayer2.exe";

enum class PlayAction {
    Nothing,     // empty input or media name: nothing happens, nothing is shown
    Player,      // start the system media player with `text` as its parameters
    MovieWindow, // open the movie window on the path in `text`
    Refuse,      // show the refusal message
};

struct PlayOutcome
{
    PlayAction action = PlayAction::Nothing;
    std::string text;
};

// Start of the first gap of a download's data, read from the metadata beside the given data
// file; 0 when it cannot be read or when the first byte is already missing.
using FirstGapLookup = std::function<std::int32_t(const std::string& partPath)>;

// True for an unfinished download's data file: a name ending in ".part", in any case.
bool IsDownloadPath(const std::string& path);

// Play input: a file that is not a ".part" download goes to the player with "/play /close";
// a download plays in the movie window when it has data from its first byte and its media name
// ends in a playable extension, and is refused otherwise. The lookup is only asked for downloads.
PlayOutcome DecidePlayInput(const std::string& inFile, const std::string& mediaName,
                            const FirstGapLookup& firstGapStart);

// Play output: the player's parameters are the output path alone.
std::string PlayOutputParameters(const std::string& outFile);

} // namespace pg
