#include "FileIo.h"
#include "FileSink.h"
#include "TestAvi.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

using namespace pg::clipmend;
using clipmendtest::Bytes;

// Views of a byte vector, as the system's mapping would hand them out.
class ViewedBytes final : public MappedSource
{
public:
    ViewedBytes(const Bytes& bytes, std::uint64_t alignment, std::uint64_t viewSize)
        : MappedSource(bytes.size(), alignment, viewSize), m_bytes(bytes)
    {
    }
    ~ViewedBytes() override { UnmapCurrent(); }

    int maps = 0;
    int open = 0;

private:
    const std::uint8_t* MapView(std::uint64_t start, std::size_t length) override
    {
        EXPECT_EQ(0u, start % 16);
        EXPECT_LE(start + length, m_bytes.size());
        ++maps;
        ++open;
        return m_bytes.data() + start;
    }
    void UnmapView(const std::uint8_t*, std::size_t) override { --open; }

    const Bytes& m_bytes;
};

TEST(MappedSourceTest, ViewsStartAlignedAndCoverWhatIsAskedFor)
{
    const Bytes bytes = clipmendtest::Pattern(1000, 3);
    ViewedBytes source(bytes, 16, 64);
    std::size_t available = 0;
    const std::uint8_t* p = source.Map(100, 30, available);
    EXPECT_EQ(bytes.data() + 100, p);
    EXPECT_EQ(30u, available);
    // Longer than a usual view: the view grows to hold it.
    p = source.Map(90, 200, available);
    EXPECT_EQ(bytes.data() + 90, p);
    EXPECT_EQ(200u, available);
    EXPECT_EQ(nullptr, source.Map(1000, 1, available));
    p = source.Map(990, 50, available);
    EXPECT_EQ(10u, available);
    EXPECT_EQ(1, source.open);
}

TEST(MappedSourceTest, ReadsAcrossViewsAndReusesTheCurrentOne)
{
    const Bytes bytes = clipmendtest::Pattern(1000, 5);
    ViewedBytes source(bytes, 16, 64);
    Bytes copy(bytes.size());
    EXPECT_EQ(bytes.size(), source.ReadAt(0, copy.data(), copy.size()));
    EXPECT_EQ(bytes, copy);
    const int maps = source.maps;
    std::size_t available = 0;
    source.Map(999, 1, available);
    source.Map(995, 4, available);
    EXPECT_EQ(maps, source.maps);
    SourceReader reader(source);
    EXPECT_EQ(SourceReader::MAPPED_SPAN, reader.WindowSize());
    EXPECT_EQ(bytes.data() + 500, reader.Peek(500, 100));
}

TEST(SourceReaderTest, WindowRefillsWhereTheLookLeavesIt)
{
    const Bytes bytes = clipmendtest::Pattern(300, 7);
    MemorySource source(bytes);
    SourceReader reader(source, 64);
    const std::uint8_t* p = reader.Peek(10, 64);
    ASSERT_NE(nullptr, p);
    EXPECT_TRUE(std::equal(p, p + 64, bytes.begin() + 10));
    EXPECT_EQ(nullptr, reader.Peek(10, 65));  // more than a window
    EXPECT_EQ(nullptr, reader.Peek(290, 11)); // past the end
    std::size_t available = 0;
    p = reader.PeekUpTo(290, 64, available);
    EXPECT_EQ(10u, available);
    EXPECT_EQ(bytes[295], p[5]);
}

// Counts the reads that reach the source, as each would be a system call on a file.
class CountedReads final : public ByteSource
{
public:
    explicit CountedReads(const Bytes& bytes) : m_bytes(bytes) {}

    std::uint64_t Size() const override { return m_bytes.Size(); }
    std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t n) override
    {
        ++reads;
        return m_bytes.ReadAt(offset, buffer, n);
    }

    int reads = 0;

private:
    MemorySource m_bytes;
};

TEST(SourceReaderTest, LookAheadKeepsTheWindowUntilTooFewBytesAreLeft)
{
    const Bytes bytes = clipmendtest::Pattern(300, 9);
    CountedReads source(bytes);
    SourceReader reader(source, 64);
    std::size_t available = 0;
    const std::uint8_t* window = reader.PeekAhead(0, 8, available);
    ASSERT_NE(nullptr, window);
    EXPECT_EQ(64u, available);
    // Inside the window with enough left: the rest of it, read no second time.
    EXPECT_EQ(window + 56, reader.PeekAhead(56, 8, available));
    EXPECT_EQ(8u, available);
    EXPECT_EQ(1, source.reads);
    // Fewer than the minimum left at the window's end: the next window's bytes follow the end of
    // this one, which stays at hand for a look back.
    const std::uint8_t* p = reader.PeekAhead(58, 8, available);
    EXPECT_EQ(2, source.reads);
    ASSERT_EQ(70u, available);
    EXPECT_TRUE(std::equal(p, p + 70, bytes.begin() + 58));
    p = reader.Peek(20, 64);
    ASSERT_NE(nullptr, p);
    EXPECT_TRUE(std::equal(p, p + 64, bytes.begin() + 20));
    EXPECT_EQ(2, source.reads);
    // A look elsewhere starts the window there; one that reaches the end of the source hands out
    // its last bytes without a refill.
    p = reader.PeekAhead(250, 8, available);
    ASSERT_EQ(50u, available);
    EXPECT_EQ(p + 46, reader.PeekAhead(296, 8, available));
    EXPECT_EQ(4u, available);
    EXPECT_EQ(bytes[299], p[49]);
    EXPECT_EQ(3, source.reads);
    EXPECT_EQ(nullptr, reader.PeekAhead(300, 8, available));
    EXPECT_EQ(0u, available);
}

// Reads when told to start, as the thread would, and remembers what it was asked.
class RecordedReadAhead final : public ReadAhead
{
public:
    void Start(ByteSource& source, std::uint64_t offset, std::uint8_t* buffer, std::size_t n) override
    {
        offsets.push_back(offset);
        m_got = source.ReadAt(offset, buffer, n);
    }
    std::size_t Finish() override { return m_got; }

    std::vector<std::uint64_t> offsets;

private:
    std::size_t m_got = 0;
};

TEST(SourceReaderTest, WalkThroughTheSourceFindsEachNextStretchReadAhead)
{
    const Bytes bytes = clipmendtest::Pattern(1000, 11);
    CountedReads source(bytes);
    RecordedReadAhead ahead;
    SourceReader reader(source, 64, &ahead);
    // Packets of 50 bytes, each looked at again after the next one's header: every byte is read
    // once, all but the first three windows' by the read-ahead, which starts once the walk has
    // moved on twice.
    for (std::uint64_t at = 0; at < bytes.size(); at += 50) {
        const std::uint8_t* header = reader.Peek(at, std::min<std::uint64_t>(4, bytes.size() - at));
        ASSERT_NE(nullptr, header);
        EXPECT_EQ(bytes[at], header[0]);
        if (at >= 50) {
            const std::uint8_t* before = reader.Peek(at - 50, 50);
            ASSERT_NE(nullptr, before);
            EXPECT_TRUE(
                std::equal(before, before + 50, bytes.begin() + static_cast<std::ptrdiff_t>(at - 50)));
        }
    }
    EXPECT_EQ(16, source.reads);
    EXPECT_EQ(13u, ahead.offsets.size());
    // Looks that go back and forth, each moving on at most once, start no read-ahead.
    for (std::uint64_t at = 100; at < 900; at += 200) {
        const std::uint8_t* p = reader.Peek(at, 10);
        ASSERT_NE(nullptr, p);
        EXPECT_EQ(bytes[at], p[0]);
        p = reader.Peek(at + 60, 10);
        ASSERT_NE(nullptr, p);
        EXPECT_EQ(bytes[at + 60], p[0]);
    }
    EXPECT_EQ(13u, ahead.offsets.size());
    // Stopped, it reads no more ahead however the walk goes on.
    reader.StopReadingAhead();
    for (std::uint64_t at = 0; at < bytes.size(); at += 50)
        ASSERT_NE(nullptr, reader.Peek(at, 4));
    EXPECT_EQ(13u, ahead.offsets.size());
    Bytes direct(10);
    EXPECT_EQ(10u, reader.ReadAt(990, direct.data(), direct.size()));
    EXPECT_EQ(bytes[995], direct[5]);
}

TEST(FileIoTest, WrittenFileReadsBackWithLongAndShortWritesAndBytesMadeInPlace)
{
    const std::string path = testing::TempDir() + "clipmend-fileio.bin";
    const Bytes large = clipmendtest::Pattern(5 << 20, 1); // above half the sink's buffer
    const Bytes small = clipmendtest::Pattern(1000, 2);
    // Bytes made in place: within the sink's buffer, past what is left of it, past its size; each
    // keeps all but 7.
    const Bytes made = clipmendtest::Pattern(300, 3);
    const Bytes madeHalf = clipmendtest::Pattern(150 << 10, 4);
    const Bytes madeLarge = clipmendtest::Pattern(1 << 20, 5);
    Bytes expected;
    {
        const std::unique_ptr<FileSink> sink = FileSink::Create(path);
        ASSERT_TRUE(sink);
        const auto write = [&](const Bytes& bytes) {
            EXPECT_TRUE(sink->Write(bytes.data(), bytes.size()));
            expected.insert(expected.end(), bytes.begin(), bytes.end());
        };
        const auto make = [&](const Bytes& bytes) {
            std::uint8_t* room = sink->Room(bytes.size());
            ASSERT_TRUE(room);
            std::copy(bytes.begin(), bytes.end(), room);
            EXPECT_TRUE(sink->Commit(bytes.size() - 7));
            expected.insert(expected.end(), bytes.begin(), bytes.end() - 7);
        };
        write(small);
        make(made);
        write(large);
        make(madeLarge);
        write(small);
        make(madeHalf);
        make(madeHalf);
        EXPECT_EQ(expected.size(), sink->Position());
        EXPECT_TRUE(sink->Close());
    }
    const std::unique_ptr<FileSource> source = FileSource::Open(path);
    ASSERT_TRUE(source);
    ASSERT_EQ(expected.size(), source->Size());
    SourceReader reader(*source, 4096);
    MemorySink copy;
    ASSERT_TRUE(copy.CopyFrom(reader, 0, source->Size()));
    EXPECT_TRUE(copy.Bytes() == expected);
    Bytes tail(10);
    EXPECT_EQ(10u, source->ReadAt(source->Size() - 10, tail.data(), 20));
    EXPECT_EQ(0u, source->ReadAt(source->Size(), tail.data(), 1));

    // Ranges of a file that is read go straight into the sink's buffers, or are copied by the
    // system where it copies, between other writes and in their order.
    const std::string copyPath = testing::TempDir() + "clipmend-fileio-copy.bin";
    Bytes copied;
    {
        const std::unique_ptr<FileSink> sink = FileSink::Create(copyPath);
        ASSERT_TRUE(sink);
        const auto take = [&](std::uint64_t offset, std::size_t n) {
            EXPECT_TRUE(sink->CopyFrom(reader, offset, n));
            copied.insert(copied.end(), expected.begin() + static_cast<std::ptrdiff_t>(offset),
                          expected.begin() + static_cast<std::ptrdiff_t>(offset + n));
        };
        const auto aside = [&](std::uint64_t offset, std::size_t n) {
            EXPECT_TRUE(sink->CopyAside(reader, offset, n));
            copied.insert(copied.end(), expected.begin() + static_cast<std::ptrdiff_t>(offset),
                          expected.begin() + static_cast<std::ptrdiff_t>(offset + n));
        };
        take(17, 600 << 10); // across two of the sink's buffers
        EXPECT_TRUE(sink->Write(small.data(), small.size()));
        copied.insert(copied.end(), small.begin(), small.end());
        aside(5, 3 << 20);
        take(expected.size() - 1000, 1000);
        aside(expected.size() - (1 << 20), 1 << 20);
        aside(3, 100);
        EXPECT_EQ(copied.size(), sink->Position());
        EXPECT_FALSE(sink->CopyFrom(reader, expected.size() - 10, 20));
        EXPECT_FALSE(sink->CopyAside(reader, expected.size() - 10, 20));
        EXPECT_TRUE(sink->Close());
    }
    const std::unique_ptr<FileSource> copySource = FileSource::Open(copyPath);
    ASSERT_TRUE(copySource);
    SourceReader copyReader(*copySource);
    MemorySink readBack;
    ASSERT_TRUE(readBack.CopyFrom(copyReader, 0, copySource->Size()));
    EXPECT_TRUE(readBack.Bytes() == copied);
    std::remove(path.c_str());
    std::remove(copyPath.c_str());
}

#ifndef _WIN32
// The bytes go to the file on a second thread; a write that fails there still fails the close.
TEST(FileIoTest, FullDiskIsReportedByTheClose)
{
    const std::unique_ptr<FileSink> sink = FileSink::Create("/dev/full");
    ASSERT_TRUE(sink);
    const Bytes bytes = clipmendtest::Pattern(3 << 20, 6);
    sink->Write(bytes.data(), bytes.size());
    EXPECT_FALSE(sink->Close());
}
#endif

TEST(FileIoTest, MissingFilesAndFoldersAreReported)
{
    EXPECT_FALSE(FileSource::Open(testing::TempDir() + "no-such-file.avi"));
    EXPECT_FALSE(FileSink::Create(testing::TempDir() + "no-such-folder/out.avi"));
}

} // namespace
