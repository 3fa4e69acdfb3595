#pragma once
// Boxes of MP4 and QuickTime files: big-endian fields, box headers, a walk over the boxes held
// in memory, and the building of new ones.
#include <cstdint>
#include <vector>

namespace pg::clipmend::mp4 {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t BoxType(const char (&text)[5])
{
    return static_cast<std::uint32_t>(static_cast<unsigned char>(text[0])) << 24 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(text[1])) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(text[2])) << 8 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(text[3]));
}

inline std::uint16_t Get16(const std::uint8_t* p)
{
    return static_cast<std::uint16_t>(p[0] << 8 | p[1]);
}

inline std::uint32_t Get32(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
           static_cast<std::uint32_t>(p[2]) << 8 | static_cast<std::uint32_t>(p[3]);
}

inline std::uint64_t Get64(const std::uint8_t* p)
{
    return static_cast<std::uint64_t>(Get32(p)) << 32 | Get32(p + 4);
}

// Values written in place, over bytes already there.
inline void Set32(std::uint8_t* p, std::uint32_t value)
{
    for (int k = 0; k < 4; ++k)
        p[k] = static_cast<std::uint8_t>(value >> (24 - 8 * k));
}

inline void Set64(std::uint8_t* p, std::uint64_t value)
{
    Set32(p, static_cast<std::uint32_t>(value >> 32));
    Set32(p + 4, static_cast<std::uint32_t>(value));
}

void Put16(Bytes& out, std::uint32_t value);
void Put32(Bytes& out, std::uint32_t value);
void Put64(Bytes& out, std::uint64_t value);

// A box's header: its type, its whole size (header included) and the header's length.
struct BoxHeader
{
    std::uint32_t type = 0;
    std::uint64_t size = 0;
    std::size_t header = 0;
};

// Reads the header at data; remaining is how many bytes the box may span at most (the rest of
// its parent, or of the file), which a size of 0 ("to the end") takes. False when the header is
// cut short or its size cannot be.
bool ReadBoxHeader(const std::uint8_t* data, std::size_t available, std::uint64_t remaining, BoxHeader& box);

// Calls visit(type, payload, payload size, whole box) for each box in memory, in order; stops at
// the first that does not fit.
template <typename Visit> void ForEachBox(const std::uint8_t* data, std::size_t size, Visit visit)
{
    std::size_t pos = 0;
    BoxHeader box;
    while (pos < size && ReadBoxHeader(data + pos, size - pos, size - pos, box)) {
        visit(box.type, data + pos + box.header, static_cast<std::size_t>(box.size) - box.header, data + pos);
        pos += static_cast<std::size_t>(box.size);
    }
}

// Boxes built in place, one after the other in a buffer: each is opened before its payload and
// closed after it, when its size is known, so that no box is copied into the one around it. The
// sizes are 32-bit: the limits on what an index holds keep every box far below 4 GB.
class BoxBuilder
{
public:
    explicit BoxBuilder(Bytes& out) : m_out(out) {}
    Bytes& Out() { return m_out; }
    void Open(std::uint32_t type);
    // A box with a version and flags before its payload.
    void OpenFull(std::uint32_t type, std::uint8_t version, std::uint32_t flags);
    // Ends the box opened last.
    void Close();

private:
    Bytes& m_out;
    std::vector<std::size_t> m_starts;
};

void Append(Bytes& out, const Bytes& more);

} // namespace pg::clipmend::mp4
