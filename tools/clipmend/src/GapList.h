#pragma once
// The gap list of a download's metadata file: the byte ranges of the data file that have
// not arrived yet. Read-only; nothing else of the metadata is interpreted.
#include "FileIo.h"

#include <cstdint>
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

// Fills gaps from a metadata file; false when the file does not have the expected layout,
// in which case gaps is left empty.
bool ReadGapList(ByteSource& metadata, std::vector<ByteRange>& gaps);

} // namespace pg::clipmend
