#pragma once
// Byte sources and sinks with 64-bit offsets, and a windowed reader over a source, so that
// files of many gigabytes are streamed through small buffers.
#include "ClientFile.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace pg::clipmend {

class ByteSource
{
public:
    virtual ~ByteSource() = default;
    virtual std::uint64_t Size() const = 0;
    // Reads up to n bytes at offset; fewer only at the end of the data or on a read error.
    virtual std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t n) = 0;
    // Sources that lie in memory hand out their bytes in place: up to n bytes at offset, their
    // count in available, valid until the next call. Null where the source only reads.
    virtual const std::uint8_t* Map(std::uint64_t offset, std::size_t n, std::size_t& available);
    virtual bool Mapped() const { return false; }
    // The open file the bytes come from, for copies the system makes itself; null where none.
    virtual std::FILE* Stream() const { return nullptr; }
};

class FileSource final : public ByteSource
{
public:
    // Opens read-only; null when the file cannot be opened or measured.
    static std::unique_ptr<FileSource> Open(const std::string& path);
    // Reads an open binary stream; null when there is none or it cannot be measured.
    static std::unique_ptr<FileSource> FromStream(FilePtr file);

    std::uint64_t Size() const override { return m_size; }
    std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t n) override;
    std::FILE* Stream() const override { return m_file.get(); }

private:
    FileSource(FilePtr file, std::uint64_t size) : m_file(std::move(file)), m_size(size) {}

    FilePtr m_file;
    std::uint64_t m_size;
    std::uint64_t m_position = 0;
};

// Borrows bytes that outlive it; mapped, it hands them out in place as a mapped file does.
class MemorySource final : public ByteSource
{
public:
    MemorySource(const std::uint8_t* data, std::size_t size, bool mapped = false)
        : m_data(data), m_size(size), m_mapped(mapped)
    {
    }
    explicit MemorySource(const std::vector<std::uint8_t>& bytes, bool mapped = false)
        : MemorySource(bytes.data(), bytes.size(), mapped)
    {
    }

    std::uint64_t Size() const override { return m_size; }
    std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t n) override;
    const std::uint8_t* Map(std::uint64_t offset, std::size_t n, std::size_t& available) override;
    bool Mapped() const override { return m_mapped; }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    bool m_mapped;
};

// A file mapped into memory one view at a time; the system's part maps and unmaps the views.
class MappedSource : public ByteSource
{
public:
    std::uint64_t Size() const override { return m_size; }
    bool Mapped() const override { return true; }
    const std::uint8_t* Map(std::uint64_t offset, std::size_t n, std::size_t& available) override;
    std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t n) override;

protected:
    // alignment: what view starts must be a multiple of; viewSize: the usual length of a view.
    MappedSource(std::uint64_t size, std::uint64_t alignment, std::uint64_t viewSize)
        : m_size(size), m_alignment(alignment), m_viewSize(viewSize)
    {
    }
    // Null when the view cannot be mapped.
    virtual const std::uint8_t* MapView(std::uint64_t start, std::size_t length) = 0;
    virtual void UnmapView(const std::uint8_t* view, std::size_t length) = 0;
    // For the destructor of the system's part, which alone can still unmap.
    void UnmapCurrent();

private:
    std::uint64_t m_size;
    std::uint64_t m_alignment;
    std::uint64_t m_viewSize;
    const std::uint8_t* m_view = nullptr;
    std::uint64_t m_viewStart = 0;
    std::size_t m_viewLength = 0;
};

// Reads a stretch of a source on a thread of its own, one at a time, while the caller goes on.
class ReadAhead
{
public:
    virtual ~ReadAhead() = default;
    // Starts reading n bytes of source at offset into buffer.
    virtual void Start(ByteSource& source, std::uint64_t offset, std::uint8_t* buffer, std::size_t n) = 0;
    // Waits until the started read is done: how many bytes it got.
    virtual std::size_t Finish() = 0;
};

// Reads through one window of the source; a look at bytes near the previous ones costs no
// system call. A mapped source needs no window: its bytes are used where they lie. Given a
// read-ahead, the stretch after the window is read while the window is used: a walk through
// the file then finds its next bytes read.
class SourceReader
{
public:
    static constexpr std::size_t DEFAULT_WINDOW = 1 << 20;
    static constexpr std::size_t MAPPED_SPAN = 16 << 20;

    explicit SourceReader(ByteSource& source, std::size_t windowSize = DEFAULT_WINDOW,
                          ReadAhead* ahead = nullptr);
    ~SourceReader();
    SourceReader(const SourceReader&) = delete;
    SourceReader& operator=(const SourceReader&) = delete;

    std::uint64_t Size() const { return m_size; }
    // The most bytes one look hands out.
    std::size_t WindowSize() const { return m_mapped ? MAPPED_SPAN : m_windowSize; }

    // The n bytes at offset (n at most the window size), or null when they pass the end.
    const std::uint8_t* Peek(std::uint64_t offset, std::size_t n);
    // As many of the n bytes at offset as there are (up to the window size), with their count.
    const std::uint8_t* PeekUpTo(std::uint64_t offset, std::size_t n, std::size_t& available);
    // The bytes from offset to the end of the window, refilled only when fewer than minimum (at
    // most the window size) are left there and the source has more: for scans that step through
    // the window and need no fixed length.
    const std::uint8_t* PeekAhead(std::uint64_t offset, std::size_t minimum, std::size_t& available);
    // Reads no more ahead from now on.
    void StopReadingAhead();
    // Reads n bytes at offset straight into buffer, past the window: how many there were.
    std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t n);
    bool Mapped() const { return m_mapped; }
    std::FILE* Stream() const { return m_source.Stream(); }

private:
    // Up to this many bytes at the window's end are carried over in front of the stretch read
    // ahead, so that a look across the two finds them in one piece.
    static constexpr std::size_t CARRY = 16 << 10;

    // Makes the window hold offset and, where the source has them, needed bytes from it (at most
    // the window's size); false where the source ends before offset.
    bool Fill(std::uint64_t offset, std::size_t needed);
    void WaitAhead();

    ByteSource& m_source;
    std::uint64_t m_size;
    bool m_mapped;
    std::size_t m_windowSize;
    ReadAhead* m_ahead;
    std::vector<std::uint8_t> m_buffer; // the window, after room for bytes carried over
    const std::uint8_t* m_window = nullptr;
    std::uint64_t m_windowStart = 0;
    std::size_t m_windowLength = 0;
    // The stretch after the window, read ahead where m_aheadHeld: as m_buffer.
    std::vector<std::uint8_t> m_nextBuffer;
    std::size_t m_aheadLength = 0;
    bool m_aheadStarted = false;
    bool m_aheadHeld = false;
    int m_onward = 0; // windows in a row that moved on from the one before
};

class ByteSink
{
public:
    virtual ~ByteSink() = default;
    virtual bool Write(const void* data, std::size_t n) = 0;
    virtual std::uint64_t Position() const = 0;
    // Room for n bytes to be made in place, then written by Commit (with how many of them to keep)
    // before any other call: for output built a few bytes at a time, spared a copy where the sink
    // buffers.
    virtual std::uint8_t* Room(std::size_t n);
    virtual bool Commit(std::size_t n);
    // Copies n bytes of the reader's source at offset: through the reader's window, unless the
    // sink has a way that copies them fewer times.
    virtual bool CopyFrom(SourceReader& reader, std::uint64_t offset, std::uint64_t n);
    // As CopyFrom, for a caller that goes on reading the input meanwhile: where the system copies
    // between files itself, a sink with a thread of its own has it copied there, sparing the
    // caller's thread the copy.
    virtual bool CopyAside(SourceReader& reader, std::uint64_t offset, std::uint64_t n)
    {
        return CopyFrom(reader, offset, n);
    }

private:
    std::vector<std::uint8_t> m_room;
};

class MemorySink final : public ByteSink
{
public:
    bool Write(const void* data, std::size_t n) override;
    std::uint64_t Position() const override { return m_bytes.size(); }
    const std::vector<std::uint8_t>& Bytes() const { return m_bytes; }

private:
    std::vector<std::uint8_t> m_bytes;
};

} // namespace pg::clipmend
