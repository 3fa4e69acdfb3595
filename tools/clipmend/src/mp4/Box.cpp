#include "Box.h"

namespace pg::clipmend::mp4 {

void Put16(Bytes& out, std::uint32_t value)
{
    const std::uint8_t bytes[2] = {static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
    out.insert(out.end(), bytes, bytes + 2);
}

void Put32(Bytes& out, std::uint32_t value)
{
    const std::uint8_t bytes[4] = {static_cast<std::uint8_t>(value >> 24),
                                   static_cast<std::uint8_t>(value >> 16),
                                   static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
    out.insert(out.end(), bytes, bytes + 4);
}

void Put64(Bytes& out, std::uint64_t value)
{
    Put32(out, static_cast<std::uint32_t>(value >> 32));
    Put32(out, static_cast<std::uint32_t>(value));
}

bool ReadBoxHeader(const std::uint8_t* data, std::size_t available, std::uint64_t remaining, BoxHeader& box)
{
    if (available < 8)
        return false;
    box.type = Get32(data + 4);
    box.size = Get32(data);
    box.header = 8;
    if (box.size == 1) {
        if (available < 16)
            return false;
        box.size = Get64(data + 8);
        box.header = 16;
    } else if (box.size == 0) {
        box.size = remaining;
    }
    return box.size >= box.header && box.size <= remaining;
}

Bytes MakeBox(std::uint32_t type, const Bytes& payload)
{
    Bytes out;
    const std::uint64_t size = payload.size() + 8;
    if (size > 0xFFFFFFFFu) {
        Put32(out, 1);
        Put32(out, type);
        Put64(out, size + 8);
    } else {
        Put32(out, static_cast<std::uint32_t>(size));
        Put32(out, type);
    }
    Append(out, payload);
    return out;
}

Bytes MakeFullBox(std::uint32_t type, std::uint8_t version, std::uint32_t flags, const Bytes& payload)
{
    Bytes inner;
    Put32(inner, static_cast<std::uint32_t>(version) << 24 | (flags & 0xFFFFFF));
    Append(inner, payload);
    return MakeBox(type, inner);
}

void Append(Bytes& out, const Bytes& more)
{
    out.insert(out.end(), more.begin(), more.end());
}

} // namespace pg::clipmend::mp4
