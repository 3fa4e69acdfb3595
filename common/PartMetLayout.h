#pragma once
// The layout of the client's NNN.part.met metadata files, walked here for both programs: a version
// byte, a 4-byte date, the 16-byte file id, a 16-bit count of 16-byte part hashes and the hashes, a
// 32-bit tag count and the tags. A tag is a type byte, a 16-bit name length and the name, then for a
// string tag a 16-bit length and that many bytes, for an integer tag a 32-bit number. Numbers are
// little-endian and signed; a negative count means none, a negative length cannot be read.
#include <cstddef>
#include <cstdint>
#include <string>

namespace pg::partmet {

constexpr unsigned char VERSION = 0xE0;
constexpr unsigned char STRING_TAG = 2;
constexpr unsigned char INTEGER_TAG = 3;
// First byte of the longer names of the gap tags; the gap's number follows it as text.
constexpr unsigned char GAP_START_BYTE = 0x09;
constexpr unsigned char GAP_END_BYTE = 0x0A;

using Hash = unsigned char[16];

struct Tag
{
    unsigned char type = 0;
    std::string name;        // all its bytes; zero bytes included
    std::string value;       // string tags
    std::int32_t number = 0; // integer tags

    // Names of one byte carry the tag's id; longer ones are the gap tags' or free-form.
    bool HasId() const { return name.size() == 1; }
    unsigned char Id() const { return static_cast<unsigned char>(name[0]); }
    bool IsGapStart() const { return IsGap(GAP_START_BYTE); }
    bool IsGapEnd() const { return IsGap(GAP_END_BYTE); }

private:
    bool IsGap(unsigned char marker) const
    {
        return type == INTEGER_TAG && name.size() >= 2 && static_cast<unsigned char>(name[0]) == marker;
    }
};

// Where a walk found the file short or wrong; `detail` of the walk's failure says which hash or
// which tag type.
enum class Failure {
    None,
    Version,
    WrongVersion,
    Date,
    FileId,
    HashCount,
    Hash,
    TagCount,
    TagType,
    NameLength,
    Name,
    ValueLength,
    Value,
    UnknownTagType
};

struct WalkResult
{
    Failure failure = Failure::None;
    int detail = 0;

    bool Complete() const { return failure == Failure::None; }
};

namespace detail {

template <typename Reader> bool ReadInt16(Reader& in, std::int16_t& value)
{
    unsigned char bytes[2];
    if (!in.Bytes(bytes, sizeof bytes))
        return false;
    value = static_cast<std::int16_t>(bytes[0] | bytes[1] << 8);
    return true;
}

template <typename Reader> bool ReadInt32(Reader& in, std::int32_t& value)
{
    unsigned char bytes[4];
    if (!in.Bytes(bytes, sizeof bytes))
        return false;
    value = static_cast<std::int32_t>(std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 |
                                      std::uint32_t{bytes[2]} << 16 | std::uint32_t{bytes[3]} << 24);
    return true;
}

template <typename Reader> bool ReadField(Reader& in, std::int16_t length, std::string& bytes)
{
    if (length < 0)
        return false;
    bytes.assign(static_cast<std::size_t>(length), '\0');
    return in.Bytes(reinterpret_cast<unsigned char*>(bytes.data()), bytes.size());
}

} // namespace detail

// Reads a metadata file from `in` (bool Bytes(unsigned char*, std::size_t), false when the bytes end
// first) and hands each part to `visitor` as it is read:
//   FileId(const Hash&), HashesBegin(), PartHash(int index, const Hash&), TagsBegin(),
//   bool OnTag(const Tag&) (false ends the walk there, as complete).
// The walk stops at the first part it cannot read and says which.
template <typename Reader, typename Visitor> WalkResult Walk(Reader& in, Visitor& visitor)
{
    using detail::ReadField;
    using detail::ReadInt16;
    using detail::ReadInt32;
    unsigned char version;
    if (!in.Bytes(&version, 1))
        return {Failure::Version};
    if (version != VERSION)
        return {Failure::WrongVersion};
    unsigned char date[4];
    if (!in.Bytes(date, sizeof date))
        return {Failure::Date};
    Hash fileId;
    if (!in.Bytes(fileId, sizeof fileId))
        return {Failure::FileId};
    visitor.FileId(fileId);

    std::int16_t hashCount;
    if (!ReadInt16(in, hashCount))
        return {Failure::HashCount};
    visitor.HashesBegin();
    for (int i = 0; i < hashCount; ++i) {
        Hash hash;
        if (!in.Bytes(hash, sizeof hash))
            return {Failure::Hash, i};
        visitor.PartHash(i, hash);
    }

    std::int32_t tagCount;
    if (!ReadInt32(in, tagCount))
        return {Failure::TagCount};
    visitor.TagsBegin();
    Tag tag;
    for (std::int32_t i = 0; i < tagCount; ++i) {
        if (!in.Bytes(&tag.type, 1))
            return {Failure::TagType};
        std::int16_t nameLength;
        if (!ReadInt16(in, nameLength))
            return {Failure::NameLength};
        if (!ReadField(in, nameLength, tag.name))
            return {Failure::Name};
        if (tag.type == STRING_TAG) {
            std::int16_t valueLength;
            if (!ReadInt16(in, valueLength))
                return {Failure::ValueLength};
            if (!ReadField(in, valueLength, tag.value))
                return {Failure::Value};
        } else if (tag.type == INTEGER_TAG) {
            if (!ReadInt32(in, tag.number))
                return {Failure::Value};
        } else {
            return {Failure::UnknownTagType, tag.type};
        }
        if (!visitor.OnTag(tag))
            break;
    }
    return {};
}

} // namespace pg::partmet
