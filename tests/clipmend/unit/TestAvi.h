#pragma once
// Builds small AVI files byte by byte for the tests, independently of the tool's writer.
#include "ByteOrder.h"

#include <cstdint>
#include <string>
#include <vector>

namespace clipmendtest {

using Bytes = std::vector<std::uint8_t>;

enum class IndexMode {
    None,
    Relative, // offsets from the 'movi' list type, as the rule says
    Absolute, // offsets from the start of the file, as some writers do
};

struct TestChunk
{
    std::uint16_t stream = 0;
    Bytes data;
    bool key = true; // flag for the index
};

struct TestAvi
{
    std::uint32_t compression = pg::clipmend::FourCC("ABCD");
    std::int32_t width = 64;
    std::int32_t height = 48;
    std::uint16_t bitCount = 24;
    std::uint32_t frameRate = 25; // frames per second
    bool audio = false;           // stream 1: 16-bit mono PCM at 8000 Hz
    std::vector<TestChunk> chunks;
    IndexMode index = IndexMode::Relative;

    Bytes Build() const;
    // Where the data of chunk i lies in what Build returns.
    std::uint64_t DataOffset(std::size_t i) const;
};

// A frame of n bytes whose content tells it apart from the others.
Bytes Pattern(std::size_t n, std::uint8_t seed);

// MPEG-4 Part 2 picture of the given coding type (0 intra, 1 predicted, 2 bidirectional).
Bytes Mpeg4Frame(int codingType, std::size_t n);

} // namespace clipmendtest
