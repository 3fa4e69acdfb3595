#include "ByteOrder.h"
#include "Keyframe.h"
#include "TestAvi.h"

#include <gtest/gtest.h>

namespace {

using namespace pg::clipmend;
using clipmendtest::Bytes;

TEST(KeyframeTest, Mpeg4CodingTypeOfTheFirstPictureDecides)
{
    EXPECT_EQ(FrameKind::Key, DetectMpeg4Part2(clipmendtest::Mpeg4Frame(0, 40).data(), 40, true));
    EXPECT_EQ(FrameKind::Delta, DetectMpeg4Part2(clipmendtest::Mpeg4Frame(1, 40).data(), 40, true));
    EXPECT_EQ(FrameKind::Delta, DetectMpeg4Part2(clipmendtest::Mpeg4Frame(2, 40).data(), 40, true));
    EXPECT_EQ(FrameKind::Delta, DetectMpeg4Part2(clipmendtest::Mpeg4Frame(3, 40).data(), 40, true)); // sprite
}

TEST(KeyframeTest, Mpeg4HeadersBeforeThePictureAreSkipped)
{
    // Sequence and object layer headers with an intra picture after them; a packed frame
    // that starts with a predicted picture is a delta whatever follows.
    Bytes frame = {0, 0, 1,    0xB0, 0xF5, 0,    0, 1, 0xB5, 0x09, 0,
                   0, 1, 0x20, 0x08, 0xC8, 0x0D, 0, 0, 1,    0xB6, 0x10};
    EXPECT_EQ(FrameKind::Key, DetectMpeg4Part2(frame.data(), frame.size(), true));
    Bytes packed = {0, 0, 1, 0xB6, 0x51, 0x22, 0, 0, 1, 0xB6, 0x10, 0x33};
    EXPECT_EQ(FrameKind::Delta, DetectMpeg4Part2(packed.data(), packed.size(), true));
}

TEST(KeyframeTest, Mpeg4WithoutPictureIsDeltaWhenWholeAndUnknownWhenCutShort)
{
    const Bytes noPicture = {0, 0, 1, 0xB0, 0xF5, 0x11, 0x22, 0x33};
    EXPECT_EQ(FrameKind::Delta, DetectMpeg4Part2(noPicture.data(), noPicture.size(), true));
    EXPECT_EQ(FrameKind::Unknown, DetectMpeg4Part2(noPicture.data(), noPicture.size(), false));
    // A start code split over the end of the bytes seen is no picture.
    const Bytes split = {0x55, 0, 0, 1};
    EXPECT_EQ(FrameKind::Unknown, DetectMpeg4Part2(split.data(), split.size(), false));
}

TEST(KeyframeTest, MsMpeg4PictureTypeInTheFirstTwoBits)
{
    const std::uint8_t intra = 0x3F;
    const std::uint8_t predicted = 0x5F;
    EXPECT_EQ(FrameKind::Key, DetectMsMpeg4(&intra, 1));
    EXPECT_EQ(FrameKind::Delta, DetectMsMpeg4(&predicted, 1));
    EXPECT_EQ(FrameKind::Delta, DetectMsMpeg4(nullptr, 0));
}

// A 16-bit Video 1 frame of 8x8 pixels: four blocks, coded as given.
Bytes Video1Frame(std::initializer_list<Bytes> blocks)
{
    Bytes frame;
    for (const Bytes& b : blocks)
        frame.insert(frame.end(), b.begin(), b.end());
    return frame;
}

TEST(KeyframeTest, Video1FrameIsKeyWhenNoBlockIsSkipped)
{
    const Bytes oneColour = {0x1F, 0x80};
    const Bytes twoColours = {0x0F, 0x33, 0x00, 0x7C, 0xE0, 0x03};
    const Bytes eightColours = {0x0F, 0x33, 0x00, 0xFC, 0xE0, 0x03, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    const Bytes skip = {0x01, 0x84};
    EXPECT_EQ(FrameKind::Key,
              DetectMsVideo1(Video1Frame({oneColour, twoColours, eightColours, oneColour}).data(),
                             2 + 6 + 18 + 2, 8, 8, 16));
    const Bytes skipping = Video1Frame({oneColour, skip, oneColour, oneColour});
    EXPECT_EQ(FrameKind::Delta, DetectMsVideo1(skipping.data(), skipping.size(), 8, 8, 16));
    // Too few bytes for every block: the rest of the picture stays from the frame before.
    const Bytes shortFrame = Video1Frame({oneColour, oneColour, oneColour});
    EXPECT_EQ(FrameKind::Delta, DetectMsVideo1(shortFrame.data(), shortFrame.size(), 8, 8, 16));
    // Eight colours need their twelve further bytes.
    const Bytes cutColours =
        Video1Frame({oneColour, oneColour, oneColour, Bytes(eightColours.begin(), eightColours.end() - 1)});
    EXPECT_EQ(FrameKind::Delta, DetectMsVideo1(cutColours.data(), cutColours.size(), 8, 8, 16));
}

TEST(KeyframeTest, Video1PalettedFramesUseByteColours)
{
    const Bytes oneColour = {0x05, 0x80};
    const Bytes twoColours = {0x0F, 0x33, 7, 9};
    const Bytes eightColours = {0x0F, 0x93, 1, 2, 3, 4, 5, 6, 7, 8};
    const Bytes frame = Video1Frame({oneColour, twoColours, eightColours, oneColour});
    EXPECT_EQ(FrameKind::Key, DetectMsVideo1(frame.data(), frame.size(), 8, 8, 8));
    EXPECT_EQ(FrameKind::Unknown, DetectMsVideo1(frame.data(), frame.size(), 8, 8, 24));
}

TEST(KeyframeTest, CodecClassesAreToldByTheCompressionCode)
{
    EXPECT_EQ(CodecClass::Uncompressed, ClassifyVideoCodec(0));
    EXPECT_EQ(CodecClass::Uncompressed, ClassifyVideoCodec(FourCC("YUY2")));
    EXPECT_EQ(CodecClass::IntraOnly, ClassifyVideoCodec(FourCC("MJPG")));
    EXPECT_EQ(CodecClass::Mpeg4Part2, ClassifyVideoCodec(FourCC("divx")));
    EXPECT_EQ(CodecClass::Mpeg4Part2, ClassifyVideoCodec(FourCC("FMP4")));
    EXPECT_EQ(CodecClass::MsMpeg4, ClassifyVideoCodec(FourCC("DIV3")));
    EXPECT_EQ(CodecClass::MsVideo1, ClassifyVideoCodec(FourCC("CRAM")));
    EXPECT_EQ(CodecClass::Unknown, ClassifyVideoCodec(FourCC("H264")));
}

TEST(KeyframeTest, WithoutIndexOnlyKnownDeltaFramesAreNoKeyframes)
{
    StreamHeader stream;
    stream.codec = CodecClass::Mpeg4Part2;
    const Bytes predicted = clipmendtest::Mpeg4Frame(1, 64);
    EXPECT_FALSE(IsKeyframe(stream, predicted.data(), predicted.size(), 64));
    EXPECT_TRUE(IsKeyframe(stream, predicted.data(), 2, 64)); // could not look far enough
    stream.codec = CodecClass::Unknown;
    EXPECT_TRUE(IsKeyframe(stream, nullptr, 0, 64));
    stream.codec = CodecClass::Uncompressed;
    EXPECT_TRUE(IsKeyframe(stream, nullptr, 0, 64));
    EXPECT_FALSE(IsKeyframe(stream, nullptr, 0, 0)); // a dropped frame repeats the one before
    EXPECT_EQ(0u, DetectionBytes(stream, 1 << 20));
    stream.codec = CodecClass::Mpeg4Part2;
    EXPECT_EQ(16u * 1024, DetectionBytes(stream, 1 << 20));
    EXPECT_EQ(30u, DetectionBytes(stream, 30));
}

} // namespace
