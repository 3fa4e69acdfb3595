#include "PesHeader.h"

namespace pg::clipmend::mpeg {

// A time stamp after its four-bit prefix: five bytes at out.
void PutTimestamp(std::uint8_t* out, int prefix, std::int64_t t)
{
    out[0] = static_cast<std::uint8_t>(prefix << 4 | ((t >> 29) & 0x0E) | 1);
    out[1] = static_cast<std::uint8_t>(t >> 22);
    out[2] = static_cast<std::uint8_t>(((t >> 14) & 0xFE) | 1);
    out[3] = static_cast<std::uint8_t>(t >> 7);
    out[4] = static_cast<std::uint8_t>(((t << 1) & 0xFE) | 1);
}

void Put16(std::vector<std::uint8_t>& out, std::size_t value)
{
    out.push_back(static_cast<std::uint8_t>(value >> 8));
    out.push_back(static_cast<std::uint8_t>(value));
}

// The packet header before payloadSize bytes: times only where given.
HeaderBytes PacketHeaderBytes(std::uint8_t id, bool mpeg1, std::size_t payloadSize, const std::int64_t* pts,
                              const std::int64_t* dts)
{
    HeaderBytes out;
    for (std::uint8_t byte : {0, 0, 1})
        out.Put(byte);
    out.Put(id);
    out.Put(0); // the length, told below
    out.Put(0);
    if (!mpeg1) {
        out.Put(pts ? 0x84 : 0x80);
        out.Put(!pts ? 0 : dts ? 0xC0 : 0x80);
        out.Put(!pts ? 0 : dts ? 10 : 5);
    } else if (!pts) {
        out.Put(0x0F);
    }
    if (pts) {
        out.PutTime(dts ? 3 : 2, *pts);
        if (dts)
            out.PutTime(1, *dts);
    }
    const std::size_t length = out.size() - 6 + payloadSize;
    if (length <= 0xFFFF) {
        out.Set(4, static_cast<std::uint8_t>(length >> 8));
        out.Set(5, static_cast<std::uint8_t>(length));
    }
    return out;
}

} // namespace pg::clipmend::mpeg
