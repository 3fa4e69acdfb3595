#include "catalogue/PartMetFile.h"

#include "ClientFile.h"
#include "PartMetLayout.h"
#include "catalogue/DecimalText.h"
#include "framework/Text.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstring>
#include <iterator>
#include <limits>
#include <memory>
#include <string_view>

namespace pg {

namespace {

constexpr unsigned char FILE_NAME_ID = 0x01;
constexpr unsigned char FILE_SIZE_ID = 0x02;
constexpr unsigned char FILE_TYPE_ID = 0x03;
constexpr unsigned char FILE_FORMAT_ID = 0x04;
constexpr unsigned char COPIED_ID = 0x08;
constexpr unsigned char TEMP_FILE_NAME_ID = 0x12;
constexpr unsigned char PRIORITY_ID = 0x13;
constexpr unsigned char STATUS_ID = 0x14;

// The ed2k part size, 9500 KiB.
constexpr std::int32_t PART_SIZE = 9728000;
constexpr std::int32_t NO_GAP = std::numeric_limits<std::int32_t>::max();

} // namespace

// The metadata's bytes: taken from a stream in large reads and handed out in the small pieces the
// layout needs (the runtime's stream functions lock the stream on every call, which made a refresh
// of many downloads pay more for the calls than for the bytes), or handed out of bytes read before.
class ByteReader
{
public:
    explicit ByteReader(std::FILE* in) : m_in(in), m_data(m_buffer) {}
    explicit ByteReader(std::string_view bytes)
        : m_data(reinterpret_cast<const unsigned char*>(bytes.data())), m_end(bytes.size())
    {
    }
    ByteReader(const ByteReader&) = delete;
    ByteReader& operator=(const ByteReader&) = delete;

    // False when the bytes end before `count` of them.
    bool Bytes(unsigned char* data, std::size_t count)
    {
        while (count > 0) {
            if (m_next == m_end && !Refill())
                return false;
            const std::size_t piece = std::min(count, m_end - m_next);
            std::memcpy(data, m_data + m_next, piece);
            m_next += piece;
            data += piece;
            count -= piece;
        }
        return true;
    }

private:
    bool Refill()
    {
        if (m_in == nullptr)
            return false;
        m_next = 0;
        m_end = std::fread(m_buffer, 1, sizeof m_buffer, m_in);
        return m_end > 0;
    }

    std::FILE* m_in = nullptr;
    unsigned char m_buffer[4096];
    const unsigned char* m_data;
    std::size_t m_next = 0;
    std::size_t m_end = 0;
};

namespace {

// "%02x" of one byte.
void AppendHexByte(std::string& text, unsigned char byte)
{
    static constexpr char DIGITS[] = "0123456789abcdef";
    text += DIGITS[byte >> 4];
    text += DIGITS[byte & 0x0F];
}

// Writes dump text to its target, with CR LF line ends where the target asks for them.
void WriteDump(const DumpTarget& dump, std::string_view text)
{
    if (!dump.crlfLineEnds) {
        std::fwrite(text.data(), 1, text.size(), dump.file);
        return;
    }
    std::string converted;
    converted.reserve(text.size() + text.size() / 16);
    for (char c : text) {
        if (c == '\n')
            converted += '\r';
        converted += c;
    }
    std::fwrite(converted.data(), 1, converted.size(), dump.file);
}

// The dump of one read, collected and written to the dump stream in one piece when the read ends
// (and before an error message): an unbuffered stream such as a console then takes one write per
// read instead of one per number.
class DumpBuffer
{
public:
    explicit DumpBuffer(const DumpTarget& dump) : m_dump(dump) {}
    DumpBuffer(const DumpBuffer&) = delete;
    DumpBuffer& operator=(const DumpBuffer&) = delete;
    ~DumpBuffer() { Flushed(); }

    void Append(std::string_view text) { m_text += text; }

    void Printf(const char* format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
    {
        va_list args;
        va_start(args, format);
        fw::AppendFormatV(m_text, format, args);
        va_end(args);
    }

    // "hash %3d =" for a hash number from 0 to 32767, the most frequent line of the dump.
    void HashLabel(int number)
    {
        const std::string digits = std::to_string(number);
        m_text += "hash ";
        if (digits.size() < 3)
            m_text.append(3 - digits.size(), ' ');
        m_text += digits;
        m_text += " =";
    }

    // " %02x" for each byte, then a line feed.
    void Hash(const unsigned char (&hash)[16])
    {
        for (unsigned char byte : hash) {
            m_text += ' ';
            AppendHexByte(m_text, byte);
        }
        m_text += '\n';
    }

    // Writes what has been collected and yields the dump stream, for an error message to follow.
    const DumpTarget& Flushed()
    {
        if (!m_text.empty())
            WriteDump(m_dump, m_text);
        m_text.clear();
        return m_dump;
    }

private:
    DumpTarget m_dump;
    std::string m_text;
};

std::string MegaBytes(std::int32_t bytes)
{
    return FormatFixed(std::ldexp(static_cast<double>(bytes), -20), 2);
}

// Gap arithmetic wraps around like the 32-bit registers it was made for.
std::int32_t WrappingSub(std::int32_t a, std::int32_t b)
{
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) - static_cast<std::uint32_t>(b));
}

std::int32_t WrappingAdd(std::int32_t a, std::int32_t b)
{
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}

} // namespace

bool PartMetFile::Read(std::FILE* in, const DumpTarget& dump)
{
    ByteReader bytes(in);
    return ReadMet(bytes, dump, false);
}

bool PartMetFile::ReadFromMemory(std::string_view bytes, const DumpTarget& dump)
{
    ByteReader reader(bytes);
    return ReadMet(reader, dump, false);
}

bool PartMetFile::ReadUntilFirstGap(std::FILE* in, const DumpTarget& dump)
{
    ByteReader bytes(in);
    return ReadMet(bytes, dump, true);
}

namespace {

// The dump of the layout's parts as they are read, and the fields they set.
class MetDump
{
public:
    MetDump(PartMetFile& met, DumpBuffer& out, bool untilFirstGap)
        : m_met(met), m_out(out), m_untilFirstGap(untilFirstGap)
    {
    }

    void FileId(const partmet::Hash& id)
    {
        std::copy(std::begin(id), std::end(id), m_fileId);
        m_out.Append("file id  =");
        m_out.Hash(id);
    }
    void HashesBegin() { m_out.Append("\n"); }
    void PartHash(int index, const partmet::Hash& hash)
    {
        m_out.HashLabel(index);
        m_out.Hash(hash);
    }
    void TagsBegin() { m_out.Append("\n"); }

    bool OnTag(const partmet::Tag& tag)
    {
        if (tag.type == partmet::STRING_TAG)
            StringTag(tag);
        else if (tag.HasId())
            IntegerTagWithId(tag.Id(), tag.number);
        else
            return IntegerTag(tag);
        return true;
    }

    // After the whole tag list: the totals and the link.
    void Finish()
    {
        m_out.Append("\n");
        m_out.Printf("%d bytes = %s mb missing\n", m_missing, MegaBytes(m_missing).c_str());
        if (!m_untilFirstGap && m_firstGap < NO_GAP)
            m_out.Printf("first gap starts at %d (%d blocks are complete)\n", m_firstGap,
                         m_firstGap / PART_SIZE);
        m_out.Append("\n");

        std::string hex;
        for (unsigned char byte : m_fileId)
            AppendHexByte(hex, byte);
        m_met.m_link = fw::Format("ed2k://|file|%s|%d|%s|", m_linkName.c_str(), m_lastFileSize, hex.c_str());
        if (m_untilFirstGap)
            m_met.m_firstGapStart = m_lastFileSize;
    }

    bool StoppedAtGap() const { return m_stoppedAtGap; }

private:
    void StringTag(const partmet::Tag& tag)
    {
        const char* text = tag.value.c_str();
        if (!tag.HasId()) {
            m_out.Printf("%-13s = \"%s\"\n", tag.name.c_str(), text);
            return;
        }
        switch (tag.Id()) {
        case FILE_NAME_ID:
            m_out.Printf("filename      = \"%s\"\n", text);
            m_met.m_fileName = text;
            m_linkName = text;
            break;
        case FILE_TYPE_ID:
            m_out.Printf("file type     = \"%s\"\n", text);
            m_met.m_fileType = text;
            break;
        case FILE_FORMAT_ID:
            m_out.Printf("file format   = \"%s\"\n", text);
            m_met.m_fileFormat = text;
            break;
        case TEMP_FILE_NAME_ID:
            m_out.Printf("tempfile name = \"%s\"\n", text);
            break;
        default:
            m_out.Printf("tag number %02d = \"%s\"\n", static_cast<signed char>(tag.Id()), text);
            break;
        }
    }

    void IntegerTagWithId(unsigned char id, std::int32_t number)
    {
        switch (id) {
        case FILE_SIZE_ID:
            m_out.Printf("file size     = %d (%s mb)\n", number, MegaBytes(number).c_str());
            m_lastFileSize = number;
            if (!m_untilFirstGap)
                m_met.m_fileSize = number;
            break;
        case COPIED_ID:
            m_out.Printf("copied so far = %d (%s mb)\n", number, MegaBytes(number).c_str());
            if (!m_untilFirstGap)
                m_met.m_copied = number;
            break;
        case PRIORITY_ID:
            m_out.Printf("priority      = %s\n", PartMetFile::PriorityName(number).c_str());
            break;
        case STATUS_ID:
            m_out.Printf("status        = %s\n", PartMetFile::StatusName(number).c_str());
            break;
        default:
            m_out.Printf("tag number %02d = %d\n", static_cast<signed char>(id), number);
            break;
        }
    }

    // False once the first gap start ends a read that looks for it.
    bool IntegerTag(const partmet::Tag& tag)
    {
        const std::int32_t number = tag.number;
        if (tag.IsGapStart()) {
            // The gap number after the marker byte only labels the dump; gaps pair by order.
            const char* gapNumber = tag.name.c_str() + 1;
            if (std::string_view(gapNumber) == "0")
                m_out.Append("\n");
            m_out.Printf("gap %3s from %10d", gapNumber, number);
            m_gapStart = number;
            if (m_untilFirstGap) {
                m_met.m_firstGapStart = number;
                m_stoppedAtGap = true;
                return false;
            }
            if (number < m_firstGap)
                m_firstGap = number;
        } else if (tag.IsGapEnd()) {
            const std::int32_t gapLength = WrappingSub(number, m_gapStart);
            m_missing = WrappingAdd(m_missing, gapLength);
            m_out.Printf(" to %10d = %10d bytes missing\n", number, gapLength);
        } else {
            m_out.Printf("%-13s = %d\n", tag.name.c_str(), number);
        }
        return true;
    }

    PartMetFile& m_met;
    DumpBuffer& m_out;
    bool m_untilFirstGap;
    unsigned char m_fileId[16] = {};
    std::string m_linkName = "unknown";
    std::int32_t m_lastFileSize = 0;
    std::int32_t m_gapStart = 0;
    std::int32_t m_missing = 0;
    std::int32_t m_firstGap = NO_GAP;
    bool m_stoppedAtGap = false;
};

} // namespace

bool PartMetFile::ReadMet(ByteReader& in, const DumpTarget& dump, bool untilFirstGap)
{
    DumpBuffer out(dump);
    if (!untilFirstGap) {
        m_fileSize = 0;
        m_copied = 0;
    }
    MetDump visitor(*this, out, untilFirstGap);
    const partmet::WalkResult walk = partmet::Walk(in, visitor);
    switch (walk.failure) {
    case partmet::Failure::None:
        break;
    case partmet::Failure::Version:
        return PrintError(out.Flushed(), "cannot read version\n");
    case partmet::Failure::WrongVersion:
        return PrintError(out.Flushed(), "version != 224\n");
    case partmet::Failure::Date:
        return PrintError(out.Flushed(), "cannot read date\n");
    case partmet::Failure::FileId:
        return PrintError(out.Flushed(), "cannot read file id\n");
    case partmet::Failure::HashCount:
        return PrintError(out.Flushed(), "cannot read number of partial hashes\n");
    case partmet::Failure::Hash:
        return PrintError(out.Flushed(), "cannot read hash %d\n", walk.detail);
    case partmet::Failure::TagCount:
        return PrintError(out.Flushed(), "cannot read number of number of meta tags\n");
    case partmet::Failure::TagType:
        return PrintError(out.Flushed(), "cannot read tag type\n");
    case partmet::Failure::NameLength:
        return PrintError(out.Flushed(), "cannot read name length\n");
    case partmet::Failure::Name:
        return PrintError(out.Flushed(), "cannot read name\n");
    case partmet::Failure::ValueLength:
        return PrintError(out.Flushed(), "cannot read value length\n");
    case partmet::Failure::Value:
        return PrintError(out.Flushed(), "cannot read value\n");
    case partmet::Failure::UnknownTagType:
        return PrintError(out.Flushed(), "unknown tag type %d\n", walk.detail);
    }
    if (!visitor.StoppedAtGap())
        visitor.Finish();
    return true;
}

std::string PartMetFile::PriorityName(std::int32_t priority)
{
    switch (priority) {
    case 0:
        return "Low";
    case 1:
        return "Normal";
    case 2:
        return "High";
    default:
        return fw::Format("unknown (%d)", priority);
    }
}

std::string PartMetFile::StatusName(std::int32_t status)
{
    switch (status) {
    case 0:
        return "Looking...";
    case 1:
        return "Paused";
    default:
        return fw::Format("unknown (%d)", status);
    }
}

bool PartMetFile::PrintError(const DumpTarget& dump, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    const std::string message = fw::FormatV(format, args);
    va_end(args);
    WriteDump(dump, message);
    return false;
}

namespace {

PartInfo InfoAfterRead(const PartMetFile& met, bool read)
{
    PartInfo info;
    info.read = read;
    if (read)
        info.name = met.m_fileName;
    // Sizes are unsigned 32-bit, so a download of 2 to 4 GiB still gets its share. A read that
    // broke off after the size and copied tags still yields the share.
    const auto size = static_cast<std::uint32_t>(met.m_fileSize);
    const auto copied = static_cast<std::uint32_t>(met.m_copied);
    if (size > 0)
        info.percent = static_cast<float>(static_cast<double>(copied) / size * 100);
    return info;
}

} // namespace

std::string MetadataPath(const std::string& partPath)
{
    return partPath + ".met";
}

namespace {

FilePtr OpenMetadata(const std::string& partPath)
{
    return OpenClientFile(MetadataPath(partPath));
}

} // namespace

PartInfo GetPartInfo(const std::string& partPath, const DumpTarget& dump)
{
    PartMetFile met;
    const FilePtr file = OpenMetadata(partPath);
    if (!file)
        return PartInfo();
    const bool read = met.Read(file.get(), dump);
    return InfoAfterRead(met, read);
}

PartInfo PartInfoFromBytes(std::string_view metBytes, const DumpTarget& dump)
{
    PartMetFile met;
    const bool read = met.ReadFromMemory(metBytes, dump);
    return InfoAfterRead(met, read);
}

std::int32_t GetFirstGapStart(const std::string& partPath, const DumpTarget& dump)
{
    PartMetFile met;
    const FilePtr file = OpenMetadata(partPath);
    if (!file || !met.ReadUntilFirstGap(file.get(), dump))
        return 0;
    return met.m_firstGapStart;
}

} // namespace pg
