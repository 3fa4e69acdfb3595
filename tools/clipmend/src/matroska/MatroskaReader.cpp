#include "MatroskaReader.h"

#include "Ebml.h"
#include "MatroskaContainer.h"

#include <algorithm>

namespace pg::clipmend {

namespace {

using namespace ebml;

constexpr std::uint64_t MAX_HEADER_ELEMENT = 16u << 20; // Info, Tracks: read whole into memory
constexpr std::uint64_t MAX_BLOCK_SIZE = 256u << 20;
constexpr std::size_t MAX_LACE_HEADER = 64 << 10;
constexpr std::uint64_t PROGRESS_STEPS = 100;
constexpr std::size_t ELEMENT_HEADER_BYTES = 12; // the longest id and size

bool IsTopLevel(std::uint32_t id)
{
    switch (id) {
    case ID_CLUSTER:
    case ID_CUES:
    case ID_SEEK_HEAD:
    case ID_INFO:
    case ID_TRACKS:
    case ID_CHAPTERS:
    case ID_TAGS:
    case ID_ATTACHMENTS:
        return true;
    default:
        return false;
    }
}

// Children of a cluster other than its timestamp and blocks, passed over by their size.
bool IsOtherClusterChild(std::uint32_t id)
{
    return id == ID_POSITION || id == ID_PREV_SIZE || id == ID_SILENT_TRACKS || id == ID_VOID ||
           id == ID_CRC32;
}

// An EBML string: its bytes up to the first zero, which may pad it.
std::string StringOf(const std::uint8_t* data, std::size_t size)
{
    return std::string(reinterpret_cast<const char*>(data),
                       static_cast<std::size_t>(std::find(data, data + size, 0) - data));
}

bool IsBlock(std::uint32_t id)
{
    return id == ID_SIMPLE_BLOCK || id == ID_BLOCK_GROUP;
}

// Children of a master element held in memory, in order; stops at the first that does not fit.
template <typename Visit> void ForEachChild(const std::uint8_t* data, std::size_t size, Visit visit)
{
    std::size_t pos = 0;
    Element e;
    while (pos < size && ReadElement(data + pos, size - pos, e)) {
        visit(e.id, data + pos + e.header, static_cast<std::size_t>(e.size), data + pos);
        pos += e.header + static_cast<std::size_t>(e.size);
    }
}

// Whether the lace header of a block's frame data agrees with the data's size. data holds the
// first available bytes of the frame data, size is its full length.
bool LacingFits(std::uint8_t flags, const std::uint8_t* data, std::size_t available, std::uint64_t size)
{
    const std::uint8_t lacing = flags & BLOCK_LACING;
    if (lacing == 0)
        return true;
    if (available < 1 || size < 1)
        return false;
    const std::size_t frames = static_cast<std::size_t>(data[0]) + 1;
    std::size_t pos = 1;
    std::uint64_t laced = 0; // bytes of all frames but the last
    if (lacing == 0x04)      // fixed: equal frames
        return (size - 1) % frames == 0;
    if (lacing == 0x02) { // Xiph: sizes as runs of 255
        for (std::size_t i = 0; i + 1 < frames; ++i) {
            std::uint8_t b = 0;
            do {
                if (pos >= available)
                    return false;
                b = data[pos++];
                laced += b;
            } while (b == 255);
        }
    } else { // EBML: the first size, then signed differences
        std::uint64_t frame = 0;
        for (std::size_t i = 0; i + 1 < frames; ++i) {
            std::uint64_t raw = 0;
            const int length = ReadSize(data + pos, pos < available ? available - pos : 0, raw);
            if (length == 0 || raw == UNKNOWN_SIZE)
                return false;
            if (i == 0) {
                frame = raw;
            } else {
                const std::int64_t bias = (1ll << (7 * length - 1)) - 1;
                const std::int64_t next =
                    static_cast<std::int64_t>(frame) + static_cast<std::int64_t>(raw) - bias;
                if (next < 0)
                    return false;
                frame = static_cast<std::uint64_t>(next);
            }
            pos += static_cast<std::size_t>(length);
            laced += frame;
            if (laced > size)
                return false;
        }
    }
    return pos + laced <= size;
}

class Walker
{
public:
    Walker(SourceReader& reader, const SalvageOptions& options, MatroskaSalvage& result)
        : m_in(reader), m_options(options), m_result(result), m_size(reader.Size())
    {
    }

    bool Run(std::string& error);

private:
    struct BlockHeader
    {
        std::uint32_t track = 0;
        std::int16_t time = 0;
        std::uint8_t flags = 0;
        std::size_t length = 0; // track number, time and flags
    };

    // The cluster the walk is in.
    struct Cluster
    {
        std::uint64_t end = UNKNOWN_SIZE; // unknown size: until a top-level element
        std::int64_t time = 0;
        bool timed = false;
    };

    bool ReadEbmlHeader(std::uint64_t& pos, std::string& error);
    bool FindSegment(std::uint64_t& pos, std::string& error);
    bool ReadHeaderElement(std::uint64_t pos, const Element& e, std::vector<std::uint8_t>& data);
    void ParseInfo(const std::vector<std::uint8_t>& data);
    void ParseTracks(const std::vector<std::uint8_t>& data);
    void Walk(std::uint64_t pos);
    bool PeekElement(std::uint64_t pos, Element& e);
    bool ParseBlockHeader(std::uint64_t data, std::uint64_t size, bool simple, BlockHeader& header);
    bool FindGroupBlock(std::uint64_t data, std::uint64_t size, std::uint64_t& block,
                        std::uint64_t& blockSize, std::int64_t& duration, bool& referenced);
    bool TakeBlock(std::uint64_t pos, const Element& e);
    bool Fits(std::uint64_t pos, const Element& e) const;
    bool IsBlockStart(std::uint64_t pos);
    bool IsClusterStart(std::uint64_t pos);
    bool IsFollowedWell(std::uint64_t end);
    std::uint64_t NextCandidate(std::uint64_t pos);
    std::uint64_t Resync(std::uint64_t from);
    std::uint64_t Damage(std::uint64_t pos, std::uint64_t resumeFrom, bool blockBeforeWhole);
    const ByteRange* GapAt(std::uint64_t pos) const { return GapOverlapping(m_options.gaps, pos, pos + 1); }
    void ReportProgress(std::uint64_t pos);

    SourceReader& m_in;
    const SalvageOptions& m_options;
    MatroskaSalvage& m_result;
    const std::uint64_t m_size;
    std::uint64_t m_segmentEnd = 0;
    bool m_inCluster = false;
    Cluster m_cluster;
    std::uint32_t m_run = 0;
    // The last block taken, recorded or not: where its data starts and its element ends.
    std::uint64_t m_lastBlockData = 0;
    std::uint64_t m_lastBlockEnd = 0;
    bool m_lastBlockRecorded = false;
    std::uint64_t m_nextProgress = 0;
};

bool Walker::PeekElement(std::uint64_t pos, Element& e)
{
    std::size_t available = 0;
    const std::uint8_t* p = m_in.PeekUpTo(pos, ELEMENT_HEADER_BYTES, available);
    if (!p)
        return false;
    const int idLength = ReadId(p, available, e.id);
    if (idLength == 0)
        return false;
    const int sizeLength = ReadSize(p + idLength, available - static_cast<std::size_t>(idLength), e.size);
    if (sizeLength == 0)
        return false;
    e.header = static_cast<std::size_t>(idLength + sizeLength);
    return true;
}

// Whether the element's data lies within the file, with no known gap in it.
bool Walker::Fits(std::uint64_t pos, const Element& e) const
{
    if (e.size == UNKNOWN_SIZE || e.size > m_size || pos + e.header + e.size > m_size)
        return false;
    return !GapOverlapping(m_options.gaps, pos, pos + e.header + e.size);
}

bool Walker::ReadEbmlHeader(std::uint64_t& pos, std::string& error)
{
    Element e;
    if (!PeekElement(0, e) || e.id != ID_EBML || e.size > PROBE_BYTES || !Fits(0, e)) {
        error = "not a Matroska or WebM file";
        return false;
    }
    const std::uint8_t* p = m_in.Peek(e.header, static_cast<std::size_t>(e.size));
    if (!p) {
        error = "not a Matroska or WebM file";
        return false;
    }
    ForEachChild(p, static_cast<std::size_t>(e.size),
                 [&](std::uint32_t id, const std::uint8_t* data, std::size_t size, const std::uint8_t*) {
                     if (id == ID_DOC_TYPE)
                         m_result.docType = StringOf(data, size);
                     else if (id == ID_DOC_TYPE_VERSION)
                         m_result.docTypeVersion = ReadUnsigned(data, size);
                     else if (id == ID_DOC_TYPE_READ_VERSION)
                         m_result.docTypeReadVersion = ReadUnsigned(data, size);
                 });
    if (m_result.docType != "matroska" && m_result.docType != "webm") {
        error = "not a Matroska or WebM file (document type \"" + m_result.docType + "\")";
        return false;
    }
    pos = e.header + e.size;
    return true;
}

bool Walker::FindSegment(std::uint64_t& pos, std::string& error)
{
    Element e;
    while (PeekElement(pos, e) && (e.id == ID_VOID || e.id == ID_CRC32) && Fits(pos, e))
        pos += e.header + e.size;
    if (!PeekElement(pos, e) || e.id != ID_SEGMENT || GapAt(pos)) {
        error = "no segment after the file header";
        return false;
    }
    pos += e.header;
    m_segmentEnd = e.size == UNKNOWN_SIZE || e.size > m_size - pos ? m_size : pos + e.size;
    return true;
}

bool Walker::ReadHeaderElement(std::uint64_t pos, const Element& e, std::vector<std::uint8_t>& data)
{
    if (!Fits(pos, e) || e.size > MAX_HEADER_ELEMENT)
        return false;
    MemorySink sink;
    if (!sink.CopyFrom(m_in, pos + e.header, e.size))
        return false;
    data = sink.Bytes();
    return true;
}

void Walker::ParseInfo(const std::vector<std::uint8_t>& data)
{
    ForEachChild(data.data(), data.size(),
                 [&](std::uint32_t id, const std::uint8_t* p, std::size_t size, const std::uint8_t*) {
                     if (id == ID_TIMESTAMP_SCALE && ReadUnsigned(p, size) > 0)
                         m_result.timestampScale = ReadUnsigned(p, size);
                 });
}

void Walker::ParseTracks(const std::vector<std::uint8_t>& data)
{
    ForEachChild(
        data.data(), data.size(),
        [&](std::uint32_t id, const std::uint8_t* p, std::size_t size, const std::uint8_t* element) {
            if (id != ID_TRACK_ENTRY)
                return;
            MatroskaTrack track;
            track.entry.assign(element, p + size);
            ForEachChild(p, size,
                         [&](std::uint32_t child, const std::uint8_t* q, std::size_t n, const std::uint8_t*) {
                             if (child == ID_TRACK_NUMBER)
                                 track.number = ReadUnsigned(q, n);
                             else if (child == ID_TRACK_TYPE)
                                 track.type = ReadUnsigned(q, n);
                             else if (child == ID_DEFAULT_DURATION)
                                 track.defaultDuration = ReadUnsigned(q, n);
                         });
            const bool known = std::any_of(m_result.tracks.begin(), m_result.tracks.end(),
                                           [&](const MatroskaTrack& t) { return t.number == track.number; });
            if (track.number != 0 && !known)
                m_result.tracks.push_back(std::move(track));
        });
}

bool Walker::Run(std::string& error)
{
    std::uint64_t pos = 0;
    if (!ReadEbmlHeader(pos, error) || !FindSegment(pos, error))
        return false;
    // The headers come before the first cluster; a walk that meets a cluster first has lost them.
    Element e;
    while (pos < m_segmentEnd && m_result.tracks.empty()) {
        if (!PeekElement(pos, e) || !Fits(pos, e) || e.id == ID_CLUSTER)
            break;
        std::vector<std::uint8_t> data;
        if ((e.id == ID_INFO || e.id == ID_TRACKS) && !ReadHeaderElement(pos, e, data))
            break;
        if (e.id == ID_INFO)
            ParseInfo(data);
        else if (e.id == ID_TRACKS)
            ParseTracks(data);
        pos += e.header + e.size;
    }
    if (m_result.tracks.empty()) {
        error = "no track list (it has not arrived or is damaged)";
        return false;
    }
    Walk(pos);
    if (m_options.progress)
        m_options.progress(m_size, m_size);
    return true;
}

void Walker::ReportProgress(std::uint64_t pos)
{
    if (!m_options.progress || pos < m_nextProgress)
        return;
    m_options.progress(pos, m_size);
    m_nextProgress = pos + std::max<std::uint64_t>(m_size / PROGRESS_STEPS, 1);
}

bool Walker::ParseBlockHeader(std::uint64_t data, std::uint64_t size, bool simple, BlockHeader& header)
{
    std::size_t available = 0;
    const std::uint8_t* p = m_in.PeekUpTo(
        data,
        static_cast<std::size_t>(std::min<std::uint64_t>(size, std::min(MAX_LACE_HEADER, m_in.WindowSize()))),
        available);
    std::uint64_t number = 0;
    const int length = p ? ReadSize(p, available, number) : 0;
    if (length == 0 || static_cast<std::size_t>(length) + 3 > available ||
        static_cast<std::uint64_t>(length) + 3 > size)
        return false;
    const auto& tracks = m_result.tracks;
    const auto track = std::find_if(tracks.begin(), tracks.end(),
                                    [&](const MatroskaTrack& t) { return t.number == number; });
    if (track == tracks.end())
        return false;
    header.track = static_cast<std::uint32_t>(track - tracks.begin());
    header.time = static_cast<std::int16_t>(p[length] << 8 | p[length + 1]);
    header.flags = p[length + 2];
    header.length = static_cast<std::size_t>(length) + 3;
    // Bits no block sets: a SimpleBlock's three reserved ones, a Block's all but invisible and lacing.
    const std::uint8_t reserved = simple ? 0x70 : 0xF1;
    if (header.flags & reserved)
        return false;
    return LacingFits(header.flags, p + header.length, available - header.length, size - header.length);
}

// The Block inside a BlockGroup, with what the group says of it.
bool Walker::FindGroupBlock(std::uint64_t data, std::uint64_t size, std::uint64_t& block,
                            std::uint64_t& blockSize, std::int64_t& duration, bool& referenced)
{
    bool found = false;
    std::uint64_t pos = data;
    Element e;
    while (pos < data + size) {
        if (!PeekElement(pos, e) || e.size == UNKNOWN_SIZE || e.size > data + size - pos - e.header)
            return false;
        const std::uint64_t value = pos + e.header;
        if (e.id == ID_BLOCK && !found) {
            found = true;
            block = value;
            blockSize = e.size;
        } else if (e.id == ID_REFERENCE_BLOCK) {
            referenced = true;
        } else if (e.id == ID_BLOCK_DURATION && e.size <= 8) {
            const std::uint8_t* p = m_in.Peek(value, static_cast<std::size_t>(e.size));
            if (p)
                duration = static_cast<std::int64_t>(ReadUnsigned(p, static_cast<std::size_t>(e.size)));
        }
        pos = value + e.size;
    }
    return found;
}

// Records the block whose element starts at pos; false when it makes no sense there.
bool Walker::TakeBlock(std::uint64_t pos, const Element& e)
{
    const bool simple = e.id == ID_SIMPLE_BLOCK;
    std::uint64_t data = pos + e.header;
    std::uint64_t size = e.size;
    std::int64_t duration = 0;
    bool referenced = false;
    if (!simple && !FindGroupBlock(pos + e.header, e.size, data, size, duration, referenced))
        return false;
    BlockHeader header;
    if (!ParseBlockHeader(data, size, simple, header))
        return false;
    const MatroskaTrack& track = m_result.tracks[header.track];
    m_lastBlockData = pos + e.header;
    m_lastBlockEnd = pos + e.header + e.size;
    m_lastBlockRecorded = track.type == TRACK_VIDEO || track.type == TRACK_AUDIO;
    if (!m_lastBlockRecorded)
        return true;
    MatroskaBlock block;
    block.offset = data + header.length;
    block.size = static_cast<std::uint32_t>(size - header.length);
    block.track = header.track;
    block.time = m_cluster.time + header.time;
    block.clusterTime = m_cluster.time;
    block.duration = duration;
    block.flags =
        simple ? header.flags : static_cast<std::uint8_t>(header.flags | (referenced ? 0 : BLOCK_KEY));
    block.run = m_run;
    m_result.blocks.push_back(block);
    return true;
}

void Walker::Walk(std::uint64_t pos)
{
    while (pos < m_segmentEnd) {
        ReportProgress(pos);
        if (m_inCluster && m_cluster.end != UNKNOWN_SIZE && pos >= m_cluster.end)
            m_inCluster = false;
        if (const ByteRange* gap = GapAt(pos)) {
            pos = Damage(pos, gap->end, true);
            continue;
        }
        Element e;
        if (!PeekElement(pos, e)) {
            pos = Damage(pos, pos + 1, false);
            continue;
        }
        if (m_inCluster && m_cluster.end == UNKNOWN_SIZE && IsTopLevel(e.id))
            m_inCluster = false;
        const std::uint64_t end = e.size == UNKNOWN_SIZE ? UNKNOWN_SIZE : pos + e.header + e.size;
        const bool withinCluster = !m_inCluster || m_cluster.end == UNKNOWN_SIZE || end <= m_cluster.end;
        if (m_inCluster && IsBlock(e.id)) {
            if (e.size <= MAX_BLOCK_SIZE && withinCluster && Fits(pos, e) && m_cluster.timed &&
                TakeBlock(pos, e)) {
                pos = end;
                continue;
            }
            // A block that the end of the file or a gap cut leaves the one before it whole; a block
            // header that makes no sense may be the end of a block before it that damage cut.
            const ByteRange* cut =
                e.size <= MAX_BLOCK_SIZE ? GapOverlapping(m_options.gaps, pos, end) : nullptr;
            const bool cutOff = cut || (e.size <= MAX_BLOCK_SIZE && end > m_size);
            if (cutOff)
                ++m_result.report.dropped;
            pos = Damage(pos, cut ? cut->end : pos + 1, cutOff || !m_cluster.timed);
            continue;
        }
        if (m_inCluster && (e.id == ID_TIMESTAMP || IsOtherClusterChild(e.id))) {
            const bool timestamp = e.id == ID_TIMESTAMP;
            const std::uint8_t* p =
                withinCluster && Fits(pos, e) && (!timestamp || e.size <= 8)
                    ? m_in.Peek(pos + e.header, static_cast<std::size_t>(timestamp ? e.size : 0))
                    : nullptr;
            if (!p) {
                pos = Damage(pos, pos + 1, false);
                continue;
            }
            if (timestamp) {
                m_cluster.time = static_cast<std::int64_t>(ReadUnsigned(p, static_cast<std::size_t>(e.size)));
                m_cluster.timed = true;
            }
            pos = end;
            continue;
        }
        if (!m_inCluster && e.id == ID_CLUSTER && !GapOverlapping(m_options.gaps, pos, pos + e.header)) {
            m_inCluster = true;
            m_cluster = Cluster{};
            m_cluster.end = end == UNKNOWN_SIZE ? UNKNOWN_SIZE : std::min(end, m_segmentEnd);
            pos += e.header;
            continue;
        }
        if (!m_inCluster && IsTopLevel(e.id) && Fits(pos, e)) {
            pos = end;
            continue;
        }
        if (!m_inCluster && (e.id == ID_VOID || e.id == ID_CRC32) && Fits(pos, e)) {
            pos = end;
            continue;
        }
        pos = Damage(pos, pos + 1, false);
    }
}

// Where damage starts right after a block, that block was most likely cut by it: a hole or
// garbage in its data, or bytes taken out of the file, leave its size pointing at nonsense. It
// is dropped, and the search starts again inside it, where a cluster may begin that it seemed
// to hold. blockBeforeWhole: the damage is a known gap or a block cut off by one or by the end
// of the file, so the block before is whole.
std::uint64_t Walker::Damage(std::uint64_t pos, std::uint64_t resumeFrom, bool blockBeforeWhole)
{
    if (!blockBeforeWhole && m_lastBlockEnd == pos && m_lastBlockData < pos) {
        auto& blocks = m_result.blocks;
        if (m_lastBlockRecorded && !blocks.empty()) {
            blocks.pop_back();
            ++m_result.report.dropped;
        }
        m_lastBlockRecorded = false;
        // Once only: a walk back into it that meets the same damage must go on past it.
        m_lastBlockEnd = 0;
        pos = m_lastBlockData;
        resumeFrom = pos;
    }
    // In a cluster of unknown size nothing tells whether the damage took the start of the next
    // cluster with it, and blocks timed by the wrong cluster would play in the wrong place.
    if (m_inCluster && m_cluster.end == UNKNOWN_SIZE)
        m_inCluster = false;
    const std::uint64_t next = Resync(std::max(resumeFrom, pos));
    ++m_result.report.damagedRegions;
    m_result.report.damagedBytes += std::min(next, m_size) - pos;
    if (next < m_segmentEnd)
        ++m_result.report.resynchronised;
    ++m_run;
    return next;
}

// What follows a block found by scanning must make sense too: another element of the cluster,
// its end, the end of the data or a known gap.
bool Walker::IsFollowedWell(std::uint64_t end)
{
    if (end >= m_segmentEnd || (m_cluster.end != UNKNOWN_SIZE && end == m_cluster.end))
        return true;
    if (const ByteRange* gap = GapAt(end); gap && gap->begin == end)
        return true;
    Element e;
    if (!PeekElement(end, e))
        return false;
    if (IsTopLevel(e.id))
        return m_cluster.end == UNKNOWN_SIZE;
    if (!IsBlock(e.id) && !IsOtherClusterChild(e.id))
        return false;
    return e.size != UNKNOWN_SIZE &&
           (m_cluster.end == UNKNOWN_SIZE || end + e.header + e.size <= m_cluster.end);
}

bool Walker::IsBlockStart(std::uint64_t pos)
{
    Element e;
    if (!PeekElement(pos, e) || !IsBlock(e.id) || e.size > MAX_BLOCK_SIZE || !Fits(pos, e))
        return false;
    const std::uint64_t end = pos + e.header + e.size;
    if (m_cluster.end != UNKNOWN_SIZE && end > m_cluster.end)
        return false;
    const bool simple = e.id == ID_SIMPLE_BLOCK;
    std::uint64_t data = pos + e.header;
    std::uint64_t size = e.size;
    std::int64_t duration = 0;
    bool referenced = false;
    BlockHeader header;
    if (!simple && !FindGroupBlock(pos + e.header, e.size, data, size, duration, referenced))
        return false;
    return ParseBlockHeader(data, size, simple, header) && IsFollowedWell(end);
}

// A cluster header by chance inside other data is rare, one followed by a timestamp and a
// block that make sense rarer still.
bool Walker::IsClusterStart(std::uint64_t pos)
{
    Element e;
    if (!PeekElement(pos, e) || e.id != ID_CLUSTER || GapOverlapping(m_options.gaps, pos, pos + e.header))
        return false;
    if (e.size != UNKNOWN_SIZE && pos + e.header + e.size > m_segmentEnd && m_segmentEnd < m_size)
        return false;
    std::uint64_t child = pos + e.header;
    Element t;
    while (PeekElement(child, t) && (t.id == ID_CRC32 || t.id == ID_VOID) && Fits(child, t))
        child += t.header + t.size;
    if (!PeekElement(child, t) || t.id != ID_TIMESTAMP || t.size > 8 || !Fits(child, t))
        return false;
    const std::uint64_t first = child + t.header + t.size;
    Element b;
    if (!PeekElement(first, b))
        return false;
    const Cluster saved = m_cluster;
    m_cluster.end = e.size == UNKNOWN_SIZE ? UNKNOWN_SIZE : pos + e.header + e.size;
    // A first block that a known gap cut leaves the cluster's timestamp for the blocks after the gap.
    const bool cutByGap = IsBlock(b.id) && b.size != UNKNOWN_SIZE && b.size <= MAX_BLOCK_SIZE &&
                          GapOverlapping(m_options.gaps, first, first + b.header + b.size);
    const bool plausible =
        cutByGap || (IsBlock(b.id) ? IsBlockStart(first)
                                   : IsOtherClusterChild(b.id) && b.size != UNKNOWN_SIZE && Fits(first, b));
    m_cluster = saved;
    return plausible;
}

// The next place, from pos on, whose first byte may start a block or a cluster.
std::uint64_t Walker::NextCandidate(std::uint64_t pos)
{
    const bool blocks = m_inCluster && m_cluster.timed;
    return pg::clipmend::NextCandidate(
        m_in, m_options.gaps, pos, m_segmentEnd, 1, 1, [blocks](std::uint8_t c) {
            return c == 0x1F || (blocks && (c == ID_SIMPLE_BLOCK || c == ID_BLOCK_GROUP));
        });
}

// Inside a cluster whose timestamp is known the walk picks up at the next block that makes
// sense, so that a small hole costs only the blocks it touches; past the cluster, and in a
// cluster without a timestamp, only at the next cluster.
std::uint64_t Walker::Resync(std::uint64_t from)
{
    std::uint64_t pos = from;
    while (pos < m_segmentEnd) {
        ReportProgress(pos);
        if (m_inCluster && m_cluster.end != UNKNOWN_SIZE && pos >= m_cluster.end)
            m_inCluster = false;
        if (const ByteRange* gap = GapAt(pos)) {
            pos = gap->end;
            continue;
        }
        const std::uint64_t candidate = NextCandidate(pos);
        if (candidate != pos) {
            pos = candidate;
            continue;
        }
        if (m_inCluster && m_cluster.timed && IsBlockStart(pos))
            return pos;
        if (IsClusterStart(pos)) {
            m_inCluster = false;
            return pos;
        }
        ++pos;
    }
    m_inCluster = false;
    return m_segmentEnd;
}

} // namespace

int ProbeMatroska(const std::uint8_t* data, std::size_t size)
{
    Element e;
    const std::size_t idLength = size >= 4 ? static_cast<std::size_t>(ReadId(data, size, e.id)) : 0;
    if (idLength == 0 || e.id != ID_EBML)
        return 0;
    if (!ReadElement(data, size, e))
        return 60; // the header is there but cut short: the reader says what is wrong
    int score = 0;
    ForEachChild(data + e.header, static_cast<std::size_t>(e.size),
                 [&](std::uint32_t id, const std::uint8_t* p, std::size_t n, const std::uint8_t*) {
                     if (id != ID_DOC_TYPE)
                         return;
                     const std::string type = StringOf(p, n);
                     score = type == "matroska" || type == "webm" ? 100 : 0;
                 });
    return score;
}

bool SalvageMatroska(SourceReader& reader, const SalvageOptions& options, MatroskaSalvage& result,
                     std::string& error)
{
    result = MatroskaSalvage{};
    Walker walker(reader, options, result);
    return walker.Run(error);
}

} // namespace pg::clipmend
