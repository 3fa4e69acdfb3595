#include "Container.h"
#include "Ebml.h"
#include "MatroskaContainer.h"
#include "MatroskaReader.h"
#include "OutputName.h"
#include "TestAvi.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

namespace {

using namespace pg::clipmend;
using clipmendtest::Bytes;
using clipmendtest::Pattern;

TEST(EbmlTest, NumbersReadAsTheirFirstByteSays)
{
    struct Case
    {
        Bytes bytes;
        int length; // 0: no size can start with these bytes
        std::uint64_t size;
    };
    const Case cases[] = {
        {{0x81}, 1, 1},
        {{0xFE}, 1, 126},
        {{0xFF}, 1, ebml::UNKNOWN_SIZE},
        {{0x40, 0x7F}, 2, 127},
        {{0x7F, 0xFF}, 2, ebml::UNKNOWN_SIZE},
        {{0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, 8, ebml::UNKNOWN_SIZE},
        {{0x01, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00}, 8, 1ull << 32},
        {{0x00, 0x81}, 0, 0}, // a zero byte starts nothing
        {{0x20, 0x00}, 0, 0}, // three bytes announced, two there
    };
    for (const Case& c : cases) {
        std::uint64_t size = 0;
        EXPECT_EQ(ebml::ReadSize(c.bytes.data(), c.bytes.size(), size), c.length) << int(c.bytes[0]);
        if (c.length > 0) {
            EXPECT_EQ(size, c.size) << int(c.bytes[0]);
        }
    }
    // Written sizes read back, the shortest form never all ones.
    for (std::uint64_t value : {0ull, 126ull, 127ull, 16382ull, 16383ull, (1ull << 56) - 2}) {
        Bytes out;
        ebml::PutSize(out, value);
        std::uint64_t back = 0;
        EXPECT_EQ(ebml::ReadSize(out.data(), out.size(), back), static_cast<int>(out.size()));
        EXPECT_EQ(back, value);
    }
    std::uint32_t id = 0;
    const Bytes cluster = {0x1F, 0x43, 0xB6, 0x75}, overlong = {0x40, 0x01}, reserved = {0xFF};
    EXPECT_EQ(ebml::ReadId(cluster.data(), cluster.size(), id), 4);
    EXPECT_EQ(id, ebml::ID_CLUSTER);
    EXPECT_EQ(ebml::ReadId(overlong.data(), overlong.size(), id), 0);
    EXPECT_EQ(ebml::ReadId(reserved.data(), reserved.size(), id), 0);
}

Bytes Element(std::uint32_t id, const Bytes& data)
{
    Bytes out;
    ebml::PutBytes(out, id, data);
    return out;
}

Bytes Join(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

// A WebM file of one video track (1, 25 frames per second) and one audio track (2) in clusters
// of ten frames, each frame followed by an audio block; frame 0 of each cluster is a keyframe.
class MatroskaFile : public ::testing::Test
{
protected:
    static constexpr std::size_t CLUSTERS = 3;
    static constexpr std::size_t FRAMES = 10;

    void SetUp() override { Build(); }

    // audioBlock may replace a frame's audio block; an empty result keeps the usual one.
    void Build(const std::function<Bytes(std::size_t)>& audioBlock = {})
    {
        m_clusterStart.clear();
        m_frameStart.clear();
        Bytes header;
        ebml::PutString(header, ebml::ID_DOC_TYPE, "webm");
        ebml::PutUnsigned(header, ebml::ID_DOC_TYPE_VERSION, 2);
        Bytes info, video, audio;
        ebml::PutUnsigned(info, ebml::ID_TIMESTAMP_SCALE, 1'000'000);
        ebml::PutUnsigned(video, ebml::ID_TRACK_NUMBER, 1);
        ebml::PutUnsigned(video, ebml::ID_TRACK_TYPE, TRACK_VIDEO);
        ebml::PutUnsigned(video, ebml::ID_DEFAULT_DURATION, 40'000'000);
        ebml::PutUnsigned(audio, ebml::ID_TRACK_NUMBER, 2);
        ebml::PutUnsigned(audio, ebml::ID_TRACK_TYPE, TRACK_AUDIO);
        m_file = Join({Element(ebml::ID_EBML, header),
                       {0x18, 0x53, 0x80, 0x67, 0xFF},
                       Element(ebml::ID_INFO, info),
                       Element(ebml::ID_TRACKS, Join({Element(ebml::ID_TRACK_ENTRY, video),
                                                      Element(ebml::ID_TRACK_ENTRY, audio)}))});
        for (std::size_t c = 0; c < CLUSTERS; ++c) {
            m_clusterStart.push_back(m_file.size());
            Bytes cluster;
            ebml::PutUnsigned(cluster, ebml::ID_TIMESTAMP, c * FRAMES * 40);
            Bytes data = Join({{0x1F, 0x43, 0xB6, 0x75, 0x01, 0, 0, 0, 0, 0, 0, 0}, cluster});
            for (std::size_t f = 0; f < FRAMES; ++f) {
                m_frameStart.push_back(m_file.size() + data.size());
                Bytes sound = audioBlock ? audioBlock(c * FRAMES + f) : Bytes{};
                if (sound.empty())
                    sound = Block(2, f * 40 + 10, true, Pattern(100, 7));
                data = Join(
                    {data, Block(1, f * 40, f == 0, Pattern(300, static_cast<std::uint8_t>(c * FRAMES + f))),
                     sound});
            }
            const std::uint64_t size = data.size() - 12;
            for (int i = 0; i < 7; ++i)
                data[5 + i] = static_cast<std::uint8_t>(size >> (8 * (6 - i)));
            m_file = Join({m_file, data});
        }
    }

    static Bytes Block(std::uint8_t track, std::size_t time, bool key, const Bytes& payload,
                       std::uint8_t lacing = 0)
    {
        const Bytes header = {static_cast<std::uint8_t>(0x80 | track), static_cast<std::uint8_t>(time >> 8),
                              static_cast<std::uint8_t>(time),
                              static_cast<std::uint8_t>((key ? 0x80 : 0) | lacing)};
        return Element(ebml::ID_SIMPLE_BLOCK, Join({header, payload}));
    }

    MatroskaSalvage Read(const Bytes& file, const SalvageOptions& options = {})
    {
        MemorySource source(file);
        SourceReader reader(source, 1024);
        MatroskaSalvage result;
        std::string error;
        EXPECT_TRUE(SalvageMatroska(reader, options, result, error)) << error;
        return result;
    }

    // Times of the video frames found, in milliseconds.
    static std::vector<std::int64_t> VideoTimes(const MatroskaSalvage& salvage)
    {
        std::vector<std::int64_t> times;
        for (const MatroskaBlock& b : salvage.blocks)
            if (b.track == 0)
                times.push_back(b.time);
        return times;
    }

    static std::vector<std::int64_t>
    Times(std::initializer_list<std::pair<std::size_t, std::size_t>> frameRanges)
    {
        std::vector<std::int64_t> times;
        for (auto [first, end] : frameRanges)
            for (std::size_t f = first; f < end; ++f)
                times.push_back(static_cast<std::int64_t>(f * 40));
        return times;
    }

    Bytes m_file;
    std::vector<std::uint64_t> m_clusterStart;
    std::vector<std::uint64_t> m_frameStart;
};

TEST_F(MatroskaFile, IntactFileGivesEveryBlockWithItsTime)
{
    const MatroskaSalvage salvage = Read(m_file);
    EXPECT_EQ(salvage.docType, "webm");
    EXPECT_EQ(salvage.blocks.size(), 2 * CLUSTERS * FRAMES);
    EXPECT_EQ(VideoTimes(salvage), Times({{0, 30}}));
    EXPECT_EQ(salvage.report.damagedRegions, 0u);
}

TEST_F(MatroskaFile, HoleInsideATimedClusterCostsOnlyTheBlocksItTouches)
{
    // Zeros from inside frame 13 to inside frame 15: 13 is cut and dropped, 14 and 15 are gone.
    Bytes file = m_file;
    std::fill(file.begin() + static_cast<std::ptrdiff_t>(m_frameStart[13] + 200),
              file.begin() + static_cast<std::ptrdiff_t>(m_frameStart[15] + 50), 0);
    const MatroskaSalvage salvage = Read(file);
    EXPECT_EQ(VideoTimes(salvage), Times({{0, 13}, {16, 30}}));
    EXPECT_EQ(salvage.report.damagedRegions, 1u);
    EXPECT_EQ(salvage.report.resynchronised, 1u);
    EXPECT_EQ(salvage.report.dropped, 1u);

    // Frames 16 to 19 follow the damage without a keyframe and cannot be shown.
    MemorySource source(file);
    SourceReader reader(source, 1024);
    const auto container = CreateMatroskaContainer();
    std::string error;
    RunSummary summary;
    ASSERT_TRUE(container->Read(reader, {}, error));
    ASSERT_TRUE(container->Select({1, 0}, summary, error)) << error;
    EXPECT_EQ(summary.usableFrames, 13u + 10u);
    EXPECT_EQ(summary.undecodableFrames, 4u);
}

TEST_F(MatroskaFile, ClusterWhoseHeaderIsLostIsPassedToTheNextCluster)
{
    // A gap of the metadata over the header of the second cluster and its first frame: its other
    // blocks cannot be timed, so the walk goes on at the third cluster.
    SalvageOptions options;
    options.gaps = {{m_clusterStart[1] + 2, m_frameStart[11] + 10}};
    const MatroskaSalvage salvage = Read(m_file, options);
    EXPECT_EQ(VideoTimes(salvage), Times({{0, 10}, {20, 30}}));
    EXPECT_EQ(salvage.report.damagedRegions, 1u);
}

TEST_F(MatroskaFile, GapListMakesGarbageADroppedBlockAndTheWalkGoesOnAfterIt)
{
    Bytes file = m_file;
    const ByteRange gap{m_frameStart[4] + 20, m_frameStart[6] + 40};
    for (std::uint64_t i = gap.begin; i < gap.end; ++i)
        file[i] = static_cast<std::uint8_t>(i * 151 + 17);
    SalvageOptions options;
    options.gaps = {gap};
    const MatroskaSalvage salvage = Read(file, options);
    EXPECT_EQ(VideoTimes(salvage), Times({{0, 4}, {7, 30}}));
    EXPECT_EQ(salvage.report.dropped, 1u);
}

TEST_F(MatroskaFile, TruncatedFileDropsTheBlockTheEndCut)
{
    const Bytes file(m_file.begin(), m_file.begin() + static_cast<std::ptrdiff_t>(m_frameStart[25] + 100));
    const MatroskaSalvage salvage = Read(file);
    EXPECT_EQ(VideoTimes(salvage), Times({{0, 25}}));
    EXPECT_EQ(salvage.report.dropped, 1u);
    EXPECT_EQ(salvage.report.resynchronised, 0u);
}

TEST_F(MatroskaFile, LacedBlocksAreTakenWholeWhenTheirLaceSizesFit)
{
    struct Case
    {
        std::uint8_t lacing;
        Bytes laceHeader; // frame count - 1, then the sizes of all frames but the last
        bool fits;
    };
    const Case cases[] = {
        {0x02, {2, 150, 130}, true},           // Xiph: 150, 130 and the remaining 120 bytes
        {0x06, {2, 0x40, 0x96, 0xAB}, true},   // EBML: 150, then 150 - 20
        {0x04, {3}, true},                     // fixed: 4 frames of 100 bytes
        {0x02, {2, 255, 255, 255, 10}, false}, // sizes past the block's end
        {0x04, {2}, false},                    // 400 bytes do not split in 3
    };
    for (const Case& c : cases) {
        // Frame 5's audio block becomes a laced one of 400 bytes of frames.
        Bytes payload = c.laceHeader;
        const Bytes frames = Pattern(400, 9);
        payload.insert(payload.end(), frames.begin(), frames.end());
        Build([&](std::size_t frame) {
            return frame == 5 ? Block(2, 5 * 40 + 10, true, payload, c.lacing) : Bytes{};
        });
        const MatroskaSalvage salvage = Read(m_file);
        const bool found =
            std::any_of(salvage.blocks.begin(), salvage.blocks.end(), [&](const MatroskaBlock& b) {
                return b.track == 1 && b.time == 5 * 40 + 10 && b.size == payload.size() &&
                       (b.flags & BLOCK_LACING) == c.lacing;
            });
        EXPECT_EQ(found, c.fits) << int(c.lacing) << " " << int(c.laceHeader.back());
        EXPECT_EQ(salvage.report.damagedRegions, c.fits ? 0u : 1u);
    }
}

TEST(ContainerProbeTest, ContainersAreToldByTheirFirstBytes)
{
    const Bytes avi = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'A', 'V', 'I', ' '};
    Bytes matroska = {0x1A, 0x45, 0xDF, 0xA3, 0x88, 0x42, 0x82, 0x85, 'w', 'e', 'b', 'm', 0};
    const ContainerFormat* format = ProbeContainer(avi.data(), avi.size());
    ASSERT_NE(format, nullptr);
    EXPECT_EQ(format->create()->Kind(), "AVI");
    EXPECT_GT(ProbeMatroska(matroska.data(), matroska.size()), 50);
    EXPECT_NE(ProbeContainer(matroska.data(), matroska.size()), format);
    matroska[8] = 'x'; // an EBML file of another document type
    EXPECT_EQ(ProbeContainer(matroska.data(), matroska.size()), nullptr);
    const Bytes text = {'n', 'o', 't', ' ', 'a', ' ', 'v', 'i', 'd', 'e', 'o', '\n'};
    EXPECT_EQ(ProbeContainer(text.data(), text.size()), nullptr);
}

TEST(OutputNameTest, AnExtensionOfAnotherKindGivesWayToTheInputsKind)
{
    const std::vector<std::string> matroska = {".mkv", ".mka"}, known = KnownExtensions();
    const std::pair<const char*, const char*> cases[] = {
        {"film.mkv", "film.mkv"},
        {"film.MKV", "film.MKV"},
        {"film.mkv.avi", "film.mkv"},
        {"D:\\out\\film.avi", "D:\\out\\film.mkv"},
        {"film.webm", "film.mkv"},
        {"film", "film"},
        {"film.bak", "film.bak"},
        {"D:\\x.avi\\film", "D:\\x.avi\\film"},
        {"film.avi.bak.AVI", "film.avi.bak.mkv"},
    };
    for (const auto& [requested, written] : cases)
        EXPECT_EQ(OutputName(requested, matroska, known), written) << requested;
}

} // namespace
