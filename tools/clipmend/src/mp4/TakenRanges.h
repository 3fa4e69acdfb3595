#pragma once
// The bytes that samples already taken hold, so that an index that puts one sample over another
// is caught.
#include "GapList.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <vector>

namespace pg::clipmend {

// Byte ranges by where they begin; of two that begin at one byte, the first stays. Most files
// bring them in the file's order: they are kept in a plain sorted list until one comes out of it.
class TakenRanges
{
public:
    // Whether the last range to begin before end reaches past begin.
    bool Overlaps(std::uint64_t begin, std::uint64_t end) const
    {
        if (m_inOrder) {
            const auto after =
                std::lower_bound(m_ranges.begin(), m_ranges.end(), end,
                                 [](const ByteRange& r, std::uint64_t at) { return r.begin < at; });
            return after != m_ranges.begin() && std::prev(after)->end > begin;
        }
        const auto after = m_map.lower_bound(end);
        return after != m_map.begin() && std::prev(after)->second > begin;
    }

    void Add(std::uint64_t begin, std::uint64_t end)
    {
        if (m_inOrder && (m_ranges.empty() || begin > m_ranges.back().begin)) {
            m_ranges.push_back({begin, end});
            return;
        }
        if (m_inOrder && begin == m_ranges.back().begin)
            return;
        if (m_inOrder) {
            for (const ByteRange& r : m_ranges)
                m_map.emplace_hint(m_map.end(), r.begin, r.end);
            m_ranges = {};
            m_inOrder = false;
        }
        m_map.emplace(begin, end);
    }

private:
    bool m_inOrder = true;
    std::vector<ByteRange> m_ranges;
    std::map<std::uint64_t, std::uint64_t> m_map;
};

} // namespace pg::clipmend
