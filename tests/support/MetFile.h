#pragma once
// Bytes of a NNN.part.met metadata file put together field by field, little-endian.
#include <cstdint>
#include <optional>
#include <string>

namespace pgtest {

class MetFile
{
public:
    MetFile& Byte(unsigned value)
    {
        m_bytes += static_cast<char>(value);
        return *this;
    }
    MetFile& Int16(int value) { return Byte(value & 0xFF).Byte((value >> 8) & 0xFF); }
    MetFile& Int32(std::int64_t value)
    {
        return Int16(static_cast<int>(value & 0xFFFF)).Int16(static_cast<int>((value >> 16) & 0xFFFF));
    }
    MetFile& Raw(const std::string& bytes)
    {
        m_bytes += bytes;
        return *this;
    }
    // Version 0xE0, a date, the file id 00 01 .. 0f, `hashes` partial hashes (hash i is 16 bytes
    // of value i) and the tag count: `tags`, or without it the number of tags written after it.
    MetFile& Header(int hashes = 0, std::optional<std::int32_t> tags = std::nullopt)
    {
        Byte(0xE0).Int32(0x12345678);
        for (unsigned i = 0; i < 16; ++i)
            Byte(i);
        Int16(hashes);
        for (int i = 0; i < hashes; ++i)
            Raw(std::string(16, static_cast<char>(i)));
        if (!tags)
            m_countAt = m_bytes.size();
        return Int32(tags.value_or(0));
    }
    MetFile& StringTag(const std::string& name, const std::string& value)
    {
        ++m_tags;
        return Byte(2)
            .Int16(static_cast<int>(name.size()))
            .Raw(name)
            .Int16(static_cast<int>(value.size()))
            .Raw(value);
    }
    MetFile& IntTag(const std::string& name, std::int64_t value)
    {
        ++m_tags;
        return Byte(3).Int16(static_cast<int>(name.size())).Raw(name).Int32(value);
    }

    // The tags the client writes for a download.
    MetFile& Name(const std::string& fileName) { return StringTag("\x01", fileName); }
    MetFile& Size(std::uint32_t size) { return IntTag("\x02", size); }
    MetFile& Copied(std::uint32_t copied) { return IntTag("\x08", copied); }
    MetFile& Gap(int number, std::uint32_t start, std::uint32_t end)
    {
        const std::string digits = std::to_string(number);
        return IntTag("\x09" + digits, start).IntTag("\x0A" + digits, end);
    }

    std::string str() const
    {
        std::string bytes = m_bytes;
        if (m_countAt != std::string::npos)
            for (int i = 0; i < 4; ++i)
                bytes[m_countAt + i] =
                    static_cast<char>((static_cast<std::uint32_t>(m_tags) >> (8 * i)) & 0xFF);
        return bytes;
    }

private:
    std::string m_bytes;
    // Where the counted tag count goes; npos when the header gave the count.
    std::size_t m_countAt = std::string::npos;
    std::int32_t m_tags = 0;
};

} // namespace pgtest
