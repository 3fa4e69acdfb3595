#include "Box.h"

namespace pg::clipmend::mp4 {

void Put16(Bytes& out, std::uint32_t value)
{
    const std::uint8_t bytes[2] = {static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
    out.insert(out.end(), bytes, bytes + 2);
}

void Put32(Bytes& out, std::uint32_t value)
{
    std::uint8_t bytes[4];
    Set32(bytes, value);
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

void BoxBuilder::Open(std::uint32_t type)
{
    m_starts.push_back(m_out.size());
    Put32(m_out, 0);
    Put32(m_out, type);
}

void BoxBuilder::OpenFull(std::uint32_t type, std::uint8_t version, std::uint32_t flags)
{
    Open(type);
    Put32(m_out, static_cast<std::uint32_t>(version) << 24 | (flags & 0xFFFFFF));
}

void BoxBuilder::Close()
{
    const std::size_t start = m_starts.back();
    m_starts.pop_back();
    Set32(m_out.data() + start, static_cast<std::uint32_t>(m_out.size() - start));
}

void Append(Bytes& out, const Bytes& more)
{
    out.insert(out.end(), more.begin(), more.end());
}

} // namespace pg::clipmend::mp4
