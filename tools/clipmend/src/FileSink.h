#pragma once
// The output file. The system's copying of the bytes into the file costs about as much as all
// the rest of a run, so a second thread does it, one buffer behind the one being filled.
#include "FileIo.h"
#include "Platform.h"

#include <algorithm>
#include <array>
#include <atomic>

namespace pg::clipmend {

// Buffered writer of a new file; Close reports whether every byte reached the file.
class FileSink final : public ByteSink
{
public:
    static std::unique_ptr<FileSink> Create(const std::string& path);
    ~FileSink() override;
    FileSink(const FileSink&) = delete;
    FileSink& operator=(const FileSink&) = delete;

    bool Write(const void* data, std::size_t n) override;
    std::uint64_t Position() const override { return m_position; }
    std::uint8_t* Room(std::size_t n) override;
    bool Commit(std::size_t n) override;
    // A source that is read, not mapped, reads straight into the buffers: one copy fewer.
    bool CopyFrom(SourceReader& reader, std::uint64_t offset, std::uint64_t n) override;
    bool CopyAside(SourceReader& reader, std::uint64_t offset, std::uint64_t n) override;
    bool Close();

private:
    static constexpr std::size_t BUFFERS = 4;
    static constexpr std::size_t BUFFER_SIZE = 256 << 10;
    static constexpr std::uint64_t RESERVE_STEP = 64 << 20;

    // What the writing thread is handed in a buffer's turn: the buffer's first length bytes, or
    // length bytes at offset of from; a length of zero ends the thread.
    struct Job
    {
        std::uint64_t length = 0;
        std::FILE* from = nullptr;
        std::uint64_t offset = 0;
    };

    explicit FileSink(FilePtr file);
    // Hands the buffer being filled to the writing thread and waits for a free one; without that
    // thread, writes it here.
    void Hand();
    // The writing thread: writes the handed buffers in turn until one of length zero.
    void WriteHanded();
    void WriteOut(const std::uint8_t* data, std::size_t n);
    void CopyOut(const Job& job);
    // Makes room in the file for n more bytes.
    void Reserve(std::uint64_t n);
    // Hands the job in the turn of the buffer being filled and moves on to the next buffer.
    void HandJob(const Job& job);
    // Fills the buffers with n bytes, handing each full one on; put(to, count) places the next
    // count bytes at to, false when it cannot.
    template <typename Put> bool Fill(std::uint64_t n, const Put& put)
    {
        while (n > 0) {
            if (m_used == BUFFER_SIZE)
                Hand();
            const auto part = static_cast<std::size_t>(std::min<std::uint64_t>(n, BUFFER_SIZE - m_used));
            if (!put(m_buffers[m_filling].data() + m_used, part))
                return false;
            m_used += part;
            m_position += part;
            n -= part;
        }
        return true;
    }
    // Writes what is left and ends the writing thread.
    void Stop();

    FilePtr m_file;
    std::array<std::vector<std::uint8_t>, BUFFERS> m_buffers;
    std::array<Job, BUFFERS> m_jobs{};
    std::size_t m_filling = 0;
    std::size_t m_used = 0;
    std::uint64_t m_position = 0;
    bool m_roomInBuffer = false;
    std::atomic<bool> m_failed{false};
    // Kept by whichever thread writes.
    std::uint64_t m_written = 0;
    std::uint64_t m_reserved = 0;
    Semaphore m_free{BUFFERS - 1};
    Semaphore m_handed{0};
    std::unique_ptr<Thread> m_writer;
};

} // namespace pg::clipmend
