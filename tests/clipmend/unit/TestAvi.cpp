#include "TestAvi.h"

namespace clipmendtest {

using pg::clipmend::FourCC;

namespace {

void Put32(Bytes& out, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

void Put16(Bytes& out, std::uint32_t v)
{
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void PutChunk(Bytes& out, std::uint32_t id, const Bytes& data)
{
    Put32(out, id);
    Put32(out, static_cast<std::uint32_t>(data.size()));
    out.insert(out.end(), data.begin(), data.end());
    if (data.size() & 1)
        out.push_back(0);
}

Bytes List(std::uint32_t type, const Bytes& content)
{
    Bytes out;
    Put32(out, FourCC("LIST"));
    Put32(out, static_cast<std::uint32_t>(content.size() + 4));
    Put32(out, type);
    out.insert(out.end(), content.begin(), content.end());
    return out;
}

Bytes StreamHeader(std::uint32_t type, std::uint32_t handler, std::uint32_t scale, std::uint32_t rate,
                   std::uint32_t sampleSize)
{
    Bytes h;
    Put32(h, type);
    Put32(h, handler);
    Put32(h, 0); // flags
    Put32(h, 0); // priority, language
    Put32(h, 0); // initial frames
    Put32(h, scale);
    Put32(h, rate);
    Put32(h, 0);          // start
    Put32(h, 0);          // length
    Put32(h, 0);          // suggested buffer
    Put32(h, 0xFFFFFFFF); // quality
    Put32(h, sampleSize);
    Put32(h, 0);
    Put32(h, 0); // frame rectangle
    return h;
}

std::uint32_t ChunkId(const TestAvi& avi, const TestChunk& c)
{
    const char digit = static_cast<char>('0' + c.stream);
    return c.stream == 1 && avi.audio ? FourCC('0', digit, 'w', 'b') : FourCC('0', digit, 'd', 'c');
}

} // namespace

Bytes Pattern(std::size_t n, std::uint8_t seed)
{
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i)
        b[i] = static_cast<std::uint8_t>(seed * 31 + i * 7 + 1) | 0x80; // never zero, never a header
    return b;
}

Bytes Mpeg4Frame(int codingType, std::size_t n)
{
    Bytes b = Pattern(n, static_cast<std::uint8_t>(codingType));
    const std::uint8_t header[] = {0, 0, 1, 0xB6, static_cast<std::uint8_t>(codingType << 6 | 0x15)};
    std::copy(header, header + sizeof header, b.begin());
    return b;
}

std::uint64_t TestAvi::DataOffset(std::size_t i) const
{
    const Bytes file = Build();
    // The movie list follows the header list; chunks follow each other with padding.
    std::uint64_t pos = 12 + 8 + pg::clipmend::Load32(file.data() + 16) + 12;
    for (std::size_t k = 0; k < i; ++k)
        pos += 8 + chunks[k].data.size() + (chunks[k].data.size() & 1);
    return pos + 8;
}

Bytes TestAvi::Build() const
{
    Bytes avih;
    Put32(avih, 1000000 / frameRate);
    Put32(avih, 0);
    Put32(avih, 0);
    Put32(avih, 0x110); // has index, interleaved
    std::uint32_t frames = 0;
    for (const TestChunk& c : chunks)
        frames += c.stream == 0;
    Put32(avih, frames);
    Put32(avih, 0);
    Put32(avih, audio ? 2 : 1);
    Put32(avih, 0);
    Put32(avih, static_cast<std::uint32_t>(width));
    Put32(avih, static_cast<std::uint32_t>(height));
    for (int i = 0; i < 4; ++i)
        Put32(avih, 0);

    Bytes bih;
    Put32(bih, 40);
    Put32(bih, static_cast<std::uint32_t>(width));
    Put32(bih, static_cast<std::uint32_t>(height));
    Put16(bih, 1);
    Put16(bih, bitCount);
    Put32(bih, compression);
    for (int i = 0; i < 5; ++i)
        Put32(bih, 0);

    Bytes hdrl;
    PutChunk(hdrl, FourCC("avih"), avih);
    Bytes videoList;
    PutChunk(videoList, FourCC("strh"), StreamHeader(FourCC("vids"), compression, 1, frameRate, 0));
    PutChunk(videoList, FourCC("strf"), bih);
    const Bytes video = List(FourCC("strl"), videoList);
    hdrl.insert(hdrl.end(), video.begin(), video.end());
    if (audio) {
        Bytes wave;
        Put16(wave, 1);     // PCM
        Put16(wave, 1);     // mono
        Put32(wave, 8000);  // samples per second
        Put32(wave, 16000); // bytes per second
        Put16(wave, 2);     // block
        Put16(wave, 16);    // bits
        Bytes audioList;
        PutChunk(audioList, FourCC("strh"), StreamHeader(FourCC("auds"), 0, 1, 8000, 2));
        PutChunk(audioList, FourCC("strf"), wave);
        const Bytes a = List(FourCC("strl"), audioList);
        hdrl.insert(hdrl.end(), a.begin(), a.end());
    }
    const Bytes header = List(FourCC("hdrl"), hdrl);

    Bytes movi;
    std::vector<std::uint32_t> offsets;
    for (const TestChunk& c : chunks) {
        offsets.push_back(static_cast<std::uint32_t>(4 + movi.size()));
        PutChunk(movi, ChunkId(*this, c), c.data);
    }
    const Bytes movieList = List(FourCC("movi"), movi);
    Bytes body(header);
    body.insert(body.end(), movieList.begin(), movieList.end());
    if (index != IndexMode::None) {
        // The movie list's type sits 12 + header list + 8 bytes into the file.
        const std::uint32_t base =
            index == IndexMode::Absolute ? static_cast<std::uint32_t>(12 + header.size() + 8) : 0;
        Bytes idx;
        for (std::size_t i = 0; i < chunks.size(); ++i) {
            Put32(idx, ChunkId(*this, chunks[i]));
            Put32(idx, chunks[i].key ? 0x10 : 0);
            Put32(idx, base + offsets[i]);
            Put32(idx, static_cast<std::uint32_t>(chunks[i].data.size()));
        }
        PutChunk(body, FourCC("idx1"), idx);
    }
    Bytes file;
    Put32(file, FourCC("RIFF"));
    Put32(file, static_cast<std::uint32_t>(body.size() + 4));
    Put32(file, FourCC("AVI "));
    file.insert(file.end(), body.begin(), body.end());
    return file;
}

} // namespace clipmendtest
