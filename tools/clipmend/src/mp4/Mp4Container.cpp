#include "Mp4Container.h"

#include "Mp4Reader.h"
#include "Mp4Writer.h"

#include <algorithm>

namespace pg::clipmend {

namespace {

using namespace mp4;

constexpr std::uint32_t QUICKTIME_BRAND = BoxType("qt  ");

class Mp4Container final : public Container
{
public:
    bool QuickTime() const { return m_salvage.fileType.empty() || m_salvage.majorBrand == QUICKTIME_BRAND; }

    std::string Kind() const override { return QuickTime() ? "QuickTime" : "MP4"; }

    // Players of QuickTime files read them under the MP4 name as well.
    std::vector<std::string> Extensions() const override
    {
        if (QuickTime())
            return {".mov", ".mp4"};
        return {".mp4", ".m4v"};
    }

    bool Read(SourceReader& input, const SalvageOptions& options, std::string& error) override
    {
        return SalvageMp4(input, options, m_salvage, error);
    }

    bool Select(const SpanRequest& request, RunSummary& summary, std::string& error) override;

    bool Write(const OutputOptions& options, SourceReader& input, ByteSink& output,
               std::string& error) override
    {
        return WriteMp4(m_salvage, m_plan, options, input, output, error);
    }

private:
    Mp4Salvage m_salvage;
    Mp4Plan m_plan;
};

bool Mp4Container::Select(const SpanRequest& request, RunSummary& summary, std::string& error)
{
    summary.damage = m_salvage.report;
    summary.pieces = "samples";

    const auto& tracks = m_salvage.tracks;
    const auto video = std::find_if(tracks.begin(), tracks.end(),
                                    [](const Mp4Track& t) { return t.handler == HANDLER_VIDEO; });
    if (video == tracks.end()) {
        error = "no video track";
        return false;
    }
    m_plan = Mp4Plan{};
    m_plan.videoTrack = static_cast<std::size_t>(video - tracks.begin());
    summary.keyframes = m_salvage.fragmented ? "from the fragments' sample flags"
                        : video->syncTable   ? "from the index's sync sample table"
                                             : "every sample, as the index has no sync sample table";

    // Shown at decoding time plus composition offset, less where the input's edit starts, later
    // by the input's empty edits.
    std::vector<TimedPacket> packets;
    packets.reserve(m_salvage.samples.size());
    for (const Mp4Sample& s : m_salvage.samples) {
        const Mp4Track& track = tracks[s.track];
        const double seconds = 1.0 / track.timescale;
        TimedPacket p;
        p.video = s.track == m_plan.videoTrack;
        p.key = s.key;
        p.run = s.run;
        p.begin = static_cast<double>(s.time + s.composition - track.presentationOffset) * seconds +
                  static_cast<double>(track.startDelay) / m_salvage.movieTimescale;
        p.end = p.begin + s.duration * seconds;
        packets.push_back(p);
    }
    SpanChoice choice;
    const bool chosen = ChooseSpan(packets, request, choice, error);
    summary.usableFrames = choice.usableFrames;
    summary.undecodableFrames = choice.undecodableFrames;
    if (!chosen)
        return false;
    summary.firstFrame = choice.firstFrame;
    summary.lastFrame = choice.lastFrame;
    summary.frames = choice.frames;

    std::vector<bool> keep(tracks.size(), false);
    for (std::size_t i = 0; i < packets.size(); ++i) {
        const std::uint32_t t = m_salvage.samples[i].track;
        if (!choice.chosen[i] || (t != m_plan.videoTrack && tracks[t].handler != HANDLER_SOUND))
            continue;
        keep[t] = true;
        m_plan.samples.push_back(i);
    }
    for (std::size_t t = 0; t < tracks.size(); ++t)
        if (keep[t])
            m_plan.tracks.push_back(t);
    return true;
}

} // namespace

int ProbeMp4(const std::uint8_t* data, std::size_t size)
{
    BoxHeader box;
    if (size < 8 || !ReadBoxHeader(data, size, ~0ull, box))
        return 0;
    if (box.type == BoxType("ftyp"))
        return box.size >= 16 && box.size <= 4096 ? 100 : 0;
    // QuickTime files from before the file type box start with one of these.
    for (const std::uint32_t type : {BoxType("moov"), BoxType("mdat"), BoxType("wide"), BoxType("free"),
                                     BoxType("skip"), BoxType("pnot")})
        if (box.type == type)
            return 70;
    return 0;
}

std::unique_ptr<Container> CreateMp4Container()
{
    return std::make_unique<Mp4Container>();
}

} // namespace pg::clipmend
