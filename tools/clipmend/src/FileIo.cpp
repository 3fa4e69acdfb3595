#include "FileIo.h"

#include <algorithm>
#include <cstring>

namespace pg::clipmend {

namespace {

bool Seek64(std::FILE* file, std::uint64_t offset, int origin)
{
#if defined(_WIN32)
    return _fseeki64(file, static_cast<long long>(offset), origin) == 0;
#else
    return fseeko(file, static_cast<off_t>(offset), origin) == 0;
#endif
}

bool Tell64(std::FILE* file, std::uint64_t& offset)
{
#if defined(_WIN32)
    const long long position = _ftelli64(file);
#else
    const off_t position = ftello(file);
#endif
    if (position < 0)
        return false;
    offset = static_cast<std::uint64_t>(position);
    return true;
}

} // namespace

const std::uint8_t* ByteSource::Map(std::uint64_t, std::size_t, std::size_t& available)
{
    available = 0;
    return nullptr;
}

std::unique_ptr<FileSource> FileSource::Open(const std::string& path)
{
    return FromStream(FilePtr(std::fopen(path.c_str(), "rb")));
}

std::unique_ptr<FileSource> FileSource::FromStream(FilePtr file)
{
    if (!file)
        return nullptr;
    // Reads go straight into the caller's window; a second buffer would only copy.
    std::setvbuf(file.get(), nullptr, _IONBF, 0);
    std::uint64_t size = 0;
    if (!Seek64(file.get(), 0, SEEK_END) || !Tell64(file.get(), size) || !Seek64(file.get(), 0, SEEK_SET))
        return nullptr;
    return std::unique_ptr<FileSource>(new FileSource(std::move(file), size));
}

std::size_t FileSource::ReadAt(std::uint64_t offset, void* buffer, std::size_t n)
{
    if (offset >= m_size)
        return 0;
    n = static_cast<std::size_t>(std::min<std::uint64_t>(n, m_size - offset));
    if (offset != m_position) {
        if (!Seek64(m_file.get(), offset, SEEK_SET))
            return 0;
        m_position = offset;
    }
    const std::size_t got = std::fread(buffer, 1, n, m_file.get());
    m_position += got;
    if (got < n) {
        // After a short read the stream position is not to be trusted.
        std::clearerr(m_file.get());
        m_position = UINT64_MAX;
    }
    return got;
}

std::size_t MemorySource::ReadAt(std::uint64_t offset, void* buffer, std::size_t n)
{
    if (offset >= m_size)
        return 0;
    n = static_cast<std::size_t>(std::min<std::uint64_t>(n, m_size - offset));
    std::memcpy(buffer, m_data + offset, n);
    return n;
}

const std::uint8_t* MemorySource::Map(std::uint64_t offset, std::size_t n, std::size_t& available)
{
    available = 0;
    if (!m_mapped || offset >= m_size)
        return nullptr;
    available = static_cast<std::size_t>(std::min<std::uint64_t>(n, m_size - offset));
    return m_data + offset;
}

const std::uint8_t* MappedSource::Map(std::uint64_t offset, std::size_t n, std::size_t& available)
{
    available = 0;
    if (offset >= m_size)
        return nullptr;
    n = static_cast<std::size_t>(std::min<std::uint64_t>(n, m_size - offset));
    if (!m_view || offset < m_viewStart || offset + n > m_viewStart + m_viewLength) {
        UnmapCurrent();
        const std::uint64_t start = offset - offset % m_alignment;
        const std::uint64_t length = std::min(m_size - start, std::max(m_viewSize, offset - start + n));
        m_view = MapView(start, static_cast<std::size_t>(length));
        if (!m_view)
            return nullptr;
        m_viewStart = start;
        m_viewLength = static_cast<std::size_t>(length);
    }
    available = static_cast<std::size_t>(std::min<std::uint64_t>(n, m_viewStart + m_viewLength - offset));
    return m_view + (offset - m_viewStart);
}

std::size_t MappedSource::ReadAt(std::uint64_t offset, void* buffer, std::size_t n)
{
    std::size_t done = 0;
    while (done < n) {
        std::size_t available = 0;
        const std::uint8_t* p = Map(offset + done, n - done, available);
        if (!p || available == 0)
            break;
        std::memcpy(static_cast<std::uint8_t*>(buffer) + done, p, available);
        done += available;
    }
    return done;
}

void MappedSource::UnmapCurrent()
{
    if (m_view)
        UnmapView(m_view, m_viewLength);
    m_view = nullptr;
}

SourceReader::SourceReader(ByteSource& source, std::size_t windowSize, ReadAhead* ahead)
    : m_source(source), m_size(source.Size()), m_mapped(source.Mapped()),
      m_windowSize(std::max<std::size_t>(windowSize, 64)), m_ahead(m_mapped ? nullptr : ahead)
{
    if (!m_mapped)
        m_buffer.resize(CARRY + m_windowSize);
}

SourceReader::~SourceReader()
{
    WaitAhead();
}

void SourceReader::WaitAhead()
{
    if (m_aheadStarted)
        m_aheadLength = m_ahead->Finish();
    m_aheadStarted = false;
}

bool SourceReader::Fill(std::uint64_t offset, std::size_t needed)
{
    const std::uint64_t end = m_windowStart + m_windowLength;
    const std::size_t carried = std::min(CARRY, m_windowLength);
    if (!m_window || offset + carried < end || offset + needed > end + m_windowSize || end >= m_size) {
        // A look elsewhere: the window starts at it.
        WaitAhead();
        m_aheadHeld = false;
        m_onward = 0;
        m_window = m_buffer.data() + CARRY;
        m_windowStart = offset;
        m_windowLength = m_source.ReadAt(offset, m_buffer.data() + CARRY, m_windowSize);
    } else {
        // The walk moves on: the next stretch follows the window's last bytes, as walks look
        // back a little at the rest of a packet whose end they have just passed.
        // Fresh memory costs a fault per page: the second buffer is made once a walk needs it.
        m_nextBuffer.resize(CARRY + m_windowSize);
        std::size_t length = 0;
        if (m_aheadHeld) {
            WaitAhead();
            length = m_aheadLength;
        } else {
            length = m_source.ReadAt(end, m_nextBuffer.data() + CARRY, m_windowSize);
        }
        m_aheadHeld = false;
        std::uint8_t* data = m_nextBuffer.data() + CARRY - carried;
        std::memcpy(data, m_window + (m_windowLength - carried), carried);
        m_buffer.swap(m_nextBuffer);
        m_window = data;
        m_windowStart = end - carried;
        m_windowLength = carried + length;
        // The stretch after this one is read while this one is used, once the looks have moved
        // on twice in a row: looks that go back and forth would only wait for what they never use.
        const std::uint64_t next = m_windowStart + m_windowLength;
        ++m_onward;
        if (m_ahead && m_onward >= 2 && length > 0 && next < m_size) {
            m_ahead->Start(m_source, next, m_nextBuffer.data() + CARRY, m_windowSize);
            m_aheadStarted = true;
            m_aheadHeld = true;
        }
    }
    return offset < m_windowStart + m_windowLength;
}

void SourceReader::StopReadingAhead()
{
    WaitAhead();
    m_aheadHeld = false;
    m_ahead = nullptr;
}

std::size_t SourceReader::ReadAt(std::uint64_t offset, void* buffer, std::size_t n)
{
    // One read of the source at a time.
    WaitAhead();
    return m_source.ReadAt(offset, buffer, n);
}

const std::uint8_t* SourceReader::Peek(std::uint64_t offset, std::size_t n)
{
    if (n > WindowSize() || offset > m_size || n > m_size - offset)
        return nullptr;
    std::size_t available = 0;
    const std::uint8_t* p = PeekUpTo(offset, n, available);
    return available == n ? p : nullptr;
}

const std::uint8_t* SourceReader::PeekUpTo(std::uint64_t offset, std::size_t n, std::size_t& available)
{
    available = 0;
    if (offset >= m_size)
        return nullptr;
    n = static_cast<std::size_t>(std::min<std::uint64_t>({n, WindowSize(), m_size - offset}));
    if (m_mapped)
        return m_source.Map(offset, n, available);
    const bool inside = m_window && offset >= m_windowStart && offset - m_windowStart + n <= m_windowLength;
    if (!inside && !Fill(offset, n))
        return nullptr;
    const std::size_t skip = static_cast<std::size_t>(offset - m_windowStart);
    available = std::min(n, m_windowLength - skip);
    return m_window + skip;
}

const std::uint8_t* SourceReader::PeekAhead(std::uint64_t offset, std::size_t minimum, std::size_t& available)
{
    if (!m_mapped && m_window && offset >= m_windowStart && offset - m_windowStart < m_windowLength) {
        const std::size_t skip = static_cast<std::size_t>(offset - m_windowStart);
        const std::size_t left = m_windowLength - skip;
        if (left >= minimum || m_windowStart + m_windowLength == m_size) {
            available = left;
            return m_window + skip;
        }
    }
    available = 0;
    if (m_mapped || offset >= m_size)
        return PeekUpTo(offset, WindowSize(), available);
    // A scan takes what the window holds, which may start a little before offset.
    if (!Fill(offset, std::min<std::size_t>(minimum, m_windowSize)))
        return nullptr;
    available = static_cast<std::size_t>(m_windowStart + m_windowLength - offset);
    return m_window + (offset - m_windowStart);
}

std::uint8_t* ByteSink::Room(std::size_t n)
{
    if (m_room.size() < n)
        m_room.resize(n);
    return m_room.data();
}

bool ByteSink::Commit(std::size_t n)
{
    return Write(m_room.data(), n);
}

bool MemorySink::Write(const void* data, std::size_t n)
{
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    m_bytes.insert(m_bytes.end(), bytes, bytes + n);
    return true;
}

bool ByteSink::CopyFrom(SourceReader& reader, std::uint64_t offset, std::uint64_t n)
{
    while (n > 0) {
        std::size_t available = 0;
        const std::uint8_t* p = reader.PeekUpTo(
            offset, static_cast<std::size_t>(std::min<std::uint64_t>(n, reader.WindowSize())), available);
        if (!p || available == 0 || !Write(p, available))
            return false;
        offset += available;
        n -= available;
    }
    return true;
}

} // namespace pg::clipmend
