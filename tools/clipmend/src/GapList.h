#pragma once
// The gap list of a download's metadata file: the byte ranges of the data file that have
// not arrived yet. Read-only; nothing else of the metadata is interpreted.
#include "FileIo.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace pg::clipmend {

struct ByteRange
{
    std::uint64_t begin = 0;
    std::uint64_t end = 0; // one past the last byte

    bool operator==(const ByteRange&) const = default;
};

// Sorted, with overlapping and touching ranges merged and empty ones dropped.
std::vector<ByteRange> NormalizeRanges(std::vector<ByteRange> ranges);

// The first of the sorted gaps that overlaps [begin, end), or null.
const ByteRange* GapOverlapping(const std::vector<ByteRange>& gaps, std::uint64_t begin, std::uint64_t end);

// The first offset from pos on, below end, whose byte isCandidate takes, looking at every
// step-th byte; the start of a known gap ends the search there, and end when nothing is found.
// Scans through the reader's window as it lies, refilled once fewer than minimum bytes are left
// (fewer at the end of the source end the search). Zero-filled holes, what downloads mostly
// have, are passed a word at a time.
template <typename IsCandidate>
std::uint64_t NextCandidate(SourceReader& in, const std::vector<ByteRange>& gaps, std::uint64_t pos,
                            std::uint64_t end, std::size_t step, std::size_t minimum, IsCandidate isCandidate)
{
    while (pos < end) {
        std::size_t available = 0;
        const std::uint8_t* p = in.PeekAhead(pos, minimum, available);
        if (!p || available < minimum)
            break;
        std::size_t limit = static_cast<std::size_t>(std::min<std::uint64_t>(available, end - pos));
        const ByteRange* gap = GapOverlapping(gaps, pos, pos + limit);
        if (gap)
            limit = static_cast<std::size_t>(gap->begin > pos ? gap->begin - pos : 0);
        for (std::size_t i = 0; i < limit;) {
            if (i + 8 <= limit) {
                std::uint64_t word = 0;
                std::memcpy(&word, p + i, sizeof word);
                if (word == 0) {
                    i += sizeof word;
                    continue;
                }
            }
            if (isCandidate(p[i]))
                return pos + i;
            i += step;
        }
        if (gap)
            return std::max(gap->begin, pos);
        pos += available - available % step;
    }
    return end;
}

// Fills gaps from a metadata file; false when the file does not have the expected layout,
// in which case gaps is left empty.
bool ReadGapList(ByteSource& metadata, std::vector<ByteRange>& gaps);

} // namespace pg::clipmend
