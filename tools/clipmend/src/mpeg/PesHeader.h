#pragma once
// The packet headers both kinds of MPEG stream are written with.
#include <array>
#include <cstdint>
#include <vector>

namespace pg::clipmend::mpeg {

// A time stamp after its four-bit prefix: five bytes at out.
void PutTimestamp(std::uint8_t* out, int prefix, std::int64_t t);

void Put16(std::vector<std::uint8_t>& out, std::size_t value);

// A packet header, made for every unit: kept off the heap.
class HeaderBytes
{
public:
    const std::uint8_t* data() const { return m_bytes.data(); }
    std::size_t size() const { return m_size; }
    void Put(std::uint8_t byte) { m_bytes[m_size++] = byte; }
    void PutTime(int prefix, std::int64_t t)
    {
        PutTimestamp(m_bytes.data() + m_size, prefix, t);
        m_size += 5;
    }
    void Set(std::size_t at, std::uint8_t byte) { m_bytes[at] = byte; }

private:
    // Start code, id and length, three bytes of flags, two time stamps.
    std::array<std::uint8_t, 19> m_bytes{};
    std::size_t m_size = 0;
};

// The packet header before payloadSize bytes: times only where given; a length of 0 where
// the packet is too long to tell it.
HeaderBytes PacketHeaderBytes(std::uint8_t id, bool mpeg1, std::size_t payloadSize, const std::int64_t* pts,
                              const std::int64_t* dts);

} // namespace pg::clipmend::mpeg
