#include "Ebml.h"

#include <cstring>

namespace pg::clipmend::ebml {

int VintLength(std::uint8_t first)
{
    for (int length = 1; length <= 8; ++length)
        if (first & (0x80 >> (length - 1)))
            return length;
    return 0;
}

int ReadId(const std::uint8_t* p, std::size_t available, std::uint32_t& id)
{
    if (available == 0)
        return 0;
    const int length = VintLength(p[0]);
    if (length == 0 || length > 4 || static_cast<std::size_t>(length) > available)
        return 0;
    id = 0;
    for (int i = 0; i < length; ++i)
        id = id << 8 | p[i];
    // Ids of all ones are reserved, and so are those with a longer form than needed.
    const std::uint32_t valueBits = 7 * static_cast<std::uint32_t>(length);
    const std::uint32_t value = id & ((1u << valueBits) - 1);
    if (value == (1u << valueBits) - 1 || (length > 1 && value < (1u << (valueBits - 7)) - 1))
        return 0;
    return length;
}

int ReadSize(const std::uint8_t* p, std::size_t available, std::uint64_t& size)
{
    if (available == 0)
        return 0;
    const int length = VintLength(p[0]);
    if (length == 0 || static_cast<std::size_t>(length) > available)
        return 0;
    const std::uint64_t valueBits = 7 * static_cast<std::uint64_t>(length);
    std::uint64_t value = p[0] & (0xFF >> length);
    for (int i = 1; i < length; ++i)
        value = value << 8 | p[i];
    size = value == (1ull << valueBits) - 1 ? UNKNOWN_SIZE : value;
    return length;
}

std::uint64_t ReadUnsigned(const std::uint8_t* p, std::size_t length)
{
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < length && i < 8; ++i)
        value = value << 8 | p[i];
    return value;
}

double ReadFloat(const std::uint8_t* p, std::size_t length)
{
    if (length == 4) {
        const auto bits = static_cast<std::uint32_t>(ReadUnsigned(p, 4));
        float value = 0;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }
    if (length == 8) {
        const std::uint64_t bits = ReadUnsigned(p, 8);
        double value = 0;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }
    return 0.0;
}

bool ReadElement(const std::uint8_t* p, std::size_t available, Element& element)
{
    const int idLength = ReadId(p, available, element.id);
    if (idLength == 0)
        return false;
    const int sizeLength =
        ReadSize(p + idLength, available - static_cast<std::size_t>(idLength), element.size);
    if (sizeLength == 0)
        return false;
    element.header = static_cast<std::size_t>(idLength + sizeLength);
    return element.size != UNKNOWN_SIZE && element.size <= available - element.header;
}

std::size_t IdLength(std::uint32_t id)
{
    return id > 0xFFFFFF ? 4 : id > 0xFFFF ? 3 : id > 0xFF ? 2 : 1;
}

std::size_t SizeLength(std::uint64_t size)
{
    std::size_t length = 1;
    // A value of all ones in a length would read as "unknown".
    while (length < 8 && size >= (1ull << (7 * length)) - 1)
        ++length;
    return length;
}

std::size_t UnsignedLength(std::uint64_t value)
{
    std::size_t length = 1;
    while (length < 8 && value >> (8 * length) != 0)
        ++length;
    return length;
}

void PutId(std::vector<std::uint8_t>& out, std::uint32_t id)
{
    for (std::size_t i = IdLength(id); i-- > 0;)
        out.push_back(static_cast<std::uint8_t>(id >> (8 * i)));
}

void PutSize(std::vector<std::uint8_t>& out, std::uint64_t size, int width)
{
    const std::size_t length = width > 0 ? static_cast<std::size_t>(width) : SizeLength(size);
    const std::uint64_t marked = size | 1ull << (7 * length);
    for (std::size_t i = length; i-- > 0;)
        out.push_back(static_cast<std::uint8_t>(marked >> (8 * i)));
}

void PutUnsigned(std::vector<std::uint8_t>& out, std::uint32_t id, std::uint64_t value, std::size_t width)
{
    const std::size_t length = width > 0 ? width : UnsignedLength(value);
    PutId(out, id);
    PutSize(out, length);
    for (std::size_t i = length; i-- > 0;)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

void PutFloat(std::vector<std::uint8_t>& out, std::uint32_t id, double value)
{
    std::uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    PutId(out, id);
    PutSize(out, 8);
    for (int i = 8; i-- > 0;)
        out.push_back(static_cast<std::uint8_t>(bits >> (8 * i)));
}

void PutString(std::vector<std::uint8_t>& out, std::uint32_t id, const std::string& value)
{
    PutId(out, id);
    PutSize(out, value.size());
    out.insert(out.end(), value.begin(), value.end());
}

void PutBytes(std::vector<std::uint8_t>& out, std::uint32_t id, const std::vector<std::uint8_t>& data)
{
    PutId(out, id);
    PutSize(out, data.size());
    out.insert(out.end(), data.begin(), data.end());
}

} // namespace pg::clipmend::ebml
