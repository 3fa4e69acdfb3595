#include "FileSink.h"

#include <algorithm>
#include <cstring>

namespace pg::clipmend {

FileSink::FileSink(FilePtr file) : m_file(std::move(file))
{
    for (std::vector<std::uint8_t>& buffer : m_buffers)
        buffer.resize(BUFFER_SIZE);
    if (m_free.Usable() && m_handed.Usable()) {
        m_writer = std::make_unique<Thread>([this] { WriteHanded(); });
        if (!m_writer->Started())
            m_writer.reset();
    }
}

FileSink::~FileSink()
{
    Stop();
}

std::unique_ptr<FileSink> FileSink::Create(const std::string& path)
{
    FilePtr file(std::fopen(path.c_str(), "wb"));
    if (!file)
        return nullptr;
    // Whole buffers go to the file; the C runtime's own would only copy them again.
    std::setvbuf(file.get(), nullptr, _IONBF, 0);
    return std::unique_ptr<FileSink>(new FileSink(std::move(file)));
}

void FileSink::Reserve(std::uint64_t n)
{
    if (m_written + n > m_reserved) {
        m_reserved = m_written + n + RESERVE_STEP;
        ReserveSpace(m_file.get(), m_written, m_reserved - m_written);
    }
}

void FileSink::WriteOut(const std::uint8_t* data, std::size_t n)
{
    if (m_failed)
        return;
    Reserve(n);
    if (std::fwrite(data, 1, n, m_file.get()) == n)
        m_written += n;
    else
        m_failed = true;
}

void FileSink::CopyOut(const Job& job)
{
    if (m_failed)
        return;
    Reserve(job.length);
    if (CopyInSystem(job.from, job.offset, m_file.get(), job.length))
        m_written += job.length;
    else
        m_failed = true;
}

void FileSink::WriteHanded()
{
    for (std::size_t next = 0;; next = (next + 1) % BUFFERS) {
        m_handed.Acquire();
        const Job& job = m_jobs[next];
        if (job.length == 0)
            return;
        if (job.from)
            CopyOut(job);
        else
            WriteOut(m_buffers[next].data(), static_cast<std::size_t>(job.length));
        m_free.Release();
    }
}

void FileSink::HandJob(const Job& job)
{
    m_jobs[m_filling] = job;
    m_handed.Release();
    m_filling = (m_filling + 1) % BUFFERS;
    m_free.Acquire();
}

void FileSink::Hand()
{
    if (m_used == 0)
        return;
    if (!m_writer) {
        WriteOut(m_buffers[m_filling].data(), m_used);
        m_used = 0;
        return;
    }
    HandJob(Job{m_used, nullptr, 0});
    m_used = 0;
}

void FileSink::Stop()
{
    if (m_file)
        Hand();
    if (!m_writer)
        return;
    m_jobs[m_filling] = Job{};
    m_handed.Release();
    m_writer.reset();
}

bool FileSink::Write(const void* data, std::size_t n)
{
    if (m_failed || !m_file)
        return false;
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    return Fill(n, [&](std::uint8_t* to, std::size_t part) {
        std::memcpy(to, bytes, part);
        bytes += part;
        return true;
    });
}

std::uint8_t* FileSink::Room(std::size_t n)
{
    m_roomInBuffer = n <= BUFFER_SIZE;
    if (!m_roomInBuffer)
        return ByteSink::Room(n);
    if (BUFFER_SIZE - m_used < n)
        Hand();
    return m_buffers[m_filling].data() + m_used;
}

bool FileSink::Commit(std::size_t n)
{
    if (!m_roomInBuffer)
        return ByteSink::Commit(n);
    m_used += n;
    m_position += n;
    return !m_failed && m_file;
}

bool FileSink::CopyFrom(SourceReader& reader, std::uint64_t offset, std::uint64_t n)
{
    if (reader.Mapped())
        return ByteSink::CopyFrom(reader, offset, n);
    if (m_failed || !m_file)
        return false;
    return Fill(n, [&](std::uint8_t* to, std::size_t part) {
        if (reader.ReadAt(offset, to, part) != part)
            return false;
        offset += part;
        return true;
    });
}

bool FileSink::CopyAside(SourceReader& reader, std::uint64_t offset, std::uint64_t n)
{
    if (!m_writer || reader.Mapped() || !reader.Stream() || !SystemCopies() || offset > reader.Size() ||
        n > reader.Size() - offset)
        return CopyFrom(reader, offset, n);
    if (m_failed || !m_file)
        return false;
    if (n == 0)
        return true;
    Hand();
    HandJob(Job{n, reader.Stream(), offset});
    m_position += n;
    return !m_failed;
}

bool FileSink::Close()
{
    if (!m_file)
        return false;
    Stop();
    if (m_reserved > m_written)
        ReleaseReserve(m_file.get(), m_written);
    const bool closed = std::fclose(m_file.release()) == 0;
    return closed && !m_failed;
}

} // namespace pg::clipmend
