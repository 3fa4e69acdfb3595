#include "GapList.h"

#include "PartMetLayout.h"

#include <algorithm>

namespace pg::clipmend {

namespace {

// The metadata's bytes in order from a source; any short read makes every later read fail too.
class Cursor
{
public:
    explicit Cursor(ByteSource& source) : m_source(source) {}

    bool Bytes(unsigned char* buffer, std::size_t n)
    {
        if (!m_ok || m_source.ReadAt(m_offset, buffer, n) != n)
            return m_ok = false;
        m_offset += n;
        return true;
    }

private:
    ByteSource& m_source;
    std::uint64_t m_offset = 0;
    bool m_ok = true;
};

// Collects the gap tags; a gap end pairs with the most recent gap start, whatever the numbers in
// their names.
class GapCollector
{
public:
    void FileId(const partmet::Hash&) {}
    void HashesBegin() {}
    void PartHash(int, const partmet::Hash&) {}
    void TagsBegin() {}
    bool OnTag(const partmet::Tag& tag)
    {
        const auto value = static_cast<std::uint32_t>(tag.number);
        if (tag.IsGapStart())
            m_currentStart = value;
        else if (tag.IsGapEnd())
            m_found.push_back({m_currentStart, value});
        return true;
    }

    std::vector<ByteRange> m_found;

private:
    std::uint64_t m_currentStart = 0;
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

const ByteRange* GapOverlapping(const std::vector<ByteRange>& gaps, std::uint64_t begin, std::uint64_t end)
{
    auto it = std::upper_bound(gaps.begin(), gaps.end(), begin,
                               [](std::uint64_t value, const ByteRange& r) { return value < r.end; });
    return it != gaps.end() && it->begin < end ? &*it : nullptr;
}

bool ReadGapList(ByteSource& metadata, std::vector<ByteRange>& gaps)
{
    gaps.clear();
    Cursor in(metadata);
    GapCollector collector;
    if (!partmet::Walk(in, collector).Complete())
        return false;
    gaps = NormalizeRanges(std::move(collector.m_found));
    return true;
}

} // namespace pg::clipmend
