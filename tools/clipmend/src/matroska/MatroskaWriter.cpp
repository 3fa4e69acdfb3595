#include "MatroskaWriter.h"

#include "Ebml.h"
#include "Progress.h"

#include <algorithm>
#include <array>

namespace pg::clipmend {

namespace {

using namespace ebml;
using Bytes = std::vector<std::uint8_t>;

constexpr int LONG_SIZE = 8; // sizes known only once everything inside is placed
constexpr std::int64_t MAX_RELATIVE_TIME = 32767;
constexpr std::int64_t MIN_RELATIVE_TIME = -32768;

// Element id, size, track number, relative time and flags of a written block.
constexpr std::size_t MAX_BLOCK_HEADER = 1 + 8 + 8 + 3;

struct PlannedBlock
{
    std::size_t block;
    std::array<std::uint8_t, MAX_BLOCK_HEADER> header;
    std::size_t headerLength;
};

struct PlannedCluster
{
    std::int64_t time = 0;
    std::uint64_t position = 0; // from the start of the segment's data
    Bytes header;               // cluster id, size and timestamp
    std::vector<PlannedBlock> blocks;
};

Bytes Master(std::uint32_t id, const Bytes& children, int width = 0)
{
    Bytes out;
    PutId(out, id);
    PutSize(out, children.size(), width);
    out.insert(out.end(), children.begin(), children.end());
    return out;
}

Bytes IdBytes(std::uint32_t id)
{
    Bytes out;
    PutId(out, id);
    return out;
}

Bytes EbmlHeader(const MatroskaSalvage& salvage)
{
    Bytes children;
    PutUnsigned(children, ID_EBML_VERSION, 1);
    PutUnsigned(children, ID_EBML_READ_VERSION, 1);
    PutUnsigned(children, ID_EBML_MAX_ID_LENGTH, 4);
    PutUnsigned(children, ID_EBML_MAX_SIZE_LENGTH, 8);
    PutString(children, ID_DOC_TYPE, salvage.docType);
    // Simple blocks came with version 2.
    PutUnsigned(children, ID_DOC_TYPE_VERSION, std::max<std::uint64_t>(salvage.docTypeVersion, 2));
    PutUnsigned(children, ID_DOC_TYPE_READ_VERSION, std::max<std::uint64_t>(salvage.docTypeReadVersion, 2));
    return Master(ID_EBML, children);
}

// The track's entry as the input has it, but for the video's display size when one is given.
Bytes TrackEntry(const MatroskaTrack& track, const OutputOptions& options)
{
    Element entry;
    if (track.type != TRACK_VIDEO || options.width <= 0 || options.height <= 0 ||
        !ReadElement(track.entry.data(), track.entry.size(), entry))
        return track.entry;
    Bytes children;
    std::size_t pos = entry.header;
    Element child;
    while (pos < track.entry.size() &&
           ReadElement(track.entry.data() + pos, track.entry.size() - pos, child)) {
        const std::uint8_t* begin = track.entry.data() + pos;
        const std::size_t length = child.header + static_cast<std::size_t>(child.size);
        if (child.id != ID_VIDEO) {
            children.insert(children.end(), begin, begin + length);
        } else {
            Bytes video;
            std::size_t inner = child.header;
            Element setting;
            while (inner < length && ReadElement(begin + inner, length - inner, setting)) {
                const std::size_t settingLength = setting.header + static_cast<std::size_t>(setting.size);
                if (setting.id != ID_DISPLAY_WIDTH && setting.id != ID_DISPLAY_HEIGHT &&
                    setting.id != ID_DISPLAY_UNIT)
                    video.insert(video.end(), begin + inner, begin + inner + settingLength);
                inner += settingLength;
            }
            PutUnsigned(video, ID_DISPLAY_WIDTH, static_cast<std::uint64_t>(options.width));
            PutUnsigned(video, ID_DISPLAY_HEIGHT, static_cast<std::uint64_t>(options.height));
            const Bytes element = Master(ID_VIDEO, video);
            children.insert(children.end(), element.begin(), element.end());
        }
        pos += length;
    }
    return Master(ID_TRACK_ENTRY, children);
}

class Writer
{
public:
    Writer(const MatroskaSalvage& salvage, const MatroskaPlan& plan, const OutputOptions& options)
        : m_salvage(salvage), m_plan(plan), m_options(options)
    {
    }

    bool Write(SourceReader& input, ByteSink& output, std::string& error);

private:
    void PlanClusters();
    Bytes Cues() const;
    Bytes SeekHead(std::uint64_t info, std::uint64_t tracks, std::uint64_t cues) const;

    const MatroskaSalvage& m_salvage;
    const MatroskaPlan& m_plan;
    const OutputOptions& m_options;
    std::vector<PlannedCluster> m_clusters;
    Bytes m_scratch;
};

// A new cluster starts at every video keyframe, so that each cue finds its frame first in a
// cluster, wherever the input starts one, and wherever a block's time would not fit the 16 bits
// of a relative time. A cluster keeps the input's cluster time where it can: its blocks' relative
// times then stay as they are, and their bytes go out in long runs as they lie in the input.
void Writer::PlanClusters()
{
    std::int64_t inputCluster = 0;
    for (std::size_t index : m_plan.blocks) {
        const MatroskaBlock& b = m_salvage.blocks[index];
        const std::int64_t time = b.time - m_plan.origin;
        const bool key = b.track == m_plan.videoTrack && (b.flags & BLOCK_KEY);
        const auto fits = [time](std::int64_t clusterTime) {
            return time - clusterTime <= MAX_RELATIVE_TIME && time - clusterTime >= MIN_RELATIVE_TIME;
        };
        if (m_clusters.empty() || key || b.clusterTime != inputCluster || !fits(m_clusters.back().time)) {
            const std::int64_t asInInput = b.clusterTime - m_plan.origin;
            m_clusters.emplace_back();
            m_clusters.back().time = asInInput >= 0 && fits(asInInput) ? asInInput : time;
            inputCluster = b.clusterTime;
        }
        PlannedCluster& cluster = m_clusters.back();
        const auto relative = static_cast<std::uint16_t>(static_cast<std::int16_t>(time - cluster.time));
        m_scratch.clear();
        PutSize(m_scratch, m_salvage.tracks[b.track].number);
        m_scratch.push_back(static_cast<std::uint8_t>(relative >> 8));
        m_scratch.push_back(static_cast<std::uint8_t>(relative));
        m_scratch.push_back(b.flags & (BLOCK_KEY | BLOCK_INVISIBLE | BLOCK_LACING | BLOCK_DISCARDABLE));
        const std::size_t inner = m_scratch.size();
        PutId(m_scratch, ID_SIMPLE_BLOCK);
        PutSize(m_scratch, inner + b.size);
        std::rotate(m_scratch.begin(), m_scratch.begin() + static_cast<std::ptrdiff_t>(inner),
                    m_scratch.end());
        PlannedBlock planned{index, {}, m_scratch.size()};
        std::copy(m_scratch.begin(), m_scratch.end(), planned.header.begin());
        cluster.blocks.push_back(planned);
    }
}

Bytes Writer::Cues() const
{
    const std::uint64_t videoNumber = m_salvage.tracks[m_plan.videoTrack].number;
    Bytes points;
    for (const PlannedCluster& cluster : m_clusters) {
        const MatroskaBlock& first = m_salvage.blocks[cluster.blocks.front().block];
        if (first.track != m_plan.videoTrack || !(first.flags & BLOCK_KEY))
            continue;
        Bytes position;
        PutUnsigned(position, ID_CUE_TRACK, videoNumber);
        PutUnsigned(position, ID_CUE_CLUSTER_POSITION, cluster.position);
        Bytes point;
        PutUnsigned(point, ID_CUE_TIME, static_cast<std::uint64_t>(first.time - m_plan.origin));
        const Bytes positions = Master(ID_CUE_TRACK_POSITIONS, position);
        point.insert(point.end(), positions.begin(), positions.end());
        const Bytes element = Master(ID_CUE_POINT, point);
        points.insert(points.end(), element.begin(), element.end());
    }
    return Master(ID_CUES, points);
}

// Positions take eight bytes each, so the seek head's size is known before they are.
Bytes Writer::SeekHead(std::uint64_t info, std::uint64_t tracks, std::uint64_t cues) const
{
    Bytes seeks;
    for (const auto& [id, position] : {std::pair{ID_INFO, info}, {ID_TRACKS, tracks}, {ID_CUES, cues}}) {
        Bytes seek;
        PutBytes(seek, ID_SEEK_ID, IdBytes(id));
        PutUnsigned(seek, ID_SEEK_POSITION, position, 8);
        const Bytes element = Master(ID_SEEK, seek);
        seeks.insert(seeks.end(), element.begin(), element.end());
    }
    return Master(ID_SEEK_HEAD, seeks);
}

bool Writer::Write(SourceReader& input, ByteSink& output, std::string& error)
{
    if (m_plan.blocks.empty()) {
        error = "nothing to write";
        return false;
    }
    PlanClusters();

    Bytes infoChildren;
    PutUnsigned(infoChildren, ID_TIMESTAMP_SCALE, m_salvage.timestampScale);
    PutString(infoChildren, ID_MUXING_APP, BANNER);
    PutString(infoChildren, ID_WRITING_APP, BANNER);
    PutFloat(infoChildren, ID_DURATION, static_cast<double>(m_plan.end - m_plan.origin));
    const Bytes info = Master(ID_INFO, infoChildren);
    Bytes trackEntries;
    for (std::size_t t : m_plan.tracks) {
        const Bytes entry = TrackEntry(m_salvage.tracks[t], m_options);
        trackEntries.insert(trackEntries.end(), entry.begin(), entry.end());
    }
    const Bytes tracks = Master(ID_TRACKS, trackEntries);

    const std::uint64_t seekHeadSize = SeekHead(0, 0, 0).size();
    std::uint64_t position = seekHeadSize + info.size() + tracks.size();
    for (PlannedCluster& cluster : m_clusters) {
        Bytes timestamp;
        PutUnsigned(timestamp, ID_TIMESTAMP, static_cast<std::uint64_t>(cluster.time));
        std::uint64_t size = timestamp.size();
        for (const PlannedBlock& b : cluster.blocks)
            size += b.headerLength + m_salvage.blocks[b.block].size;
        PutId(cluster.header, ID_CLUSTER);
        PutSize(cluster.header, size, LONG_SIZE);
        cluster.header.insert(cluster.header.end(), timestamp.begin(), timestamp.end());
        cluster.position = position;
        position += cluster.header.size() - timestamp.size() + size;
    }
    const Bytes cues = Cues();
    const Bytes seekHead = SeekHead(seekHeadSize, seekHeadSize + info.size(), position);
    const std::uint64_t segmentSize = position + cues.size();

    Bytes head = EbmlHeader(m_salvage);
    PutId(head, ID_SEGMENT);
    PutSize(head, segmentSize, LONG_SIZE);
    for (const Bytes* part : {&seekHead, &info, &tracks})
        head.insert(head.end(), part->begin(), part->end());
    if (!output.Write(head.data(), head.size())) {
        error = "write failed";
        return false;
    }

    std::uint64_t videoFrames = 0;
    for (std::size_t index : m_plan.blocks)
        videoFrames += m_salvage.blocks[index].track == m_plan.videoTrack;
    std::uint64_t framesDone = 0;
    // Blocks whose new header is what the input has before their data, one after the other,
    // are copied in one run: most of the file goes out in long stretches.
    std::uint64_t runStart = 0;
    std::uint64_t runEnd = 0;
    const auto flushRun = [&]() {
        const bool copied = output.CopyFrom(input, runStart, runEnd - runStart);
        if (!copied)
            error = "cannot read the input between bytes " + std::to_string(runStart) + " and " +
                    std::to_string(runEnd);
        runStart = runEnd = 0;
        return copied;
    };
    for (const PlannedCluster& cluster : m_clusters) {
        if (!flushRun() || !output.Write(cluster.header.data(), cluster.header.size())) {
            error = error.empty() ? "write failed" : error;
            return false;
        }
        for (const PlannedBlock& planned : cluster.blocks) {
            const MatroskaBlock& b = m_salvage.blocks[planned.block];
            const std::uint64_t headerStart =
                b.offset - std::min<std::uint64_t>(b.offset, planned.headerLength);
            const std::uint8_t* original = input.Peek(headerStart, planned.headerLength);
            const bool asInInput =
                original && std::equal(original, original + planned.headerLength, planned.header.begin());
            if (asInInput && runEnd == headerStart && runEnd != 0) {
                runEnd = b.offset + b.size;
            } else if (asInInput) {
                if (!flushRun())
                    return false;
                runStart = headerStart;
                runEnd = b.offset + b.size;
            } else if (!flushRun() || !output.Write(planned.header.data(), planned.headerLength) ||
                       !output.CopyFrom(input, b.offset, b.size)) {
                error = error.empty() ? "cannot copy the input's block at byte " + std::to_string(b.offset)
                                      : error;
                return false;
            }
            if (b.track == m_plan.videoTrack && m_options.progress)
                m_options.progress(++framesDone, videoFrames);
        }
    }
    if (!flushRun())
        return false;
    if (!output.Write(cues.data(), cues.size())) {
        error = "write failed";
        return false;
    }
    return true;
}

} // namespace

bool WriteMatroska(const MatroskaSalvage& salvage, const MatroskaPlan& plan, const OutputOptions& options,
                   SourceReader& input, ByteSink& output, std::string& error)
{
    Writer writer(salvage, plan, options);
    return writer.Write(input, output, error);
}

} // namespace pg::clipmend
