#pragma once
// The read-ahead of the input's reader: a thread of its own reads the next stretch of the file
// while the walk through the one before it goes on, so that the system's copying of the file's
// bytes and the tool's work on them take the two processors of a common machine at once.
#include "FileIo.h"
#include "Platform.h"

#include <memory>

namespace pg::clipmend {

class ThreadReadAhead final : public ReadAhead
{
public:
    // Null where the system cannot start the thread; reading then waits for every stretch.
    static std::unique_ptr<ThreadReadAhead> Create();
    ~ThreadReadAhead() override;
    ThreadReadAhead(const ThreadReadAhead&) = delete;
    ThreadReadAhead& operator=(const ThreadReadAhead&) = delete;

    void Start(ByteSource& source, std::uint64_t offset, std::uint8_t* buffer, std::size_t n) override;
    std::size_t Finish() override;

private:
    ThreadReadAhead() = default;
    // The thread: reads what it is asked until asked for nothing.
    void ReadAsked();

    Semaphore m_asked{0};
    Semaphore m_done{0};
    ByteSource* m_source = nullptr; // null: the thread ends
    std::uint64_t m_offset = 0;
    std::uint8_t* m_buffer = nullptr;
    std::size_t m_length = 0;
    std::size_t m_got = 0;
    std::unique_ptr<Thread> m_thread;
};

} // namespace pg::clipmend
