#include "Salvage.h"

#include "ByteOrder.h"
#include "Keyframe.h"

#include <algorithm>

namespace pg::clipmend {

namespace {

constexpr std::uint32_t MAX_HEADER_LIST = 16u << 20;
constexpr std::uint64_t PROGRESS_STEPS = 100;

enum class Token {
    StreamChunk, // a valid stream number and a two-letter type
    MoviList,
    RecList,
    OtherList,
    Extension, // the RIFF header of a further segment
    OldIndex,
    StandardIndex,
    Junk,
    Unknown,
};

struct Header
{
    Token token = Token::Unknown;
    std::uint32_t id = 0;
    std::uint32_t size = 0;
    std::uint16_t stream = 0;
    std::uint16_t suffix = 0;
};

bool IsDigit(std::uint8_t c)
{
    return c >= '0' && c <= '9';
}

bool IsLower(std::uint8_t c)
{
    return c >= 'a' && c <= 'z';
}

// The stream number that a chunk id starts with, as two decimal digits.
bool StreamNumber(const std::uint8_t* id, std::uint16_t& stream)
{
    if (!IsDigit(id[0]) || !IsDigit(id[1]))
        return false;
    stream = static_cast<std::uint16_t>((id[0] - '0') * 10 + (id[1] - '0'));
    return true;
}

bool IsStandardIndexId(const std::uint8_t* id)
{
    return id[0] == 'i' && id[1] == 'x' && IsDigit(id[2]) && IsDigit(id[3]);
}

// Video frames and audio data: the only chunks the walk keeps.
bool IsMediaChunk(StreamType type, std::uint16_t suffix)
{
    return type == StreamType::Video ? (suffix == SUFFIX_DC || suffix == SUFFIX_DB)
                                     : type == StreamType::Audio && suffix == SUFFIX_WB;
}

// The recorded chunk whose header lies at offset with size bytes of data; chunks are in file order.
const FoundChunk* ChunkAt(const std::vector<FoundChunk>& chunks, std::uint64_t offset, std::uint32_t size)
{
    auto it = std::lower_bound(chunks.begin(), chunks.end(), offset,
                               [](const FoundChunk& c, std::uint64_t value) { return c.offset < value; });
    return it != chunks.end() && it->offset == offset && it->size == size ? &*it : nullptr;
}

class Walker
{
public:
    Walker(SourceReader& reader, const SalvageOptions& options, Salvage& result)
        : m_in(reader), m_options(options), m_result(result), m_size(reader.Size())
    {
    }

    bool Run(std::string& error);

private:
    bool ReadTopLevel(std::uint64_t& walkStart, bool& structured, std::string& error);
    void Walk(std::uint64_t pos, bool structured);
    void NoteMoviList(std::uint64_t pos, std::uint32_t size);
    Header Classify(std::uint64_t pos);
    bool Fits(std::uint64_t pos, std::uint32_t size) const;
    const ByteRange* GapAt(std::uint64_t pos) const;
    const ByteRange* GapOverlapping(std::uint64_t begin, std::uint64_t end) const;
    bool IsResyncPoint(std::uint64_t pos);
    std::uint64_t NextCandidate(std::uint64_t pos);
    std::uint64_t Resync(std::uint64_t from);
    std::uint64_t Damage(std::uint64_t pos, std::uint64_t resumeFrom, bool knownGap);
    void DropChunkCutByZeros(std::uint64_t damageStart);
    void Record(std::uint64_t pos, const Header& header);
    void ReportProgress(std::uint64_t pos);
    void ApplyIndexes();
    void ApplyOldIndex(std::uint64_t pos);
    void ApplyStandardIndex(std::uint64_t pos);
    void SetIndexFlag(std::uint64_t header, std::uint32_t size, std::uint16_t stream, bool key);

    SourceReader& m_in;
    const SalvageOptions& m_options;
    Salvage& m_result;
    const std::uint64_t m_size;
    std::uint64_t m_firstMovi = 0;    // offset of the first 'movi' list type, 0 when unknown
    std::uint64_t m_firstMoviEnd = 0; // where the first movie list ends, 0 when unknown
    std::uint32_t m_run = 0;
    std::uint64_t m_lastEnd = 0; // where the last recorded chunk (with padding) ended
    std::uint64_t m_nextProgress = 0;
    std::vector<std::uint64_t> m_oldIndexes;
    std::vector<std::uint64_t> m_standardIndexes;
    // Per chunk: 0 no index entry, 1 indexed as delta, 2 indexed as key.
    std::vector<std::uint8_t> m_indexFlags;
};

bool Walker::Fits(std::uint64_t pos, std::uint32_t size) const
{
    return pos + 8 + size <= m_size;
}

const ByteRange* Walker::GapAt(std::uint64_t pos) const
{
    return GapOverlapping(pos, pos + 1);
}

const ByteRange* Walker::GapOverlapping(std::uint64_t begin, std::uint64_t end) const
{
    return pg::clipmend::GapOverlapping(m_options.gaps, begin, end);
}

Header Walker::Classify(std::uint64_t pos)
{
    Header h;
    std::size_t available = 0;
    const std::uint8_t* p = m_in.PeekUpTo(pos, 12, available);
    if (!p || available < 8)
        return h;
    h.id = Load32(p);
    h.size = Load32(p + 4);
    const std::uint32_t listType = available >= 12 ? Load32(p + 8) : 0;
    if (IsLower(p[2]) && IsLower(p[3]) && StreamNumber(p, h.stream)) {
        h.suffix = static_cast<std::uint16_t>(p[2] | p[3] << 8);
        if (h.stream < m_result.headers.streams.size())
            h.token = Token::StreamChunk;
    } else if (IsStandardIndexId(p)) {
        h.token = Token::StandardIndex;
    } else if (h.id == FourCC("LIST")) {
        h.token = listType == FourCC("movi")   ? Token::MoviList
                  : listType == FourCC("rec ") ? Token::RecList
                                               : Token::OtherList;
    } else if (h.id == FourCC("RIFF")) {
        h.token = listType == FourCC("AVIX") ? Token::Extension : Token::Unknown;
    } else if (h.id == FourCC("idx1")) {
        h.token = Token::OldIndex;
    } else if (h.id == FourCC("JUNK")) {
        h.token = Token::Junk;
    }
    return h;
}

bool Walker::Run(std::string& error)
{
    std::uint64_t walkStart = 0;
    bool structured = false;
    if (!ReadTopLevel(walkStart, structured, error))
        return false;
    for (const StreamHeader& stream : m_result.headers.streams)
        m_standardIndexes.insert(m_standardIndexes.end(), stream.indexChunks.begin(),
                                 stream.indexChunks.end());
    Walk(walkStart, structured);
    ApplyIndexes();
    if (m_options.progress)
        m_options.progress(m_size, m_size);
    return true;
}

// The file header, the header list and the start of the movie data. Anything damaged before
// the movie list leaves the walk to find the first chunk by scanning.
bool Walker::ReadTopLevel(std::uint64_t& walkStart, bool& structured, std::string& error)
{
    const std::uint8_t* p = m_in.Peek(0, 12);
    if (!p || Load32(p) != FourCC("RIFF") || Load32(p + 8) != FourCC("AVI ")) {
        error = "not an AVI file";
        return false;
    }
    bool haveHeaders = false;
    std::uint64_t pos = 12;
    while (pos + 12 <= m_size) {
        const std::uint8_t* h = m_in.Peek(pos, 12);
        if (!h)
            break;
        const std::uint32_t id = Load32(h);
        const std::uint32_t size = Load32(h + 4);
        const std::uint32_t listType = Load32(h + 8);
        if (id == FourCC("LIST") && listType == FourCC("movi")) {
            NoteMoviList(pos, size);
            walkStart = pos + 12;
            structured = true;
            break;
        }
        const bool known = id == FourCC("LIST") || id == FourCC("JUNK") || id == FourCC("idx1");
        if (!known || !Fits(pos, size))
            break;
        if (id == FourCC("LIST") && listType == FourCC("hdrl") && !haveHeaders) {
            if (size < 4 || size > MAX_HEADER_LIST) {
                error = "damaged header list";
                return false;
            }
            MemorySink list;
            std::string reason;
            if (!list.CopyFrom(m_in, pos + 12, size - 4) ||
                !ParseHeaderList(list.Bytes().data(), list.Bytes().size(), m_result.headers, reason)) {
                error = "damaged header list: " + reason;
                return false;
            }
            haveHeaders = true;
        }
        pos += 8 + Padded(size);
    }
    if (!haveHeaders) {
        error = "no header list";
        return false;
    }
    if (!structured)
        walkStart = pos;
    return true;
}

// pos: of the list header; size: its size field.
void Walker::NoteMoviList(std::uint64_t pos, std::uint32_t size)
{
    if (m_firstMovi != 0)
        return;
    m_firstMovi = pos + 8;
    m_firstMoviEnd = m_firstMovi + Padded(size);
}

void Walker::ReportProgress(std::uint64_t pos)
{
    if (!m_options.progress || pos < m_nextProgress)
        return;
    m_options.progress(pos, m_size);
    m_nextProgress = pos + std::max<std::uint64_t>(m_size / PROGRESS_STEPS, 1);
}

void Walker::Walk(std::uint64_t pos, bool structured)
{
    if (!structured)
        pos = Damage(pos, pos, false);
    while (pos + 8 <= m_size) {
        ReportProgress(pos);
        if (const ByteRange* gap = GapAt(pos)) {
            pos = Damage(pos, gap->end, true);
            continue;
        }
        const Header h = Classify(pos);
        switch (h.token) {
        case Token::StreamChunk: {
            const std::uint64_t end = pos + 8 + h.size;
            const ByteRange* cut = h.size <= MAX_CHUNK_SIZE ? GapOverlapping(pos, end) : nullptr;
            if (h.size > MAX_CHUNK_SIZE || end > m_size || cut) {
                ++m_result.report.dropped;
                pos = Damage(pos, cut ? cut->end : pos + 2, cut != nullptr);
                continue;
            }
            Record(pos, h);
            pos = end + (h.size & 1);
            m_lastEnd = pos;
            continue;
        }
        case Token::MoviList:
            NoteMoviList(pos, h.size);
            pos += 12;
            continue;
        case Token::RecList:
        case Token::Extension:
            pos += 12;
            continue;
        case Token::OldIndex:
        case Token::StandardIndex:
        case Token::OtherList:
        case Token::Junk:
            if (Fits(pos, h.size)) {
                if (h.token == Token::OldIndex)
                    m_oldIndexes.push_back(pos);
                else if (h.token == Token::StandardIndex)
                    m_standardIndexes.push_back(pos);
                pos += 8 + Padded(h.size);
                continue;
            }
            break;
        case Token::Unknown:
            break;
        }
        pos = Damage(pos, pos + 2, false);
    }
}

void Walker::Record(std::uint64_t pos, const Header& h)
{
    const StreamHeader& stream = m_result.headers.streams[h.stream];
    if (!IsMediaChunk(stream.type, h.suffix))
        return;
    FoundChunk chunk;
    chunk.offset = pos;
    chunk.size = h.size;
    chunk.stream = h.stream;
    chunk.suffix = h.suffix;
    chunk.run = m_run;
    chunk.key = true;
    if (stream.type == StreamType::Video) {
        std::size_t available = 0;
        const std::size_t wanted = DetectionBytes(stream, h.size);
        const std::uint8_t* data = wanted > 0 ? m_in.PeekUpTo(pos + 8, wanted, available) : nullptr;
        chunk.key = IsKeyframe(stream, data, data ? available : 0, h.size);
    }
    m_result.chunks.push_back(chunk);
}

// Where damage starts right after a chunk and is zero-filled, a chunk whose data also ends
// in zeros was most likely cut by the same hole.
void Walker::DropChunkCutByZeros(std::uint64_t damageStart)
{
    auto& chunks = m_result.chunks;
    if (chunks.empty() || m_lastEnd != damageStart)
        return;
    const FoundChunk& last = chunks.back();
    if (last.size == 0 || last.offset + 8 + Padded(last.size) != damageStart)
        return;
    const std::uint8_t* after = m_in.Peek(damageStart, std::min<std::uint64_t>(8, m_size - damageStart));
    const std::size_t tailLength = std::min<std::uint32_t>(last.size, 4);
    const std::uint8_t* tail = m_in.Peek(last.offset + 8 + last.size - tailLength, tailLength);
    if (!after || !tail)
        return;
    const auto zero = [](std::uint8_t b) { return b == 0; };
    const std::size_t afterLength =
        static_cast<std::size_t>(std::min<std::uint64_t>(8, m_size - damageStart));
    if (std::all_of(after, after + afterLength, zero) && std::all_of(tail, tail + tailLength, zero)) {
        chunks.pop_back();
        ++m_result.report.dropped;
    }
}

// knownGap: the damage is a gap of the metadata, so the chunk before it is known to be whole.
std::uint64_t Walker::Damage(std::uint64_t pos, std::uint64_t resumeFrom, bool knownGap)
{
    if (!knownGap)
        DropChunkCutByZeros(pos);
    const std::uint64_t next = Resync(std::max(resumeFrom, pos));
    ++m_result.report.damagedRegions;
    m_result.report.damagedBytes += std::min(next, m_size) - pos;
    if (next + 8 <= m_size)
        ++m_result.report.resynchronised;
    ++m_run;
    return next;
}

bool Walker::IsResyncPoint(std::uint64_t pos)
{
    const Header h = Classify(pos);
    switch (h.token) {
    case Token::MoviList:
    case Token::RecList:
    case Token::Extension:
        return true;
    case Token::OldIndex:
    case Token::StandardIndex:
        return Fits(pos, h.size) && !GapOverlapping(pos, pos + 8 + h.size);
    case Token::StreamChunk: {
        if (!IsMediaChunk(m_result.headers.streams[h.stream].type, h.suffix) || h.size > MAX_CHUNK_SIZE ||
            !Fits(pos, h.size) || GapOverlapping(pos, pos + 8 + h.size))
            return false;
        // A chunk header may occur by chance inside other data: the next one must follow.
        const std::uint64_t next = pos + 8 + Padded(h.size);
        if (next + 8 > m_size)
            return true;
        const ByteRange* gap = GapAt(next);
        if (gap && gap->begin == next)
            return true;
        const Token following = Classify(next).token;
        return following != Token::Unknown && following != Token::OtherList;
    }
    default:
        return false;
    }
}

std::uint64_t Walker::NextCandidate(std::uint64_t pos)
{
    // Chunks start at even offsets; eight bytes make a chunk header.
    return pg::clipmend::NextCandidate(m_in, m_options.gaps, pos, m_size, 2, 8, [](std::uint8_t c) {
        return IsDigit(c) || c == 'L' || c == 'R' || c == 'i';
    });
}

std::uint64_t Walker::Resync(std::uint64_t from)
{
    std::uint64_t pos = Padded(from);
    while (pos + 8 <= m_size) {
        ReportProgress(pos);
        if (const ByteRange* gap = GapAt(pos)) {
            pos = Padded(gap->end);
            continue;
        }
        const std::uint64_t candidate = NextCandidate(pos);
        if (candidate != pos) {
            pos = candidate;
            continue;
        }
        if (IsResyncPoint(pos))
            return pos;
        pos += 2;
    }
    return m_size;
}

void Walker::SetIndexFlag(std::uint64_t header, std::uint32_t size, std::uint16_t stream, bool key)
{
    const FoundChunk* chunk = ChunkAt(m_result.chunks, header, size);
    if (!chunk || chunk->stream != stream)
        return;
    m_indexFlags[static_cast<std::size_t>(chunk - m_result.chunks.data())] = key ? 2 : 1;
}

void Walker::ApplyOldIndex(std::uint64_t pos)
{
    const std::uint8_t* h = m_in.Peek(pos, 8);
    if (!h || Load32(h) != FourCC("idx1"))
        return;
    const std::uint64_t count = std::min<std::uint64_t>(Load32(h + 4), m_size - pos - 8) / OLD_INDEX_ENTRY;
    const auto entryAt = [&](std::uint64_t i) {
        return m_in.Peek(pos + 8 + i * OLD_INDEX_ENTRY, OLD_INDEX_ENTRY);
    };
    // Offsets count from the 'movi' list type as a rule, from the file start in some files.
    const std::uint64_t bases[] = {m_firstMovi, 0};
    std::uint64_t base = 0;
    std::size_t bestMatches = 0;
    for (std::uint64_t candidate : bases) {
        std::size_t matches = 0;
        for (std::uint64_t i = 0; i < std::min<std::uint64_t>(count, 64); ++i) {
            const std::uint8_t* e = entryAt(i);
            std::uint16_t stream = 0;
            if (e && StreamNumber(e, stream) &&
                ChunkAt(m_result.chunks, candidate + Load32(e + 8), Load32(e + 12)))
                ++matches;
        }
        if (matches > bestMatches) {
            bestMatches = matches;
            base = candidate;
        }
    }
    if (bestMatches == 0)
        return;
    for (std::uint64_t i = 0; i < count; ++i) {
        const std::uint8_t* e = entryAt(i);
        std::uint16_t stream = 0;
        if (e && StreamNumber(e, stream))
            SetIndexFlag(base + Load32(e + 8), Load32(e + 12), stream, (Load32(e + 4) & AVIIF_KEYFRAME) != 0);
    }
}

void Walker::ApplyStandardIndex(std::uint64_t pos)
{
    const std::uint64_t entries = pos + 8 + STANDARD_INDEX_HEADER;
    const std::uint8_t* h = m_in.Peek(pos, 8 + STANDARD_INDEX_HEADER);
    if (!h || !IsStandardIndexId(h))
        return;
    const std::uint32_t size = Load32(h + 4);
    if (Load16(h + 8) != 2 || h[11] != INDEX_OF_CHUNKS || size < STANDARD_INDEX_HEADER || !Fits(pos, size))
        return;
    std::uint16_t stream = 0;
    if (!StreamNumber(h + 16, stream))
        return;
    const std::uint64_t base = Load64(h + 20);
    const std::uint64_t count =
        std::min<std::uint64_t>(Load32(h + 12), (size - STANDARD_INDEX_HEADER) / STANDARD_INDEX_ENTRY);
    for (std::uint64_t i = 0; i < count; ++i) {
        const std::uint8_t* e = m_in.Peek(entries + i * STANDARD_INDEX_ENTRY, STANDARD_INDEX_ENTRY);
        if (!e)
            return;
        const std::uint64_t data = base + Load32(e);
        const std::uint32_t entrySize = Load32(e + 4);
        if (data >= 8)
            SetIndexFlag(data - 8, entrySize & ~DELTA_FRAME_BIT, stream, (entrySize & DELTA_FRAME_BIT) == 0);
    }
}

// Keyframe flags from the file's own indexes override what the frames' bytes suggest; a
// stream whose index marks no keyframe at all has a broken index, and keeps the detection.
void Walker::ApplyIndexes()
{
    auto& chunks = m_result.chunks;
    m_indexFlags.assign(chunks.size(), 0);
    // The index of the first segment follows its movie list, wherever the walk ended.
    if (m_firstMoviEnd != 0 && m_firstMoviEnd + 8 <= m_size)
        m_oldIndexes.push_back(m_firstMoviEnd);
    std::sort(m_oldIndexes.begin(), m_oldIndexes.end());
    m_oldIndexes.erase(std::unique(m_oldIndexes.begin(), m_oldIndexes.end()), m_oldIndexes.end());
    std::sort(m_standardIndexes.begin(), m_standardIndexes.end());
    m_standardIndexes.erase(std::unique(m_standardIndexes.begin(), m_standardIndexes.end()),
                            m_standardIndexes.end());
    for (std::uint64_t pos : m_oldIndexes)
        ApplyOldIndex(pos);
    for (std::uint64_t pos : m_standardIndexes)
        if (pos < m_size)
            ApplyStandardIndex(pos);

    const auto& streams = m_result.headers.streams;
    std::vector<bool> trusted(streams.size(), false);
    for (std::size_t i = 0; i < chunks.size(); ++i)
        if (m_indexFlags[i] == 2)
            trusted[chunks[i].stream] = true;
    for (std::size_t i = 0; i < chunks.size(); ++i) {
        FoundChunk& chunk = chunks[i];
        const StreamHeader& stream = streams[chunk.stream];
        if (stream.type != StreamType::Video || m_indexFlags[i] == 0 || !trusted[chunk.stream] ||
            FramesStandAlone(stream.codec))
            continue;
        chunk.key = m_indexFlags[i] == 2 && chunk.size > 0;
        m_result.report.indexUsed = true;
    }
}

} // namespace

bool SalvageAvi(SourceReader& reader, const SalvageOptions& options, Salvage& result, std::string& error)
{
    result = Salvage{};
    Walker walker(reader, options, result);
    return walker.Run(error);
}

} // namespace pg::clipmend
