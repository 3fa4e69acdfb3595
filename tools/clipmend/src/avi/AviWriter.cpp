#include "AviWriter.h"

#include "ByteOrder.h"

#include <algorithm>

namespace pg::clipmend {

namespace {

constexpr std::uint32_t AVIF_HASINDEX = 0x10;
constexpr std::uint32_t AVIF_ISINTERLEAVED = 0x100;
constexpr std::uint32_t EXTENDED_HEADER_SIZE = 248;
// Longest stretch copied in one piece, so that progress lines keep up with the writing.
constexpr std::uint64_t MAX_RUN = 8 << 20;

// Header fields hold 32 bits: a larger value is written as the largest they can hold.
std::uint32_t Saturated32(std::uint64_t value)
{
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(value, UINT32_MAX));
}

// For a main header that gives no frame duration: the video stream's, to the nearest
// microsecond and never 0, which would again say "none"; without a stream rate, the duration
// the selection timed the audio by.
std::uint32_t FrameMicroseconds(const StreamHeader& video)
{
    if (video.scale == 0 || video.rate == 0)
        return DEFAULT_FRAME_MICROSECONDS;
    const std::uint64_t rounded = (1'000'000ull * video.scale + video.rate / 2) / video.rate;
    return std::max<std::uint32_t>(Saturated32(rounded), 1);
}

std::uint64_t Units(const StreamHeader& stream, std::uint32_t size)
{
    return stream.type == StreamType::Audio && stream.sampleSize > 0 ? size / stream.sampleSize : 1;
}

std::uint32_t ChunkId(std::uint16_t stream, std::uint16_t suffix)
{
    return FourCC(static_cast<char>('0' + stream / 10 % 10), static_cast<char>('0' + stream % 10),
                  static_cast<char>(suffix & 0xFF), static_cast<char>(suffix >> 8));
}

std::uint64_t StreamListSize(const StreamHeader& stream, bool extended, std::uint32_t reserve)
{
    std::uint64_t size = 8 + 4 + 8 + STREAM_HEADER_SIZE + 8 + Padded(stream.strf.size());
    if (!stream.strd.empty())
        size += 8 + Padded(stream.strd.size());
    if (!stream.strn.empty())
        size += 8 + Padded(stream.strn.size());
    if (extended)
        size += 8 + SUPER_INDEX_HEADER + SUPER_INDEX_ENTRY * reserve;
    return size;
}

// The whole 'hdrl' list, its own header included.
std::uint64_t HeaderListSize(const AviHeaders& headers, const Selection& selection, bool extended,
                             std::uint32_t reserve)
{
    std::uint64_t size = 8 + 4 + 8 + MAIN_HEADER_SIZE;
    for (std::size_t s : selection.inputStreams)
        size += StreamListSize(headers.streams[s], extended, reserve);
    if (extended)
        size += 8 + 4 + 8 + EXTENDED_HEADER_SIZE;
    return size;
}

std::uint64_t StandardIndexSize(std::uint32_t entries)
{
    return 8 + STANDARD_INDEX_HEADER + STANDARD_INDEX_ENTRY * entries;
}

AviLayout Plan(const AviHeaders& headers, const Selection& selection, const WriterOptions& options,
               bool extended, std::uint32_t reserve)
{
    AviLayout layout;
    layout.extended = extended;
    layout.indexReserve = reserve;
    const std::size_t streamCount = selection.inputStreams.size();
    const std::uint64_t headerList = HeaderListSize(headers, selection, extended, reserve);

    SegmentPlan seg;
    std::uint64_t chunkBytes = 0;
    std::uint64_t indexBytes = 0;
    // RIFF header, movie list header, and in the first segment the header list and the old
    // index's header.
    const auto fixedPart = [&](const SegmentPlan& s) {
        const bool first = s.riffOffset == 0;
        return 12 + (first ? headerList : 0) + 12 + (first ? 8 : 0);
    };
    const auto open = [&](std::uint64_t offset, std::size_t firstChunk) {
        seg = SegmentPlan{};
        seg.riffOffset = offset;
        seg.firstChunk = firstChunk;
        seg.moviOffset = offset + 12 + (offset == 0 ? headerList : 0) + 8;
        seg.entries.assign(streamCount, 0);
        seg.durations.assign(streamCount, 0);
        seg.indexOffsets.assign(streamCount, 0);
        chunkBytes = 0;
        indexBytes = 0;
    };
    const auto close = [&](std::size_t endChunk) {
        seg.endChunk = endChunk;
        std::uint64_t indexAt = seg.moviOffset + 4 + chunkBytes;
        for (std::size_t s = 0; s < streamCount && extended; ++s) {
            if (seg.entries[s] == 0)
                continue;
            seg.indexOffsets[s] = indexAt;
            indexAt += StandardIndexSize(seg.entries[s]);
        }
        seg.moviSize = 4 + chunkBytes + indexBytes;
        const std::uint64_t oldIndex =
            seg.riffOffset == 0 ? OLD_INDEX_ENTRY * (endChunk - seg.firstChunk) : 0;
        const std::uint64_t total = fixedPart(seg) + chunkBytes + indexBytes + oldIndex;
        seg.riffSize = total - 8;
        layout.totalSize = seg.riffOffset + total;
        layout.segments.push_back(seg);
    };

    open(0, 0);
    for (std::size_t i = 0; i < selection.chunks.size(); ++i) {
        const PlannedChunk& c = selection.chunks[i];
        const std::uint64_t add = 8 + Padded(c.size);
        const auto indexGrowth = [&](const SegmentPlan& s) {
            return extended
                       ? STANDARD_INDEX_ENTRY + (s.entries[c.outStream] == 0 ? 8 + STANDARD_INDEX_HEADER : 0)
                       : 0;
        };
        const auto oldIndexGrowth = [](const SegmentPlan& s) {
            return s.riffOffset == 0 ? OLD_INDEX_ENTRY : 0;
        };
        const std::uint64_t current =
            fixedPart(seg) + chunkBytes + indexBytes + oldIndexGrowth(seg) * (i - seg.firstChunk);
        if (i > seg.firstChunk &&
            current + add + indexGrowth(seg) + oldIndexGrowth(seg) > options.riffLimit) {
            close(i);
            open(layout.totalSize, i);
        }
        chunkBytes += add;
        indexBytes += indexGrowth(seg);
        ++seg.entries[c.outStream];
        seg.durations[c.outStream] += Units(headers.streams[selection.inputStreams[c.outStream]], c.size);
    }
    close(selection.chunks.size());
    return layout;
}

// Collects bytes for the sink and remembers the first failure.
class Emitter
{
public:
    explicit Emitter(ByteSink& sink) : m_sink(sink) {}

    void Bytes(const void* data, std::size_t n) { m_ok = m_ok && m_sink.Write(data, n); }
    void U16(std::uint32_t v)
    {
        std::uint8_t b[2];
        Store16(b, v);
        Bytes(b, 2);
    }
    void U32(std::uint32_t v)
    {
        std::uint8_t b[4];
        Store32(b, v);
        Bytes(b, 4);
    }
    void U64(std::uint64_t v)
    {
        std::uint8_t b[8];
        Store64(b, v);
        Bytes(b, 8);
    }
    void Zeros(std::size_t n)
    {
        static const std::uint8_t zeros[64] = {};
        while (n > 0) {
            const std::size_t part = std::min(n, sizeof zeros);
            Bytes(zeros, part);
            n -= part;
        }
    }
    void Chunk(std::uint32_t id, const std::vector<std::uint8_t>& data)
    {
        U32(id);
        U32(static_cast<std::uint32_t>(data.size()));
        Bytes(data.data(), data.size());
        Zeros(data.size() & 1);
    }
    void ListHeader(std::uint32_t type, std::uint64_t fullSize)
    {
        U32(FourCC("LIST"));
        U32(static_cast<std::uint32_t>(fullSize - 8));
        U32(type);
    }
    bool Ok() const { return m_ok; }
    void Fail() { m_ok = false; }
    std::uint64_t Position() const { return m_sink.Position(); }
    ByteSink& Sink() { return m_sink; }

private:
    ByteSink& m_sink;
    bool m_ok = true;
};

struct StreamTotals
{
    std::uint64_t length = 0;
    std::uint32_t largestChunk = 0;
};

class Writer
{
public:
    Writer(const AviHeaders& headers, const Selection& selection, const WriterOptions& options,
           SourceReader& input, ByteSink& output)
        : m_headers(headers), m_selection(selection), m_options(options), m_input(input), m_out(output),
          m_layout(PlanLayout(headers, selection, options)), m_totals(selection.inputStreams.size())
    {
        for (const PlannedChunk& c : selection.chunks) {
            StreamTotals& t = m_totals[c.outStream];
            t.length += Units(Input(c.outStream), c.size);
            t.largestChunk = std::max(t.largestChunk, c.size);
        }
    }

    bool Run(std::string& error);

private:
    const StreamHeader& Input(std::size_t outStream) const
    {
        return m_headers.streams[m_selection.inputStreams[outStream]];
    }
    void HeaderList();
    void MainHeader();
    void StreamList(std::size_t outStream);
    void SuperIndex(std::size_t outStream);
    bool Segment(std::size_t index, std::uint64_t& framesDone, std::string& error);
    std::uint32_t IndexedId(std::size_t outStream, const SegmentPlan& seg) const;

    const AviHeaders& m_headers;
    const Selection& m_selection;
    const WriterOptions& m_options;
    SourceReader& m_input;
    Emitter m_out;
    AviLayout m_layout;
    std::vector<StreamTotals> m_totals;
};

void Writer::MainHeader()
{
    std::vector<std::uint8_t> avih(MAIN_HEADER_SIZE, 0);
    const std::vector<std::uint8_t>& in = m_headers.main.avih;
    const std::uint32_t microSeconds = m_headers.main.microSecPerFrame != 0
                                           ? m_headers.main.microSecPerFrame
                                           : FrameMicroseconds(Input(m_selection.videoStream));
    const std::uint32_t firstFrames = m_layout.segments.front().entries[m_selection.videoStream];
    std::uint32_t largest = 0;
    for (const StreamTotals& t : m_totals)
        largest = std::max(largest, t.largestChunk);
    Store32(avih.data(), microSeconds);
    Store32(avih.data() + 4, Load32(in.data() + 4)); // bytes per second, as the input said
    Store32(avih.data() + 12, AVIF_HASINDEX | (m_headers.main.flags & AVIF_ISINTERLEAVED));
    Store32(avih.data() + 16, firstFrames);
    Store32(avih.data() + 24, static_cast<std::uint32_t>(m_selection.inputStreams.size()));
    Store32(avih.data() + 28, largest);
    Store32(avih.data() + 32,
            static_cast<std::uint32_t>(m_options.width > 0 ? m_options.width : m_headers.main.width));
    Store32(avih.data() + 36,
            static_cast<std::uint32_t>(m_options.height > 0 ? m_options.height : m_headers.main.height));
    m_out.Chunk(FourCC("avih"), avih);
}

std::uint32_t Writer::IndexedId(std::size_t outStream, const SegmentPlan& seg) const
{
    for (std::size_t i = seg.firstChunk; i < seg.endChunk; ++i) {
        const PlannedChunk& c = m_selection.chunks[i];
        if (c.outStream == outStream)
            return ChunkId(c.outStream, c.suffix);
    }
    return ChunkId(static_cast<std::uint16_t>(outStream),
                   outStream == m_selection.videoStream ? SUFFIX_DC : SUFFIX_WB);
}

void Writer::SuperIndex(std::size_t outStream)
{
    const std::uint32_t reserve = m_layout.indexReserve;
    std::uint32_t used = 0;
    for (const SegmentPlan& seg : m_layout.segments)
        used += seg.entries[outStream] > 0;
    m_out.U32(FourCC("indx"));
    m_out.U32(static_cast<std::uint32_t>(SUPER_INDEX_HEADER + SUPER_INDEX_ENTRY * reserve));
    m_out.U16(4);
    m_out.Bytes("\0", 1);
    const std::uint8_t type = INDEX_OF_INDEXES;
    m_out.Bytes(&type, 1);
    m_out.U32(used);
    m_out.U32(IndexedId(outStream, m_layout.segments.front()));
    m_out.Zeros(12);
    for (const SegmentPlan& seg : m_layout.segments) {
        if (seg.entries[outStream] == 0)
            continue;
        m_out.U64(seg.indexOffsets[outStream]);
        m_out.U32(static_cast<std::uint32_t>(StandardIndexSize(seg.entries[outStream])));
        m_out.U32(static_cast<std::uint32_t>(seg.durations[outStream]));
    }
    m_out.Zeros(SUPER_INDEX_ENTRY * (reserve - used));
}

void Writer::StreamList(std::size_t outStream)
{
    const StreamHeader& in = Input(outStream);
    m_out.ListHeader(FourCC("strl"), StreamListSize(in, m_layout.extended, m_layout.indexReserve));
    std::vector<std::uint8_t> strh = in.strh;
    Store32(strh.data() + 16, 0); // initial frames
    Store32(strh.data() + 28, 0); // start
    Store32(strh.data() + 32, Saturated32(m_totals[outStream].length));
    Store32(strh.data() + 36, m_totals[outStream].largestChunk);
    if (outStream == m_selection.videoStream && m_options.width > 0 && m_options.height > 0) {
        Store16(strh.data() + 48, 0);
        Store16(strh.data() + 50, 0);
        Store16(strh.data() + 52, static_cast<std::uint32_t>(std::min(m_options.width, 32767)));
        Store16(strh.data() + 54, static_cast<std::uint32_t>(std::min(m_options.height, 32767)));
    }
    m_out.Chunk(FourCC("strh"), strh);
    m_out.Chunk(FourCC("strf"), in.strf);
    if (!in.strd.empty())
        m_out.Chunk(FourCC("strd"), in.strd);
    if (!in.strn.empty())
        m_out.Chunk(FourCC("strn"), in.strn);
    if (m_layout.extended)
        SuperIndex(outStream);
}

void Writer::HeaderList()
{
    m_out.ListHeader(FourCC("hdrl"),
                     HeaderListSize(m_headers, m_selection, m_layout.extended, m_layout.indexReserve));
    MainHeader();
    for (std::size_t s = 0; s < m_selection.inputStreams.size(); ++s)
        StreamList(s);
    if (m_layout.extended) {
        m_out.ListHeader(FourCC("odml"), 8 + 4 + 8 + EXTENDED_HEADER_SIZE);
        std::vector<std::uint8_t> dmlh(EXTENDED_HEADER_SIZE, 0);
        Store32(dmlh.data(), Saturated32(m_totals[m_selection.videoStream].length));
        m_out.Chunk(FourCC("dmlh"), dmlh);
    }
}

bool Writer::Segment(std::size_t index, std::uint64_t& framesDone, std::string& error)
{
    const SegmentPlan& seg = m_layout.segments[index];
    m_out.U32(FourCC("RIFF"));
    m_out.U32(static_cast<std::uint32_t>(seg.riffSize));
    m_out.U32(index == 0 ? FourCC("AVI ") : FourCC("AVIX"));
    if (index == 0)
        HeaderList();
    m_out.ListHeader(FourCC("movi"), seg.moviSize + 8);

    // Chunks that follow each other in the input with the very header they get here are
    // copied in one piece, headers and padding included.
    std::uint64_t runStart = 0;
    std::uint64_t runLength = 0;
    bool copied = true;
    const auto flushRun = [&] {
        if (runLength > 0 && m_out.Ok())
            copied = copied && m_out.Sink().CopyFrom(m_input, runStart, runLength);
        runLength = 0;
    };
    std::vector<std::uint64_t> dataOffsets;
    dataOffsets.reserve(seg.endChunk - seg.firstChunk);
    std::uint64_t position = m_out.Position();
    for (std::size_t i = seg.firstChunk; i < seg.endChunk && m_out.Ok() && copied; ++i) {
        const PlannedChunk& c = m_selection.chunks[i];
        std::uint8_t header[8];
        Store32(header, ChunkId(c.outStream, c.suffix));
        Store32(header + 4, c.size);
        const std::uint64_t length = 8 + Padded(c.size);
        const std::uint8_t* in = m_input.Peek(c.dataOffset - 8, 8);
        bool asIs = in && std::equal(header, header + 8, in);
        if (asIs && (c.size & 1)) {
            const std::uint8_t* pad = m_input.Peek(c.dataOffset + c.size, 1);
            asIs = pad && *pad == 0;
        }
        if (asIs && runLength > 0 && runStart + runLength == c.dataOffset - 8 && runLength < MAX_RUN) {
            runLength += length;
        } else {
            flushRun();
            if (asIs) {
                runStart = c.dataOffset - 8;
                runLength = length;
            } else {
                m_out.Bytes(header, 8);
                copied = m_out.Ok() && m_out.Sink().CopyFrom(m_input, c.dataOffset, c.size);
                m_out.Zeros(c.size & 1);
            }
        }
        dataOffsets.push_back(position + 8);
        position += length;
        if (c.outStream == m_selection.videoStream && m_options.progress)
            m_options.progress(++framesDone, m_totals[m_selection.videoStream].length);
    }
    flushRun();
    if (!copied) {
        error = "cannot read the input or write the output";
        return false;
    }
    if (!m_out.Ok()) {
        error = "cannot write the output";
        return false;
    }
    if (m_layout.extended) {
        for (std::size_t s = 0; s < seg.entries.size(); ++s) {
            if (seg.entries[s] == 0)
                continue;
            m_out.U32(
                FourCC('i', 'x', static_cast<char>('0' + s / 10 % 10), static_cast<char>('0' + s % 10)));
            m_out.U32(static_cast<std::uint32_t>(StandardIndexSize(seg.entries[s]) - 8));
            m_out.U16(2);
            m_out.Bytes("\0", 1);
            const std::uint8_t type = INDEX_OF_CHUNKS;
            m_out.Bytes(&type, 1);
            m_out.U32(seg.entries[s]);
            m_out.U32(IndexedId(s, seg));
            m_out.U64(seg.moviOffset);
            m_out.U32(0);
            for (std::size_t i = seg.firstChunk; i < seg.endChunk; ++i) {
                const PlannedChunk& c = m_selection.chunks[i];
                if (c.outStream != s)
                    continue;
                m_out.U32(static_cast<std::uint32_t>(dataOffsets[i - seg.firstChunk] - seg.moviOffset));
                m_out.U32(c.size | (c.key ? 0 : DELTA_FRAME_BIT));
            }
        }
    }
    if (index == 0) {
        m_out.U32(FourCC("idx1"));
        m_out.U32(static_cast<std::uint32_t>(OLD_INDEX_ENTRY * (seg.endChunk - seg.firstChunk)));
        for (std::size_t i = seg.firstChunk; i < seg.endChunk; ++i) {
            const PlannedChunk& c = m_selection.chunks[i];
            m_out.U32(ChunkId(c.outStream, c.suffix));
            m_out.U32(c.key ? AVIIF_KEYFRAME : 0);
            m_out.U32(static_cast<std::uint32_t>(dataOffsets[i - seg.firstChunk] - 8 - seg.moviOffset));
            m_out.U32(c.size);
        }
    }
    if (!m_out.Ok()) {
        error = "cannot write the output";
        return false;
    }
    if (m_out.Position() != seg.riffOffset + 8 + seg.riffSize) {
        error = "the written segment does not match its plan";
        return false;
    }
    return true;
}

bool Writer::Run(std::string& error)
{
    if (m_selection.inputStreams.empty() || m_selection.chunks.empty()) {
        error = "nothing to write";
        return false;
    }
    std::uint64_t framesDone = 0;
    for (std::size_t i = 0; i < m_layout.segments.size(); ++i)
        if (!Segment(i, framesDone, error))
            return false;
    return true;
}

} // namespace

AviLayout PlanLayout(const AviHeaders& headers, const Selection& selection, const WriterOptions& options)
{
    AviLayout layout = Plan(headers, selection, options, false, 0);
    if (layout.segments.size() <= 1)
        return layout;
    // The super indexes in the header list grow with the segment count, which may in turn
    // grow with them; reserving never shrinks, so this settles.
    std::uint32_t reserve = static_cast<std::uint32_t>(layout.segments.size());
    for (;;) {
        layout = Plan(headers, selection, options, true, reserve);
        if (layout.segments.size() <= reserve)
            return layout;
        reserve = static_cast<std::uint32_t>(layout.segments.size());
    }
}

bool WriteAvi(const AviHeaders& headers, const Selection& selection, const WriterOptions& options,
              SourceReader& input, ByteSink& output, std::string& error)
{
    Writer writer(headers, selection, options, input, output);
    return writer.Run(error);
}

} // namespace pg::clipmend
