#pragma once
// EBML, the binary layout of Matroska and WebM: elements of an id, a size and data, ids and
// sizes as variable-length integers whose first byte tells their length.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace pg::clipmend::ebml {

// Element ids, with their length marker bits, as they stand in the file.
constexpr std::uint32_t ID_EBML = 0x1A45DFA3;
constexpr std::uint32_t ID_EBML_VERSION = 0x4286;
constexpr std::uint32_t ID_EBML_READ_VERSION = 0x42F7;
constexpr std::uint32_t ID_EBML_MAX_ID_LENGTH = 0x42F2;
constexpr std::uint32_t ID_EBML_MAX_SIZE_LENGTH = 0x42F3;
constexpr std::uint32_t ID_DOC_TYPE = 0x4282;
constexpr std::uint32_t ID_DOC_TYPE_VERSION = 0x4287;
constexpr std::uint32_t ID_DOC_TYPE_READ_VERSION = 0x4285;
constexpr std::uint32_t ID_VOID = 0xEC;
constexpr std::uint32_t ID_CRC32 = 0xBF;
constexpr std::uint32_t ID_SEGMENT = 0x18538067;
constexpr std::uint32_t ID_SEEK_HEAD = 0x114D9B74;
constexpr std::uint32_t ID_SEEK = 0x4DBB;
constexpr std::uint32_t ID_SEEK_ID = 0x53AB;
constexpr std::uint32_t ID_SEEK_POSITION = 0x53AC;
constexpr std::uint32_t ID_INFO = 0x1549A966;
constexpr std::uint32_t ID_TIMESTAMP_SCALE = 0x2AD7B1;
constexpr std::uint32_t ID_DURATION = 0x4489;
constexpr std::uint32_t ID_MUXING_APP = 0x4D80;
constexpr std::uint32_t ID_WRITING_APP = 0x5741;
constexpr std::uint32_t ID_TRACKS = 0x1654AE6B;
constexpr std::uint32_t ID_TRACK_ENTRY = 0xAE;
constexpr std::uint32_t ID_TRACK_NUMBER = 0xD7;
constexpr std::uint32_t ID_TRACK_TYPE = 0x83;
constexpr std::uint32_t ID_DEFAULT_DURATION = 0x23E383;
constexpr std::uint32_t ID_VIDEO = 0xE0;
constexpr std::uint32_t ID_DISPLAY_WIDTH = 0x54B0;
constexpr std::uint32_t ID_DISPLAY_HEIGHT = 0x54BA;
constexpr std::uint32_t ID_DISPLAY_UNIT = 0x54B2;
constexpr std::uint32_t ID_CLUSTER = 0x1F43B675;
constexpr std::uint32_t ID_TIMESTAMP = 0xE7;
constexpr std::uint32_t ID_POSITION = 0xA7;
constexpr std::uint32_t ID_PREV_SIZE = 0xAB;
constexpr std::uint32_t ID_SILENT_TRACKS = 0x5854;
constexpr std::uint32_t ID_SIMPLE_BLOCK = 0xA3;
constexpr std::uint32_t ID_BLOCK_GROUP = 0xA0;
constexpr std::uint32_t ID_BLOCK = 0xA1;
constexpr std::uint32_t ID_BLOCK_DURATION = 0x9B;
constexpr std::uint32_t ID_REFERENCE_BLOCK = 0xFB;
constexpr std::uint32_t ID_CUES = 0x1C53BB6B;
constexpr std::uint32_t ID_CUE_POINT = 0xBB;
constexpr std::uint32_t ID_CUE_TIME = 0xB3;
constexpr std::uint32_t ID_CUE_TRACK_POSITIONS = 0xB7;
constexpr std::uint32_t ID_CUE_TRACK = 0xF7;
constexpr std::uint32_t ID_CUE_CLUSTER_POSITION = 0xF1;
constexpr std::uint32_t ID_CUE_RELATIVE_POSITION = 0xF0;
constexpr std::uint32_t ID_CHAPTERS = 0x1043A770;
constexpr std::uint32_t ID_TAGS = 0x1254C367;
constexpr std::uint32_t ID_ATTACHMENTS = 0x1941A469;

// A size whose bits are all ones: the element lasts until something that cannot be inside it.
constexpr std::uint64_t UNKNOWN_SIZE = ~0ull;

// Length of a variable-length integer from its first byte: 1 to 8, 0 when the byte is 0.
int VintLength(std::uint8_t first);

// An element id of up to four bytes, marker bits kept: its length, 0 when there is none in
// the available bytes or the bytes cannot start one.
int ReadId(const std::uint8_t* p, std::size_t available, std::uint32_t& id);

// A size of up to eight bytes, marker bit removed; UNKNOWN_SIZE when all its bits are ones.
// Its length, 0 when the bytes cannot start one.
int ReadSize(const std::uint8_t* p, std::size_t available, std::uint64_t& size);

// Unsigned and signed integers and floats of the data's length (floats: 4 or 8 bytes, else 0).
std::uint64_t ReadUnsigned(const std::uint8_t* p, std::size_t length);
double ReadFloat(const std::uint8_t* p, std::size_t length);

// One element read from memory: where its data starts and how long it is.
struct Element
{
    std::uint32_t id = 0;
    std::size_t header = 0; // id and size bytes
    std::uint64_t size = 0;
};

// The element at p, false when its header is not whole or its data passes the available bytes.
bool ReadElement(const std::uint8_t* p, std::size_t available, Element& element);

// Writing: elements appended to a byte buffer, sizes in their shortest form unless a width is given.
void PutId(std::vector<std::uint8_t>& out, std::uint32_t id);
void PutSize(std::vector<std::uint8_t>& out, std::uint64_t size, int width = 0);
// An unsigned number of width bytes, or of as few as it needs when width is 0.
void PutUnsigned(std::vector<std::uint8_t>& out, std::uint32_t id, std::uint64_t value,
                 std::size_t width = 0);
void PutFloat(std::vector<std::uint8_t>& out, std::uint32_t id, double value);
void PutString(std::vector<std::uint8_t>& out, std::uint32_t id, const std::string& value);
void PutBytes(std::vector<std::uint8_t>& out, std::uint32_t id, const std::vector<std::uint8_t>& data);
// Bytes an id, a size and an unsigned number take.
std::size_t IdLength(std::uint32_t id);
std::size_t SizeLength(std::uint64_t size);
std::size_t UnsignedLength(std::uint64_t value);

} // namespace pg::clipmend::ebml
