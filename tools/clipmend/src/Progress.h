#pragma once
// Progress and summary texts of the console output.
#include <chrono>
#include <cstdint>
#include <string>

namespace pg::clipmend {

constexpr const char* BANNER = "Clipmend V0.45 Beta";

// Hands out a line only when the whole percentage has moved on, so a run prints at most one
// line per percent, and, but for the last, no sooner than MIN_INTERVAL after the one before:
// the output window reads the pipe slowly, and a backlog there could split the closing
// lines, end marker included, over two reads.
class ProgressMeter
{
public:
    using Clock = std::chrono::steady_clock;
    static constexpr Clock::duration MIN_INTERVAL = std::chrono::milliseconds(100);

    // label is printed before the counts, as in "Frame 12 / 340 (3%)".
    explicit ProgressMeter(std::string label) : m_label(std::move(label)) {}

    // True with line filled when the step deserves a line.
    bool Update(std::uint64_t done, std::uint64_t total, Clock::time_point now, std::string& line);
    // The same at the present time; the clock is read only once the percentage has moved, as
    // steps come once per written frame.
    bool Update(std::uint64_t done, std::uint64_t total, std::string& line);

private:
    std::string m_label;
    int m_lastPercent = -1;
    Clock::time_point m_lastLine{};
};

int Percent(std::uint64_t done, std::uint64_t total);

// What a reader passed over, told the same way for every container.
struct DamageReport
{
    std::uint64_t damagedRegions = 0;
    std::uint64_t damagedBytes = 0;
    std::uint64_t resynchronised = 0; // damaged regions with usable data after them
    std::uint64_t dropped = 0;        // pieces cut by a gap, by damage or by the end of the file
};

// What a run found and wrote, for the lines after the work.
struct RunSummary
{
    std::uint64_t firstFrame = 0;
    std::uint64_t lastFrame = 0;
    std::uint64_t frames = 0;
    std::uint64_t usableFrames = 0;
    std::uint64_t undecodableFrames = 0;
    DamageReport damage;
    std::string pieces = "chunks"; // what the container's pieces are called
    std::string keyframes;         // where the keyframe flags came from
};

// The lines after the work: what was written and what damage was passed over.
std::string SummaryText(const RunSummary& summary, std::uint64_t bytesWritten);

} // namespace pg::clipmend
