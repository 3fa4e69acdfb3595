#include "GapList.h"

#include "ByteOrder.h"

#include <algorithm>

namespace pg::clipmend {

namespace {

constexpr std::uint8_t METADATA_VERSION = 0xE0;
constexpr std::uint8_t TAG_STRING = 2;
constexpr std::uint8_t TAG_INTEGER = 3;
constexpr std::uint8_t GAP_START = 0x09;
constexpr std::uint8_t GAP_END = 0x0A;

// Sequential reads with a running offset; any short read makes every later read fail too.
class Cursor
{
public:
    explicit Cursor(ByteSource& source) : m_source(source) {}

    bool Read(void* buffer, std::size_t n)
    {
        if (!m_ok || m_source.ReadAt(m_offset, buffer, n) != n)
            return m_ok = false;
        m_offset += n;
        return true;
    }
    bool Skip(std::uint64_t n)
    {
        if (!m_ok || n > m_source.Size() || m_offset > m_source.Size() - n)
            return m_ok = false;
        m_offset += n;
        return true;
    }
    bool ReadU16(std::uint16_t& value)
    {
        std::uint8_t b[2];
        if (!Read(b, 2))
            return false;
        value = Load16(b);
        return true;
    }
    bool ReadU32(std::uint32_t& value)
    {
        std::uint8_t b[4];
        if (!Read(b, 4))
            return false;
        value = Load32(b);
        return true;
    }

private:
    ByteSource& m_source;
    std::uint64_t m_offset = 0;
    bool m_ok = true;
};

} // namespace

std::vector<ByteRange> NormalizeRanges(std::vector<ByteRange> ranges)
{
    std::erase_if(ranges, [](const ByteRange& r) { return r.end <= r.begin; });
    std::sort(ranges.begin(), ranges.end(),
              [](const ByteRange& a, const ByteRange& b) { return a.begin < b.begin; });
    std::vector<ByteRange> merged;
    for (const ByteRange& r : ranges) {
        if (!merged.empty() && r.begin <= merged.back().end)
            merged.back().end = std::max(merged.back().end, r.end);
        else
            merged.push_back(r);
    }
    return merged;
}

bool ReadGapList(ByteSource& metadata, std::vector<ByteRange>& gaps)
{
    gaps.clear();
    Cursor in(metadata);
    std::uint8_t version = 0;
    if (!in.Read(&version, 1) || version != METADATA_VERSION)
        return false;
    std::uint16_t hashCount = 0;
    if (!in.Skip(4 + 16) || !in.ReadU16(hashCount))
        return false;
    if (static_cast<std::int16_t>(hashCount) > 0 && !in.Skip(16ull * static_cast<std::int16_t>(hashCount)))
        return false;
    std::uint32_t tagCount = 0;
    if (!in.ReadU32(tagCount))
        return false;

    std::vector<ByteRange> found;
    // A gap end pairs with the most recent gap start, whatever the numbers in their names.
    std::uint64_t currentStart = 0;
    for (std::int32_t i = 0; i < static_cast<std::int32_t>(tagCount); ++i) {
        std::uint8_t type = 0;
        std::uint16_t nameLength = 0;
        if (!in.Read(&type, 1) || !in.ReadU16(nameLength) || static_cast<std::int16_t>(nameLength) < 0)
            return false;
        std::uint8_t first = 0;
        if (nameLength > 0 && !in.Read(&first, 1))
            return false;
        if (nameLength > 1 && !in.Skip(nameLength - 1u))
            return false;
        if (type == TAG_STRING) {
            std::uint16_t valueLength = 0;
            if (!in.ReadU16(valueLength) || static_cast<std::int16_t>(valueLength) < 0 ||
                !in.Skip(valueLength))
                return false;
        } else if (type == TAG_INTEGER) {
            std::uint32_t value = 0;
            if (!in.ReadU32(value))
                return false;
            // A one-byte name is an ordinary numbered tag; gap tags carry their number after it.
            if (nameLength >= 2 && first == GAP_START)
                currentStart = value;
            else if (nameLength >= 2 && first == GAP_END)
                found.push_back({currentStart, value});
        } else {
            return false;
        }
    }
    gaps = NormalizeRanges(std::move(found));
    return true;
}

} // namespace pg::clipmend
