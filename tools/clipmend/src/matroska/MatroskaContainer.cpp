#include "MatroskaContainer.h"

#include "MatroskaReader.h"
#include "MatroskaWriter.h"

#include <algorithm>
#include <cmath>

namespace pg::clipmend {

namespace {

// Frame duration taken where nothing tells it: 25 frames per second.
constexpr double DEFAULT_FRAME_SECONDS = 0.04;

// How long each block lasts, in timestamp units: as the block says, else as its track says,
// else up to the track's next block in time, but never longer than twice the track's usual
// step, so that a hole's time does not count as the last frame's before it.
std::vector<double> BlockDurations(const MatroskaSalvage& salvage)
{
    const double unitsPerSecond = 1e9 / static_cast<double>(salvage.timestampScale);
    std::vector<double> durations(salvage.blocks.size(), 0.0);
    for (std::size_t t = 0; t < salvage.tracks.size(); ++t) {
        std::vector<std::size_t> ofTrack;
        for (std::size_t i = 0; i < salvage.blocks.size(); ++i)
            if (salvage.blocks[i].track == t)
                ofTrack.push_back(i);
        std::sort(ofTrack.begin(), ofTrack.end(), [&](std::size_t a, std::size_t b) {
            return salvage.blocks[a].time < salvage.blocks[b].time;
        });
        std::vector<double> steps;
        for (std::size_t k = 1; k < ofTrack.size(); ++k) {
            const auto step =
                static_cast<double>(salvage.blocks[ofTrack[k]].time - salvage.blocks[ofTrack[k - 1]].time);
            if (step > 0)
                steps.push_back(step);
        }
        double usual = DEFAULT_FRAME_SECONDS * unitsPerSecond;
        if (!steps.empty()) {
            std::nth_element(steps.begin(), steps.begin() + steps.size() / 2, steps.end());
            usual = steps[steps.size() / 2];
        }
        const double trackDefault = static_cast<double>(salvage.tracks[t].defaultDuration) /
                                    static_cast<double>(salvage.timestampScale);
        for (std::size_t k = 0; k < ofTrack.size(); ++k) {
            const MatroskaBlock& b = salvage.blocks[ofTrack[k]];
            double duration = static_cast<double>(b.duration);
            if (duration <= 0)
                duration = trackDefault;
            if (duration <= 0 && k + 1 < ofTrack.size()) {
                const auto step = static_cast<double>(salvage.blocks[ofTrack[k + 1]].time - b.time);
                duration = step > 0 && step <= 2 * usual ? step : usual;
            }
            durations[ofTrack[k]] = duration > 0 ? duration : usual;
        }
    }
    return durations;
}

class MatroskaContainer final : public Container
{
public:
    std::string Kind() const override { return m_salvage.docType == "webm" ? "WebM" : "Matroska"; }

    // Players of Matroska read WebM as well, not the other way round.
    std::vector<std::string> Extensions() const override
    {
        if (m_salvage.docType == "webm")
            return {".webm", ".mkv"};
        return {".mkv", ".mka", ".mk3d"};
    }

    bool Read(SourceReader& input, const SalvageOptions& options, std::string& error) override
    {
        return SalvageMatroska(input, options, m_salvage, error);
    }

    bool Select(const SpanRequest& request, RunSummary& summary, std::string& error) override;

    bool Write(const OutputOptions& options, SourceReader& input, ByteSink& output,
               std::string& error) override
    {
        return WriteMatroska(m_salvage, m_plan, options, input, output, error);
    }

private:
    MatroskaSalvage m_salvage;
    MatroskaPlan m_plan;
};

bool MatroskaContainer::Select(const SpanRequest& request, RunSummary& summary, std::string& error)
{
    summary.damage = m_salvage.report;
    summary.pieces = "blocks";
    summary.keyframes = "from the blocks' keyframe flags";

    const auto& tracks = m_salvage.tracks;
    const auto video = std::find_if(tracks.begin(), tracks.end(),
                                    [](const MatroskaTrack& t) { return t.type == TRACK_VIDEO; });
    if (video == tracks.end()) {
        error = "no video track";
        return false;
    }
    m_plan = MatroskaPlan{};
    m_plan.videoTrack = static_cast<std::size_t>(video - tracks.begin());

    const std::vector<double> durations = BlockDurations(m_salvage);
    const double secondsPerUnit = static_cast<double>(m_salvage.timestampScale) / 1e9;
    std::vector<TimedPacket> packets;
    packets.reserve(m_salvage.blocks.size());
    for (std::size_t i = 0; i < m_salvage.blocks.size(); ++i) {
        const MatroskaBlock& b = m_salvage.blocks[i];
        TimedPacket p;
        p.video = b.track == m_plan.videoTrack;
        p.key = (b.flags & BLOCK_KEY) != 0;
        p.run = b.run;
        p.begin = static_cast<double>(b.time) * secondsPerUnit;
        p.end = p.begin + durations[i] * secondsPerUnit;
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
    keep[m_plan.videoTrack] = true;
    bool first = true;
    for (std::size_t i = 0; i < packets.size(); ++i) {
        if (!choice.chosen[i] || !(packets[i].video || tracks[m_salvage.blocks[i].track].type == TRACK_AUDIO))
            continue;
        const MatroskaBlock& b = m_salvage.blocks[i];
        const auto end = b.time + static_cast<std::int64_t>(std::llround(durations[i]));
        m_plan.origin = first ? b.time : std::min(m_plan.origin, b.time);
        m_plan.end = first ? end : std::max(m_plan.end, end);
        first = false;
        keep[b.track] = true;
        m_plan.blocks.push_back(i);
    }
    for (std::size_t t = 0; t < tracks.size(); ++t)
        if (keep[t])
            m_plan.tracks.push_back(t);
    return true;
}

} // namespace

std::unique_ptr<Container> CreateMatroskaContainer()
{
    return std::make_unique<MatroskaContainer>();
}

} // namespace pg::clipmend
