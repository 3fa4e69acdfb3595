#pragma once
// The file operations and threads that the C runtime does not offer alike on every system.
#include "FileIo.h"

#include <cstdio>
#include <functional>
#include <memory>
#include <string>

namespace pg::clipmend {

// The input mapped into memory, read-only, where the system maps files for less than it copies
// them: its bytes are used where they lie instead of being copied into a buffer. Null elsewhere,
// and when the file cannot be mapped; reading it is the way then.
std::unique_ptr<ByteSource> OpenMappedFile(const std::string& path);

// Renames from to to, replacing a file that already has that name.
bool MoveReplacing(const std::string& from, const std::string& to);

// True when both names lead to the same existing file.
bool SameFile(const std::string& a, const std::string& b);

// Reserves disk space for the length bytes of the file from offset on, without making it longer:
// a file written into space set aside for it costs the system less than one grown write by write.
// Does nothing where the system cannot.
void ReserveSpace(std::FILE* file, std::uint64_t offset, std::uint64_t length);
// Gives back what was reserved past the file's size.
void ReleaseReserve(std::FILE* file, std::uint64_t size);

// Whether the system copies between files itself, without the bytes passing through the program.
bool SystemCopies();
// Appends the n bytes at offset of from to to, a stream without a buffer of its own, copied
// inside the system; false when a byte cannot be read or written. Only where SystemCopies().
bool CopyInSystem(std::FILE* from, std::uint64_t offset, std::FILE* to, std::uint64_t n);

// A count that one thread raises and another waits on while it is zero.
class Semaphore
{
public:
    explicit Semaphore(unsigned count);
    ~Semaphore();
    Semaphore(const Semaphore&) = delete;
    Semaphore& operator=(const Semaphore&) = delete;

    // False when the system could not make it; it must not be used then.
    bool Usable() const;
    void Acquire();
    void Release();

private:
    struct State;
    std::unique_ptr<State> m_state;
};

// A function run on a thread of its own; the destructor waits until it has returned.
class Thread
{
public:
    explicit Thread(std::function<void()> work);
    ~Thread();
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    // False when the system could not start the thread; the function then never runs.
    bool Started() const;

private:
    struct State;
    std::unique_ptr<State> m_state;
};

} // namespace pg::clipmend
