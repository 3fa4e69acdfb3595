#include "UnitCopier.h"

#include <algorithm>
#include <array>

namespace pg::clipmend::mpeg {

namespace {

constexpr std::int64_t TIMESTAMP_MASK = (std::int64_t{1} << 33) - 1;
constexpr std::uint64_t RUN_STEP = 4 << 20;

} // namespace

UnitCopier::UnitCopier(const MpegSalvage& salvage, const MpegPlan& plan, const OutputOptions& options,
                       SourceReader& input, ByteSink& output)
    : m_salvage(salvage), m_plan(plan), m_options(options), m_in(input), m_out(output),
      m_placeOf(salvage.streams.size(), 0)
{
    for (std::size_t s : plan.streams) {
        Stream stream;
        stream.index = s;
        m_streams.push_back(stream);
        m_placeOf[s] = m_streams.size();
    }
    Extend(plan.units);
}

void UnitCopier::Extend(const std::vector<std::size_t>& units)
{
    m_state.resize(m_salvage.units.units.size(), UnitState::WAITING);
    for (std::size_t i : units) {
        const std::uint32_t stream = m_salvage.units.units[i].stream;
        if (stream < m_placeOf.size() && m_placeOf[stream] > 0)
            m_streams[m_placeOf[stream] - 1].units.push_back(i);
    }
}

bool UnitCopier::PrepareStart(std::string& error)
{
    const std::vector<Unit>& units = m_salvage.units.units;
    const std::vector<Piece>& pieces = m_salvage.units.pieces;
    // Units lie in the file in their order, but for bytes a walk that found its way again after
    // a packet cut short read twice: those go afresh where the copying meets their stream next.
    m_first = m_in.Size();
    for (const Stream& stream : m_streams)
        for (std::size_t index : stream.units)
            if (units[index].pieceCount > 0)
                m_first = std::min<std::uint64_t>(m_first, pieces[units[index].firstPiece].offset);
    if (m_streams.empty() || m_streams.front().units.empty() || m_first == m_in.Size()) {
        error = "nothing to write";
        return false;
    }
    m_firstVideo = m_streams.front().units.front();

    // A decoder needs the sequence header before the first picture.
    const Bytes& sequence = m_salvage.sequenceHeaders[m_plan.streams.front()];
    const Unit& firstPicture = units[m_firstVideo];
    if (!sequence.empty() && firstPicture.size >= 4 && firstPicture.pieceCount > 0) {
        const Piece& piece = pieces[firstPicture.firstPiece];
        const std::uint8_t* data = m_in.Peek(piece.offset, std::min<std::size_t>(4, piece.size));
        if (data && !(piece.size >= 4 && data[0] == 0 && data[1] == 0 && data[2] == 1 && data[3] == 0xB3))
            m_head = sequence;
    }
    return true;
}

bool UnitCopier::PrepareEnd(std::string& error)
{
    const std::vector<Unit>& units = m_salvage.units.units;
    const std::vector<Piece>& pieces = m_salvage.units.pieces;
    m_ended = true;
    m_last = 0;
    for (const Stream& stream : m_streams)
        for (std::size_t index : stream.units)
            if (units[index].pieceCount > 0)
                m_last = std::max<std::uint64_t>(
                    m_last, pieces[units[index].firstPiece + units[index].pieceCount - 1].offset);
    m_lastVideo = m_streams.front().units.back();
    // The end code tells a decoder that the last picture is whole.
    const MpegStreamInfo& video = m_salvage.streams[m_plan.streams.front()];
    const Unit& lastPicture = units[m_lastVideo];
    if (lastPicture.size >= 4) {
        std::array<std::uint8_t, 5> edge{};
        const std::size_t tail = std::min<std::size_t>(lastPicture.size, edge.size());
        std::size_t filled = 0;
        for (std::uint32_t p = lastPicture.pieceCount; p-- > 0 && filled < tail;) {
            const Piece& piece = pieces[lastPicture.firstPiece + p];
            const std::size_t take = std::min<std::size_t>(piece.size, tail - filled);
            const std::uint8_t* data = m_in.Peek(piece.offset + piece.size - take, take);
            if (!data) {
                error = "cannot read the input";
                return false;
            }
            std::copy_n(data, take, edge.begin() + static_cast<std::ptrdiff_t>(tail - filled - take));
            filled += take;
        }
        if (!EndsStream(video.codec, edge.data(), tail))
            m_tail = video.codec == Codec::H264   ? Bytes{0, 0, 1, 0x0B}
                     : video.codec == Codec::HEVC ? Bytes{0, 0, 1, 0x4A, 0x01}
                                                  : Bytes{0, 0, 1, 0xB7};
    }
    return true;
}

bool UnitCopier::NeedsRepacking(std::size_t unit) const
{
    return (unit == m_firstVideo && !m_head.empty()) || (unit == m_lastVideo && !m_tail.empty());
}

bool UnitCopier::Copiable(const std::vector<Met>& met) const
{
    return std::none_of(met.begin(), met.end(), [this](const Met& m) { return NeedsRepacking(m.unit); });
}

void UnitCopier::TakePieces(Stream& stream, std::uint64_t end, std::vector<Met>& met)
{
    // Looked at for every packet of a written stream: the walk's own place is kept in locals.
    met.clear();
    const std::vector<Unit>& units = m_salvage.units.units;
    const Piece* pieces = m_salvage.units.pieces.data();
    std::size_t at = stream.nextUnit;
    std::uint32_t number = stream.nextPiece;
    while (at < stream.units.size()) {
        const std::size_t index = stream.units[at];
        const Unit& unit = units[index];
        if (m_state[index] == UnitState::REPACKED || number >= unit.pieceCount) {
            ++at;
            number = 0;
            continue;
        }
        const Piece piece = pieces[unit.firstPiece + number];
        if (piece.offset >= end)
            break;
        const bool last = number + 1 == unit.pieceCount;
        // Filled in place: a whole Met built aside and copied in stalls on its own stores.
        Met& m = met.emplace_back();
        m.unit = index;
        m.piece = piece;
        m.last = last;
        m.at = at;
        m.number = number;
        number = last ? 0 : number + 1;
        at += last ? 1 : 0;
    }
    stream.nextUnit = at;
    stream.nextPiece = number;
}

bool UnitCopier::PassContinued(Stream& stream, std::uint64_t from, std::uint64_t end)
{
    constexpr std::uint32_t PAST_START = 4; // the pieces that may hold a start code's last byte
    if (stream.nextUnit >= stream.units.size())
        return false;
    const std::vector<Unit>& units = m_salvage.units.units;
    const Piece* pieces = m_salvage.units.pieces.data();
    const std::size_t index = stream.units[stream.nextUnit];
    const Unit& unit = units[index];
    const std::uint32_t number = stream.nextPiece;
    if (m_state[index] != UnitState::COPIED || number < PAST_START || number >= unit.pieceCount)
        return false;
    const Piece piece = pieces[unit.firstPiece + number];
    if (piece.offset != from || piece.offset + piece.size != end)
        return false;
    const bool last = number + 1 == unit.pieceCount;
    // The long way would also meet the next unit's first piece, were it to start before end.
    for (std::size_t at = stream.nextUnit + 1; last && at < stream.units.size(); ++at) {
        const Unit& next = units[stream.units[at]];
        if (m_state[stream.units[at]] == UnitState::REPACKED || next.pieceCount == 0)
            continue;
        if (pieces[next.firstPiece].offset < end)
            return false;
        break;
    }
    stream.nextPiece = last ? 0 : number + 1;
    if (last) {
        ++stream.nextUnit;
        Finished(index);
    }
    return true;
}

bool UnitCopier::PicturesTimed(std::size_t place, const std::vector<Met>& met, bool timed) const
{
    if (place != 0)
        return true; // sound frames follow on from the one before; readers time them so
    const auto starts =
        std::count_if(met.begin(), met.end(), [this](const Met& m) { return StartCodeEndsIn(m); });
    return starts == 0 || (starts == 1 && timed);
}

bool UnitCopier::StartCodeEndsIn(const Met& m) const
{
    constexpr std::uint64_t LAST_BYTE = 3;
    if (m.number > LAST_BYTE)
        return false;
    const Unit& unit = m_salvage.units.units[m.unit];
    std::uint64_t before = 0;
    for (std::uint32_t p = 0; p < m.number; ++p)
        before += m_salvage.units.pieces[unit.firstPiece + p].size;
    return before <= LAST_BYTE && LAST_BYTE < before + m.piece.size;
}

bool UnitCopier::Tiles(const std::vector<Met>& met, std::uint64_t from, std::uint64_t end) const
{
    for (const Met& m : met) {
        if (m.piece.offset != from || m_state[m.unit] == UnitState::REPACKED)
            return false;
        from = m.piece.offset + m.piece.size;
    }
    return from == end;
}

void UnitCopier::Finished(std::size_t unit)
{
    if (m_salvage.units.units[unit].stream == m_streams.front().index && m_options.progress)
        m_options.progress(++m_videoDone, m_streams.front().units.size());
}

std::vector<UnitCopier::Repacked> UnitCopier::RepackUnits(Stream& stream, std::size_t at, std::uint64_t end)
{
    m_windowMoved = true;
    std::vector<Repacked> repacked;
    const bool pictures = stream.index == m_streams.front().index;
    for (std::size_t u = at; u < stream.units.size() && !m_readFailed; ++u) {
        const std::size_t index = stream.units[u];
        const Unit& unit = m_salvage.units.units[index];
        if (m_state[index] != UnitState::WAITING ||
            (u > at && unit.pieceCount > 0 && m_salvage.units.pieces[unit.firstPiece].offset >= end))
            break;
        // Each picture has its own times; sound frames are timed by the first.
        if (repacked.empty() || pictures)
            repacked.push_back({index, {}});
        Bytes& bytes = repacked.back().bytes;
        if (index == m_firstVideo)
            bytes.insert(bytes.end(), m_head.begin(), m_head.end());
        for (std::uint32_t p = 0; p < unit.pieceCount; ++p)
            Append(m_salvage.units.pieces[unit.firstPiece + p], bytes);
        if (index == m_lastVideo)
            bytes.insert(bytes.end(), m_tail.begin(), m_tail.end());
        m_state[index] = UnitState::REPACKED;
        Finished(index);
    }
    return repacked;
}

void UnitCopier::Append(const Piece& piece, Bytes& bytes)
{
    // A piece may be longer than one look at the input holds.
    for (std::uint64_t done = 0; done < piece.size && !m_readFailed;) {
        std::size_t available = 0;
        const std::uint8_t* data = m_in.PeekUpTo(piece.offset + done, piece.size - done, available);
        m_readFailed = !data || available == 0;
        if (!m_readFailed)
            bytes.insert(bytes.end(), data, data + available);
        done += available;
    }
}

UnitCopier::Bytes UnitCopier::ContinuedBytes(const std::vector<Met>& met)
{
    Bytes continued;
    for (const Met& m : met) {
        if (m_state[m.unit] != UnitState::COPIED)
            continue;
        Append(m.piece, continued);
        if (m.last)
            Finished(m.unit);
    }
    return continued;
}

void UnitCopier::Copied(const std::vector<Met>& met)
{
    for (const Met& m : met)
        m_state[m.unit] = UnitState::COPIED;
    Passed(met);
}

void UnitCopier::Passed(const std::vector<Met>& met)
{
    for (const Met& m : met)
        if (m.last)
            Finished(m.unit);
}

const UnitCopier::Bytes& UnitCopier::HeadOf(const Met& m) const
{
    static const Bytes none;
    return m.unit == m_firstVideo && m.number == 0 ? m_head : none;
}

const UnitCopier::Bytes& UnitCopier::TailOf(const Met& m) const
{
    static const Bytes none;
    return m.unit == m_lastVideo && m.last ? m_tail : none;
}

std::int64_t UnitCopier::Pts(const Unit& unit) const
{
    return unit.pts & TIMESTAMP_MASK;
}

const std::int64_t* UnitCopier::Dts(const Unit& unit, std::int64_t& dts) const
{
    dts = unit.dts & TIMESTAMP_MASK;
    return unit.stream == m_streams.front().index && unit.dts != unit.pts ? &dts : nullptr;
}

std::size_t UnitCopier::LostAfter(std::uint64_t offset) const
{
    const std::vector<ByteRange>& lost = m_salvage.lost;
    return static_cast<std::size_t>(
        std::partition_point(lost.begin(), lost.end(),
                             [&](const ByteRange& range) { return range.end <= offset; }) -
        lost.begin());
}

std::uint64_t UnitCopier::ResumedBefore(std::uint64_t offset) const
{
    const std::size_t after = LostAfter(offset);
    return after == 0 ? 0 : m_salvage.lost[after - 1].end;
}

void UnitCopier::Keep(std::uint64_t pos, std::uint64_t n)
{
    if (m_runEnd != pos) {
        FlushRun();
        m_runStart = pos;
    }
    m_runEnd = pos + n;
    // A long run goes out in steps, so that its copying overlaps the walk through what follows.
    if (m_runEnd - m_runStart >= RUN_STEP)
        FlushRun();
}

void UnitCopier::FlushRun()
{
    if (m_runEnd > m_runStart && !m_writeFailed) {
        m_writeFailed = !m_out.CopyAside(m_in, m_runStart, m_runEnd - m_runStart);
        m_windowMoved = true;
    }
    m_runStart = m_runEnd = 0;
}

void UnitCopier::Put(const std::uint8_t* data, std::size_t size)
{
    FlushRun();
    m_writeFailed = m_writeFailed || !m_out.Write(data, size);
}

bool UnitCopier::Failed(std::string& error) const
{
    if (m_readFailed || m_writeFailed)
        error = m_readFailed ? "cannot read the input" : "cannot write the output";
    return m_readFailed || m_writeFailed;
}

} // namespace pg::clipmend::mpeg
