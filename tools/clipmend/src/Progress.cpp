#include "Progress.h"

#include <cinttypes>
#include <cstdio>

namespace pg::clipmend {

namespace {

template <typename... Args> std::string Format(const char* format, Args... args)
{
    const int length = std::snprintf(nullptr, 0, format, args...);
    std::string text(static_cast<std::size_t>(length > 0 ? length : 0), '\0');
    std::snprintf(text.data(), text.size() + 1, format, args...);
    return text;
}

} // namespace

int Percent(std::uint64_t done, std::uint64_t total)
{
    if (total == 0 || done >= total)
        return 100;
    // Done and total can be many gigabytes: divide before multiplying only when needed.
    return static_cast<int>(total > UINT64_MAX / 100 ? done / (total / 100) : done * 100 / total);
}

bool ProgressMeter::Update(std::uint64_t done, std::uint64_t total, Clock::time_point now, std::string& line)
{
    const int percent = Percent(done, total);
    if (percent <= m_lastPercent)
        return false;
    if (m_lastPercent >= 0 && percent < 100 && now - m_lastLine < MIN_INTERVAL)
        return false;
    m_lastPercent = percent;
    m_lastLine = now;
    line = Format("%s %" PRIu64 " / %" PRIu64 " (%d%%)", m_label.c_str(), done, total, percent);
    return true;
}

bool ProgressMeter::Update(std::uint64_t done, std::uint64_t total, std::string& line)
{
    return Percent(done, total) > m_lastPercent && Update(done, total, Clock::now(), line);
}

std::string SummaryText(const RunSummary& r, std::uint64_t bytesWritten)
{
    std::string text =
        Format("Written: frames %" PRIu64 " to %" PRIu64 " (%" PRIu64 " frames), %" PRIu64 " bytes\n",
               r.firstFrame, r.lastFrame, r.frames, bytesWritten);
    text += Format("Usable frames in the input: %" PRIu64 "\n", r.usableFrames);
    text += Format("Damaged regions skipped: %" PRIu64 " (%" PRIu64 " bytes), resynchronised: %" PRIu64 "\n",
                   r.damage.damagedRegions, r.damage.damagedBytes, r.damage.resynchronised);
    if (r.damage.dropped > 0 || r.undecodableFrames > 0)
        text += Format("Incomplete %s dropped: %" PRIu64 ", undecodable frames after damage: %" PRIu64 "\n",
                       r.pieces.c_str(), r.damage.dropped, r.undecodableFrames);
    text += "Keyframes: " + r.keyframes + "\n";
    return text;
}

} // namespace pg::clipmend
