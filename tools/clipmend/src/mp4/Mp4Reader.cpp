#include "Mp4Reader.h"
#include "TakenRanges.h"

#include <algorithm>
#include <bit>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <limits>
#include <map>

#include <zlib.h>

namespace pg::clipmend {

namespace {

using namespace mp4;

constexpr std::uint64_t MAX_INDEX_BOX = 256u << 20; // moov, moof: read whole into memory
constexpr std::uint64_t MAX_SAMPLES = 1u << 23;
constexpr std::uint32_t MAX_SAMPLE_SIZE = 256u << 20;
constexpr std::uint64_t MAX_32 = 0xFFFFFFFFu;
constexpr std::size_t MAX_TRACKS = 64;
// Bytes, and samples, of a packet of sound by its sample description: far beyond any real one.
constexpr std::uint64_t MAX_SOUND_PACKET = 1u << 16;
constexpr int MAX_TRACK_DEPTH = 4; // trak, mdia, minf, stbl
// A zero-filled hole in a download: runs of zeros this long do not occur in compressed data.
constexpr std::uint64_t HOLE_ZEROS = 16;
constexpr std::uint64_t PROGRESS_STEPS = 100;
constexpr std::uint32_t NON_SYNC_SAMPLE = 0x10000;
// Decoding times a fragment may start at: far beyond any real one, far from overflowing.
constexpr std::uint64_t MAX_FRAGMENT_TIME = 1ull << 62;
// Movie time a track may start late by: decades, far from overflowing when turned into seconds.
constexpr std::uint64_t MAX_START_DELAY = 1ull << 40;

constexpr std::uint32_t FTYP = BoxType("ftyp"), MOOV = BoxType("moov"), MDAT = BoxType("mdat"),
                        MOOF = BoxType("moof"), MVHD = BoxType("mvhd"), TRAK = BoxType("trak"),
                        MVEX = BoxType("mvex"), TREX = BoxType("trex"), TKHD = BoxType("tkhd"),
                        EDTS = BoxType("edts"), ELST = BoxType("elst"), MDIA = BoxType("mdia"),
                        MDHD = BoxType("mdhd"), HDLR = BoxType("hdlr"), MINF = BoxType("minf"),
                        VMHD = BoxType("vmhd"), SMHD = BoxType("smhd"), STBL = BoxType("stbl"),
                        STSD = BoxType("stsd"), STTS = BoxType("stts"), CTTS = BoxType("ctts"),
                        STSS = BoxType("stss"), STSZ = BoxType("stsz"), STZ2 = BoxType("stz2"),
                        STSC = BoxType("stsc"), STCO = BoxType("stco"), CO64 = BoxType("co64"),
                        TRAF = BoxType("traf"), TFHD = BoxType("tfhd"), TFDT = BoxType("tfdt"),
                        TRUN = BoxType("trun"), MFHD = BoxType("mfhd"), CMOV = BoxType("cmov"),
                        DCOM = BoxType("dcom"), CMVD = BoxType("cmvd");

// Boxes that may stand between the others at the file's top level and are passed over.
bool IsOtherTopLevel(std::uint32_t type)
{
    static constexpr std::uint32_t OTHERS[] = {
        BoxType("free"), BoxType("skip"), BoxType("wide"), BoxType("pnot"), BoxType("PICT"), BoxType("uuid"),
        BoxType("meta"), BoxType("udta"), BoxType("sidx"), BoxType("styp"), BoxType("mfra"), BoxType("prft"),
        BoxType("emsg"), BoxType("ssix"), BoxType("pdin"), BoxType("junk")};
    return std::find(std::begin(OTHERS), std::end(OTHERS), type) != std::end(OTHERS);
}

// What the content of a sample can tell of a zero-filled hole in it, by codec.
enum class Codec {
    OTHER,
    NAL_UNITS,    // H.264, H.265: units after a length field, none ending in zero
    MPEG4_VISUAL, // starts with a start code, ends in stuffing bits
    AAC,          // ends in the end element's bits
};

// A full box's payload past its version and flags, or empty when it is shorter.
struct Table
{
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    std::uint8_t version = 0;
    bool present = false;

    static Table Of(const std::uint8_t* payload, std::size_t size)
    {
        Table t;
        t.present = true;
        if (size >= 4) {
            t.version = payload[0];
            t.data = payload + 4;
            t.size = size - 4;
        }
        return t;
    }
    // The count at the table's start when that many entries of entrySize follow it, else 0.
    std::uint32_t Entries(std::size_t entrySize) const
    {
        if (size < 4)
            return 0;
        const std::uint32_t count = Get32(data);
        return count <= (size - 4) / entrySize ? count : 0;
    }
};

struct SoundPacket
{
    std::uint32_t bytes = 0;
    std::uint32_t samples = 1;
};

struct TrackIndex
{
    Mp4Track track;
    Codec codec = Codec::OTHER;
    std::size_t nalLength = 4;
    SoundPacket soundPacket;
    Table stts, ctts, stss, stsz, stz2, stsc, stco, co64;
    // Fragment defaults (trex), and where the track's next fragment sample is decoded.
    std::uint32_t defaultDuration = 0, defaultSize = 0, defaultFlags = 0;
    std::int64_t nextTime = 0;
    std::vector<Mp4Sample> samples;      // found in the index, arrived or not, in decoding order
    std::vector<std::uint8_t> arrived;   // per sample: whether it is whole and fits its codec
    std::vector<std::uint32_t> baseRuns; // per sample: damaged regions of the fragment walk before it
};

std::string Format(const char* format, std::uint64_t a, std::uint64_t b, std::uint64_t c = 0)
{
    char text[320];
    std::snprintf(text, sizeof text, format, a, b, c);
    return text;
}

// Sound frames of a piece, from its first one.
struct FrameRange
{
    std::uint32_t first = 0;
    std::uint32_t end = 0;
};

// Whether the sample holds a run of zeros as long as a hole leaves. Runs are counted a word at a
// time: the zero bytes at each end of a word that is not all zeros close or open one.
bool HasHoleZeros(SourceReader& in, std::uint64_t offset, std::uint32_t size)
{
    std::uint64_t run = 0;
    std::uint64_t done = 0;
    while (done < size) {
        std::size_t available = 0;
        const std::uint8_t* p = in.PeekUpTo(offset + done, size - done, available);
        if (!p || available == 0)
            return true;
        std::size_t i = 0;
        for (; i + 8 <= available; i += 8) {
            // Words whose last byte is not zero neither hold nor end a long run: the usual case,
            // told by a look at four of them at once.
            if (run == 0 && i + 32 <= available && p[i + 7] && p[i + 15] && p[i + 23] && p[i + 31]) {
                i += 24;
                continue;
            }
            std::uint64_t word = 0;
            std::memcpy(&word, p + i, sizeof word);
            // Told at once: the bytes after the last whole word may end the run before a look.
            if (word == 0) {
                run += 8;
                if (run >= HOLE_ZEROS)
                    return true;
                continue;
            }
            if constexpr (std::endian::native == std::endian::big)
                word = __builtin_bswap64(word);
            // Little-endian: the first byte in memory is the lowest.
            if (run + static_cast<std::uint64_t>(std::countr_zero(word) / 8) >= HOLE_ZEROS)
                return true;
            run = static_cast<std::uint64_t>(std::countl_zero(word) / 8);
        }
        for (; i < available; ++i) {
            run = p[i] == 0 ? run + 1 : 0;
            if (run >= HOLE_ZEROS)
                return true;
        }
        done += available;
    }
    return run >= HOLE_ZEROS;
}

class Walker
{
public:
    Walker(SourceReader& reader, const SalvageOptions& options, Mp4Salvage& result)
        : m_in(reader), m_options(options), m_result(result), m_size(reader.Size())
    {
    }

    bool Run(std::string& error);

private:
    bool PeekHeader(std::uint64_t pos, BoxHeader& box);
    bool Whole(std::uint64_t pos, std::uint64_t size) const;
    bool ReadBox(std::uint64_t pos, const BoxHeader& box, Bytes& payload);
    void ParseMovie(const Bytes& movie);
    void ParseTrack(const std::uint8_t* data, std::size_t size);
    bool ExpandTables(TrackIndex& index);
    void ParseFragment(std::uint64_t moofStart, const Bytes& moof);
    std::uint64_t Resync(std::uint64_t from);
    bool IsFragmentStart(std::uint64_t pos);
    void Sort();
    bool Arrived(SourceReader& in, const Mp4Sample& sample, const TrackIndex& index) const;
    std::vector<FrameRange> LostFrames(const Mp4Sample& piece);
    // Which samples arrived, a flag per sample of each track; the samples in the file's two
    // halves are judged side by side where the system can.
    void JudgeSamples();
    // Whether the size bytes at offset (a few) are all there and zero.
    bool AllZeros(std::uint64_t offset, std::uint64_t size);
    static bool NalUnitsFit(SourceReader& in, const Mp4Sample& sample, std::size_t lengthSize);
    const ByteRange* GapAt(std::uint64_t pos) const { return GapOverlapping(m_options.gaps, pos, pos + 1); }
    void ReportProgress(std::uint64_t pos);

    SourceReader& m_in;
    const SalvageOptions& m_options;
    Mp4Salvage& m_result;
    const std::uint64_t m_size;
    std::vector<TrackIndex> m_tracks;
    std::uint64_t m_sampleCount = 0;
    std::uint32_t m_damage = 0; // damaged regions of the fragment walk so far
    std::uint64_t m_nextProgress = 0;
};

bool Walker::PeekHeader(std::uint64_t pos, BoxHeader& box)
{
    std::size_t available = 0;
    const std::uint8_t* p = m_in.PeekUpTo(pos, 16, available);
    if (!p || available < 8)
        return false;
    // The file's end limits a box only where it says it runs to the end; a cut one says more.
    const std::uint64_t remaining =
        Get32(p) == 0 ? m_size - pos : std::numeric_limits<std::uint64_t>::max() - pos;
    return ReadBoxHeader(p, available, remaining, box) &&
           !GapOverlapping(m_options.gaps, pos, pos + box.header);
}

// Whether the bytes lie within the file, with no known gap in them.
bool Walker::Whole(std::uint64_t pos, std::uint64_t size) const
{
    return size <= m_size && pos <= m_size - size && !GapOverlapping(m_options.gaps, pos, pos + size);
}

bool Walker::ReadBox(std::uint64_t pos, const BoxHeader& box, Bytes& payload)
{
    if (!Whole(pos, box.size) || box.size > MAX_INDEX_BOX)
        return false;
    MemorySink sink;
    if (!sink.CopyFrom(m_in, pos + box.header, box.size - box.header))
        return false;
    payload = sink.Bytes();
    return true;
}

// QuickTime may compress its index: the moov box then holds a cmov box, whose dcom names the
// method and whose cmvd holds the size and the deflated bytes of the whole moov box it stands
// for. Such a movie's payload is replaced by that box's; false with a reason when it cannot be.
bool InflateMovie(Bytes& movie, std::string& error)
{
    bool compressed = false;
    const std::uint8_t* method = nullptr;
    const std::uint8_t* packed = nullptr;
    std::size_t packedSize = 0;
    ForEachBox(movie.data(), movie.size(),
               [&](std::uint32_t type, const std::uint8_t* p, std::size_t n, const std::uint8_t*) {
                   if (type != CMOV)
                       return;
                   compressed = true;
                   ForEachBox(
                       p, n,
                       [&](std::uint32_t child, const std::uint8_t* q, std::size_t m, const std::uint8_t*) {
                           if (child == DCOM && m >= 4)
                               method = q;
                           if (child == CMVD && m >= 4) {
                               packed = q;
                               packedSize = m;
                           }
                       });
               });
    if (!compressed)
        return true;
    if (!method || Get32(method) != BoxType("zlib")) {
        error = "the index (moov box) is compressed in a way this tool does not read";
        return false;
    }
    // Deflate packs at most about a thousand to one: a larger size is damage, not an index.
    const std::uint64_t size = packed ? Get32(packed) : 0;
    Bytes whole(size <= MAX_INDEX_BOX && size <= 1032 * std::uint64_t{packedSize} ? size : 0);
    uLongf inflated = static_cast<uLongf>(whole.size());
    BoxHeader box;
    if (whole.empty() ||
        uncompress(whole.data(), &inflated, packed + 4, static_cast<uLong>(packedSize - 4)) != Z_OK ||
        inflated != whole.size() || !ReadBoxHeader(whole.data(), whole.size(), whole.size(), box) ||
        box.type != MOOV) {
        error = "the index (moov box) is compressed, and its compressed bytes are damaged";
        return false;
    }
    movie.assign(whole.begin() + static_cast<std::ptrdiff_t>(box.header),
                 whole.begin() + static_cast<std::ptrdiff_t>(box.size));
    return true;
}

void Walker::ParseMovie(const Bytes& movie)
{
    ForEachBox(movie.data(), movie.size(),
               [&](std::uint32_t type, const std::uint8_t* p, std::size_t n, const std::uint8_t*) {
                   if (type == MVHD && n >= 20) {
                       const std::uint32_t scale = Get32(p + (p[0] == 1 ? 20 : 12));
                       if (scale > 0)
                           m_result.movieTimescale = scale;
                   } else if (type == TRAK && m_tracks.size() < MAX_TRACKS) {
                       ParseTrack(p, n);
                   } else if (type == MVEX) {
                       m_result.fragmented = true;
                       ForEachBox(p, n,
                                  [&](std::uint32_t child, const std::uint8_t* q, std::size_t m,
                                      const std::uint8_t*) {
                                      if (child != TREX || m < 24)
                                          return;
                                      for (TrackIndex& t : m_tracks)
                                          if (t.track.id == Get32(q + 4)) {
                                              t.defaultDuration = Get32(q + 12);
                                              t.defaultSize = Get32(q + 16);
                                              t.defaultFlags = Get32(q + 20);
                                          }
                                  });
                   }
               });
}

// A box kept to be written again, with its size spelled out: a size of 0 ("to the end of its
// parent") would take in whatever the writer puts after it.
Bytes KeptBox(const std::uint8_t* box, const std::uint8_t* end)
{
    if (Get32(box) != 0)
        return Bytes(box, end);
    Bytes kept;
    Put32(kept, static_cast<std::uint32_t>(end - box));
    kept.insert(kept.end(), box + 4, end);
    return kept;
}

// The bytes of a packet of sound and the samples it holds, by its sample description (from the
// entry's header on); bytes 0 when it does not tell. A frame of uncompressed sound is a packet of
// one sample.
SoundPacket ReadSoundPacket(std::uint32_t format, const std::uint8_t* entry, std::size_t size)
{
    // The entry's header, reserved bytes and data reference, then the version's fields: channels
    // and bits at 24, version 1's samples per packet and bytes per frame (of every channel) at 36
    // and 44, version 2's bytes and frames per packet at 64 and 68.
    SoundPacket packet;
    if (size < 36)
        return packet;
    const std::uint16_t version = Get16(entry + 16);
    std::uint64_t bytes = 0, samples = 1;
    if (version == 0) {
        const bool companded = format == BoxType("ulaw") || format == BoxType("alaw");
        const bool linear = format == BoxType("raw ") || format == BoxType("twos") ||
                            format == BoxType("sowt") || format == BoxType("NONE") ||
                            format == BoxType("in24") || format == BoxType("in32") ||
                            format == BoxType("fl32") || format == BoxType("fl64");
        // Companded sound is a byte a channel, whatever its bits say.
        if (companded || linear)
            bytes = std::uint64_t{Get16(entry + 24)} * (companded ? 8 : Get16(entry + 26)) / 8;
    } else if (version == 1 && size >= 52) {
        samples = Get32(entry + 36);
        bytes = Get32(entry + 44);
    } else if (version == 2 && size >= 72) {
        samples = Get32(entry + 68);
        bytes = Get32(entry + 64);
    }
    if (bytes > 0 && bytes <= MAX_SOUND_PACKET && samples > 0 && samples <= MAX_SOUND_PACKET) {
        packet.bytes = static_cast<std::uint32_t>(bytes);
        packet.samples = static_cast<std::uint32_t>(samples);
    }
    return packet;
}

// The sample description's codec and, for NAL units, the length of their size fields.
void ReadCodec(TrackIndex& index, const std::uint8_t* stsd, std::size_t size)
{
    // Version and flags, the entry count, then the first entry's header.
    if (size < 16)
        return;
    const std::uint32_t format = Get32(stsd + 12);
    index.soundPacket = ReadSoundPacket(format, stsd + 8, std::min<std::size_t>(size - 8, Get32(stsd + 8)));
    if (format == BoxType("mp4v"))
        index.codec = Codec::MPEG4_VISUAL;
    else if (format == BoxType("mp4a"))
        index.codec = Codec::AAC;
    const bool avc = format == BoxType("avc1") || format == BoxType("avc3");
    const bool hevc = format == BoxType("hvc1") || format == BoxType("hev1");
    if (!avc && !hevc)
        return;
    // A visual sample entry's own fields take 78 bytes before its child boxes.
    BoxHeader entry;
    if (!ReadBoxHeader(stsd + 8, size - 8, size - 8, entry) || entry.size < entry.header + 78)
        return;
    const std::uint8_t* children = stsd + 8 + entry.header + 78;
    const std::size_t length = static_cast<std::size_t>(entry.size) - entry.header - 78;
    ForEachBox(children, length,
               [&](std::uint32_t type, const std::uint8_t* p, std::size_t n, const std::uint8_t*) {
                   if (type == BoxType("avcC") && avc && n >= 5) {
                       index.codec = Codec::NAL_UNITS;
                       index.nalLength = (p[4] & 3) + 1u;
                   } else if (type == BoxType("hvcC") && hevc && n >= 22) {
                       index.codec = Codec::NAL_UNITS;
                       index.nalLength = (p[21] & 3) + 1u;
                   }
               });
    if (index.nalLength == 3)
        index.codec = Codec::OTHER;
}

// A box of a track other than the containers on the way to it.
void ReadTrackBox(std::uint32_t type, const std::uint8_t* p, std::size_t n, const std::uint8_t* box,
                  TrackIndex& index)
{
    Mp4Track& track = index.track;
    switch (type) {
    case TKHD:
        if (n >= 84) {
            const bool v1 = p[0] == 1 && n >= 96;
            track.headerFlags = Get32(p) & 0xFFFFFF;
            track.id = Get32(p + (v1 ? 20 : 12));
            // Past the times, the id and the duration, and 8 reserved bytes.
            const std::uint8_t* rest = p + (v1 ? 36 : 24) + 8;
            track.layer = Get16(rest);
            track.alternateGroup = Get16(rest + 2);
            track.volume = Get16(rest + 4);
            for (int i = 0; i < 9; ++i)
                track.matrix[i] = Get32(rest + 8 + 4 * i);
            track.width = Get32(rest + 44);
            track.height = Get32(rest + 48);
        }
        break;
    case ELST: {
        const Table elst = Table::Of(p, n);
        const std::size_t entry = elst.version == 1 ? 20 : 12;
        // The first edit that shows media; the empty ones before it delay the track.
        for (std::uint32_t i = 0; i < elst.Entries(entry); ++i) {
            const std::uint8_t* e = elst.data + 4 + i * entry;
            const std::int64_t time = elst.version == 1 ? static_cast<std::int64_t>(Get64(e + 8))
                                                        : static_cast<std::int32_t>(Get32(e + 4));
            if (time >= 0) {
                track.presentationOffset = time;
                break;
            }
            if (time == -1)
                track.startDelay =
                    std::min(track.startDelay + (elst.version == 1 ? Get64(e) : Get32(e)), MAX_START_DELAY);
        }
        break;
    }
    case MDHD:
        if (n >= 22) {
            const bool v1 = p[0] == 1 && n >= 34;
            track.timescale = Get32(p + (v1 ? 20 : 12));
            track.language = Get16(p + (v1 ? 32 : 20));
        }
        break;
    case HDLR:
        // QuickTime files have a second one in minf, for the data reference.
        if (n >= 12 && track.handlerBox.empty()) {
            track.handler = Get32(p + 8);
            track.handlerBox = KeptBox(box, p + n);
        }
        break;
    case VMHD:
    case SMHD:
        track.mediaHeader = KeptBox(box, p + n);
        break;
    case STSD:
        track.sampleDescriptions = KeptBox(box, p + n);
        ReadCodec(index, p, n);
        break;
    default: {
        const std::pair<std::uint32_t, Table*> tables[] = {
            {STTS, &index.stts}, {CTTS, &index.ctts}, {STSS, &index.stss}, {STSZ, &index.stsz},
            {STZ2, &index.stz2}, {STSC, &index.stsc}, {STCO, &index.stco}, {CO64, &index.co64}};
        for (const auto& [id, target] : tables)
            if (type == id)
                *target = Table::Of(p, n);
    }
    }
}

// The boxes of a track, each bounded by its parent, the containers on the way entered.
void ReadTrackBoxes(const std::uint8_t* data, std::size_t size, TrackIndex& index, int depth = 0)
{
    static constexpr std::uint32_t CONTAINERS[] = {EDTS, MDIA, MINF, STBL};
    ForEachBox(data, size,
               [&](std::uint32_t type, const std::uint8_t* p, std::size_t n, const std::uint8_t* box) {
                   if (std::find(std::begin(CONTAINERS), std::end(CONTAINERS), type) == std::end(CONTAINERS))
                       ReadTrackBox(type, p, n, box, index);
                   else if (depth < MAX_TRACK_DEPTH)
                       ReadTrackBoxes(p, n, index, depth + 1);
               });
}

void Walker::ParseTrack(const std::uint8_t* data, std::size_t size)
{
    TrackIndex index;
    ReadTrackBoxes(data, size, index);
    const Mp4Track& track = index.track;
    const bool kept = track.handler == HANDLER_VIDEO || track.handler == HANDLER_SOUND;
    const bool known = std::any_of(m_tracks.begin(), m_tracks.end(),
                                   [&](const TrackIndex& t) { return t.track.id == track.id; });
    if (kept && !known && track.timescale > 0 && !track.sampleDescriptions.empty() && track.id != 0) {
        index.track.syncTable = index.stss.present;
        m_tracks.push_back(std::move(index));
    }
}

// Reads a table of runs of equal values (count, value) a number of samples at a time. Past its
// end the last value goes on, or 0 where the table says nothing of the samples it leaves out.
class RunReader
{
public:
    RunReader(const Table& table, bool lastGoesOn)
        : m_table(table), m_entries(table.Entries(8)), m_lastGoesOn(lastGoesOn)
    {
    }

    // The sum of the next n values, and the first of them.
    std::uint64_t Take(std::uint64_t n, std::uint32_t& first)
    {
        std::uint64_t sum = 0;
        first = m_value;
        bool firstTaken = false;
        while (n > 0) {
            if (m_left == 0 && m_next < m_entries) {
                const std::uint8_t* e = m_table.data + 4 + 8 * m_next++;
                m_left = Get32(e);
                m_value = Get32(e + 4);
                continue;
            }
            if (m_left == 0) {
                m_value = m_lastGoesOn ? m_value : 0;
                m_left = n;
            }
            const std::uint64_t step = std::min(n, m_left);
            if (!firstTaken)
                first = m_value;
            firstTaken = true;
            sum += step * m_value;
            m_left -= step;
            n -= step;
        }
        return sum;
    }

private:
    const Table& m_table;
    std::uint32_t m_entries;
    bool m_lastGoesOn;
    std::uint32_t m_next = 0;
    std::uint64_t m_left = 0;
    std::uint32_t m_value = 0;
};

// The samples the tables describe, in decoding order, with their place in the file. Sound of a
// fixed sample size (uncompressed) has a sample per sound frame, hundreds of thousands a minute:
// a chunk of it is taken as one piece.
bool Walker::ExpandTables(TrackIndex& index)
{
    std::vector<std::uint32_t> sizes;
    std::uint32_t fixed = 0;
    std::uint32_t count = 0;
    if (index.stsz.size >= 8) {
        fixed = Get32(index.stsz.data);
        count = Get32(index.stsz.data + 4);
        if (fixed == 0 && count > (index.stsz.size - 8) / 4)
            return false;
        if (fixed == 0)
            sizes.reserve(count);
        if (fixed == 0)
            for (std::uint32_t i = 0; i < count; ++i)
                sizes.push_back(Get32(index.stsz.data + 8 + 4 * i));
    } else if (index.stz2.size >= 8) {
        const unsigned bits = index.stz2.data[3];
        count = Get32(index.stz2.data + 4);
        if ((bits != 4 && bits != 8 && bits != 16) ||
            (static_cast<std::uint64_t>(count) * bits + 7) / 8 > index.stz2.size - 8)
            return false;
        const std::uint8_t* p = index.stz2.data + 8;
        for (std::uint32_t i = 0; i < count; ++i)
            sizes.push_back(bits == 16  ? Get16(p + 2 * i)
                            : bits == 8 ? p[i]
                                        : (i % 2 == 0 ? p[i / 2] >> 4 : p[i / 2] & 0xF));
    }
    // QuickTime may count sound in samples of one byte whatever its frames or packets; the sample
    // description tells their real size and the samples each holds. Taken as frames of that size,
    // such sound goes the way of uncompressed sound, a chunk at a time.
    std::uint32_t perFrame = 1; // samples of the tables a frame holds
    if (fixed == 1 && index.track.handler == HANDLER_SOUND && index.soundPacket.bytes > 0) {
        fixed = index.soundPacket.bytes;
        perFrame = index.soundPacket.samples;
    }
    const bool grouped = fixed != 0 && index.track.handler == HANDLER_SOUND;
    index.track.frameSize = grouped ? fixed : 0;
    if (count == 0)
        return true;
    std::vector<std::uint64_t> chunks;
    const bool wide = index.co64.present;
    const Table& offsets = wide ? index.co64 : index.stco;
    const std::uint32_t chunkCount = offsets.Entries(wide ? 8 : 4);
    chunks.reserve(chunkCount);
    for (std::uint32_t i = 0; i < chunkCount; ++i)
        chunks.push_back(wide ? Get64(offsets.data + 4 + 8 * i) : Get32(offsets.data + 4 + 4 * i));

    std::vector<Mp4Sample>& samples = index.samples;
    std::vector<std::uint32_t> firsts; // per piece: its first sample's number, from 0
    // A table of sizes bounds the count by its own length; a fixed size does not.
    if (!sizes.empty()) {
        samples.reserve(std::min<std::uint64_t>(count, MAX_SAMPLES - m_sampleCount));
        firsts.reserve(samples.capacity());
    }
    std::uint32_t done = 0;
    const std::uint32_t runs = index.stsc.Entries(12);
    for (std::uint32_t r = 0; r < runs && done < count; ++r) {
        const std::uint8_t* e = index.stsc.data + 4 + 12 * r;
        const std::uint64_t first = Get32(e);
        const std::uint64_t end = r + 1 < runs ? Get32(e + 12) : chunks.size() + 1ull;
        const std::uint32_t perChunk = Get32(e + 4);
        if (first == 0 || end <= first)
            return false;
        for (std::uint64_t c = first; c < end && c <= chunks.size() && done < count; ++c) {
            std::uint64_t pos = chunks[c - 1];
            const std::uint32_t inChunk = std::min(perChunk, count - done);
            if (grouped && inChunk > 0) {
                const std::uint32_t frames = inChunk / perFrame + (inChunk % perFrame != 0);
                if (static_cast<std::uint64_t>(frames) * fixed > MAX_SAMPLE_SIZE ||
                    samples.size() >= MAX_SAMPLES - m_sampleCount)
                    return false;
                Mp4Sample s;
                s.offset = pos;
                s.size = frames * fixed;
                s.frames = frames;
                firsts.push_back(done);
                samples.push_back(s);
                done += inChunk;
                continue;
            }
            for (std::uint32_t k = 0; k < inChunk; ++k) {
                if (samples.size() >= MAX_SAMPLES - m_sampleCount)
                    return false;
                Mp4Sample s;
                s.offset = pos;
                s.size = fixed != 0 ? fixed : sizes[done];
                firsts.push_back(done);
                // What of the chunk lies past the file's end has not arrived yet: one piece keeps
                // its time.
                if (pos >= m_size) {
                    s.frames = inChunk - k;
                    samples.push_back(s);
                    done += s.frames;
                    break;
                }
                pos += s.size;
                ++done;
                samples.push_back(s);
            }
        }
    }
    // Durations and composition offsets come as runs of equal values, sync samples by number.
    RunReader durations(index.stts, true), compositions(index.ctts, false);
    std::vector<std::uint32_t> syncs;
    for (std::uint32_t r = 0; r < index.stss.Entries(4); ++r)
        syncs.push_back(Get32(index.stss.data + 4 + 4 * r));
    std::sort(syncs.begin(), syncs.end());
    std::int64_t time = 0;
    for (std::size_t k = 0; k < samples.size(); ++k) {
        Mp4Sample& s = samples[k];
        // The samples of the tables it stands for: its frames, unless they count several each.
        const std::uint32_t counted = (k + 1 < samples.size() ? firsts[k + 1] : done) - firsts[k];
        std::uint32_t first = 0;
        s.duration =
            static_cast<std::uint32_t>(std::min<std::uint64_t>(durations.Take(counted, first), MAX_32));
        compositions.Take(counted, first);
        s.composition = static_cast<std::int32_t>(first);
        s.key = !index.stss.present || std::binary_search(syncs.begin(), syncs.end(), firsts[k] + 1);
        s.time = time;
        time += s.duration;
    }
    index.nextTime = time;
    m_sampleCount += samples.size();
    index.baseRuns.assign(samples.size(), 0);
    return true;
}

void Walker::ParseFragment(std::uint64_t moofStart, const Bytes& moof)
{
    std::uint64_t dataEnd = moofStart; // where the previous track fragment's data ended
    ForEachBox(
        moof.data(), moof.size(),
        [&](std::uint32_t type, const std::uint8_t* p, std::size_t n, const std::uint8_t*) {
            if (type != TRAF)
                return;
            TrackIndex* index = nullptr;
            std::uint32_t flags = 0, duration = 0, size = 0, sampleFlags = 0;
            std::uint64_t base = dataEnd;
            bool timed = false;
            std::int64_t time = 0;
            ForEachBox(
                p, n, [&](std::uint32_t child, const std::uint8_t* q, std::size_t m, const std::uint8_t*) {
                    if (child == TFHD && m >= 8) {
                        flags = Get32(q) & 0xFFFFFF;
                        for (TrackIndex& t : m_tracks)
                            if (t.track.id == Get32(q + 4))
                                index = &t;
                        if (!index)
                            return;
                        duration = index->defaultDuration;
                        size = index->defaultSize;
                        sampleFlags = index->defaultFlags;
                        std::size_t at = 8;
                        const auto field = [&](std::uint32_t bit, std::size_t width, auto apply) {
                            if (!(flags & bit))
                                return;
                            if (at + width <= m)
                                apply(q + at);
                            at += width;
                        };
                        base = flags & 0x20000 ? moofStart : base;
                        field(0x1, 8, [&](const std::uint8_t* v) { base = Get64(v); });
                        field(0x2, 4, [](const std::uint8_t*) {});
                        field(0x8, 4, [&](const std::uint8_t* v) { duration = Get32(v); });
                        field(0x10, 4, [&](const std::uint8_t* v) { size = Get32(v); });
                        field(0x20, 4, [&](const std::uint8_t* v) { sampleFlags = Get32(v); });
                    } else if (child == TFDT && m >= 8) {
                        timed = true;
                        time = static_cast<std::int64_t>(
                            std::min(q[0] == 1 && m >= 12 ? Get64(q + 4) : Get32(q + 4), MAX_FRAGMENT_TIME));
                    } else if (child == TRUN && index && m >= 8) {
                        const std::uint32_t runFlags = Get32(q) & 0xFFFFFF;
                        const std::uint32_t count = Get32(q + 4);
                        std::size_t at = 8;
                        std::uint64_t pos = dataEnd;
                        if (runFlags & 0x1) {
                            if (at + 4 > m)
                                return;
                            pos = base + static_cast<std::uint64_t>(static_cast<std::int64_t>(
                                             static_cast<std::int32_t>(Get32(q + at))));
                            at += 4;
                        }
                        std::uint32_t firstFlags = sampleFlags;
                        const bool firstGiven = runFlags & 0x4;
                        if (firstGiven) {
                            if (at + 4 > m)
                                return;
                            firstFlags = Get32(q + at);
                            at += 4;
                        }
                        const std::size_t entry = 4u * (((runFlags >> 8) & 1) + ((runFlags >> 9) & 1) +
                                                        ((runFlags >> 10) & 1) + ((runFlags >> 11) & 1));
                        if (count > m_size || count > MAX_SAMPLES - m_sampleCount ||
                            (entry > 0 && count > (m - at) / entry))
                            return;
                        if (timed) {
                            index->nextTime = time;
                            timed = false;
                        }
                        for (std::uint32_t k = 0; k < count; ++k) {
                            Mp4Sample s;
                            s.duration = duration;
                            s.size = size;
                            std::uint32_t f = k == 0 && firstGiven ? firstFlags : sampleFlags;
                            if (runFlags & 0x100) {
                                s.duration = Get32(q + at);
                                at += 4;
                            }
                            if (runFlags & 0x200) {
                                s.size = Get32(q + at);
                                at += 4;
                            }
                            if (runFlags & 0x400) {
                                f = k == 0 && firstGiven ? firstFlags : Get32(q + at);
                                at += 4;
                            }
                            if (runFlags & 0x800) {
                                s.composition = static_cast<std::int32_t>(Get32(q + at));
                                at += 4;
                            }
                            s.offset = pos;
                            s.key = !(f & NON_SYNC_SAMPLE);
                            s.time = index->nextTime;
                            index->nextTime += s.duration;
                            pos += s.size;
                            index->samples.push_back(s);
                            index->baseRuns.push_back(m_damage);
                        }
                        m_sampleCount += count;
                        dataEnd = pos;
                    }
                });
        });
}

// A fragment's header by chance inside other data is rare, one whose first child is its
// header box rarer still.
bool Walker::IsFragmentStart(std::uint64_t pos)
{
    BoxHeader box;
    if (!PeekHeader(pos, box) || box.type != MOOF || box.size > MAX_INDEX_BOX || !Whole(pos, box.size))
        return false;
    const std::uint8_t* p = m_in.Peek(pos + box.header, 16);
    BoxHeader child;
    return p && ReadBoxHeader(p, 16, box.size - box.header, child) && child.type == MFHD;
}

// The next fragment from pos on.
std::uint64_t Walker::Resync(std::uint64_t from)
{
    // A box's type follows its 4-byte size.
    std::uint64_t type = from + 4;
    while (type < m_size) {
        ReportProgress(type);
        if (const ByteRange* gap = GapAt(type)) {
            type = gap->end;
            continue;
        }
        const std::uint64_t next =
            NextCandidate(m_in, m_options.gaps, type, m_size, 1, 4, [](std::uint8_t c) { return c == 'm'; });
        if (next != type) {
            type = next;
            continue;
        }
        if (IsFragmentStart(type - 4))
            return type - 4;
        ++type;
    }
    return m_size;
}

void Walker::ReportProgress(std::uint64_t pos)
{
    if (!m_options.progress || pos < m_nextProgress)
        return;
    m_options.progress(pos, m_size);
    m_nextProgress = pos + std::max<std::uint64_t>(m_size / PROGRESS_STEPS, 1);
}

bool Walker::AllZeros(std::uint64_t offset, std::uint64_t size)
{
    const std::uint8_t* p = m_in.Peek(offset, static_cast<std::size_t>(size));
    return p && std::all_of(p, p + size, [](std::uint8_t b) { return b == 0; });
}

// Whether the sample splits into NAL units as their length fields say, each with a header that
// can be and a last byte that is not zero, as the units' stop bit makes it.
bool Walker::NalUnitsFit(SourceReader& in, const Mp4Sample& sample, std::size_t lengthSize)
{
    std::uint64_t pos = 0;
    while (pos < sample.size) {
        if (sample.size - pos < lengthSize + 1)
            return false;
        const std::uint8_t* p = in.Peek(sample.offset + pos, lengthSize + 1);
        if (!p)
            return false;
        std::uint64_t length = 0;
        for (std::size_t i = 0; i < lengthSize; ++i)
            length = length << 8 | p[i];
        if (length == 0 || length > sample.size - pos - lengthSize || (p[lengthSize] & 0x80))
            return false;
        pos += lengthSize + length;
        const std::uint8_t* last = in.Peek(sample.offset + pos - 1, 1);
        if (!last || *last == 0)
            return false;
    }
    return true;
}

void Walker::JudgeSamples()
{
    // Judged in the order their bytes lie: the tracks' chunks interleave, and a pass per track
    // would read the file once for each.
    struct Place
    {
        std::uint64_t offset;
        std::uint32_t track;
        std::uint32_t sample;
        bool operator<(const Place& other) const { return offset < other.offset; }
    };
    std::vector<Place> order;
    order.reserve(static_cast<std::size_t>(m_sampleCount));
    for (std::size_t t = 0; t < m_tracks.size(); ++t) {
        TrackIndex& index = m_tracks[t];
        index.arrived.assign(index.samples.size(), 0);
        const std::size_t before = order.size();
        for (std::size_t k = 0; k < index.samples.size(); ++k)
            if (index.samples[k].offset < m_size)
                order.push_back(
                    {index.samples[k].offset, static_cast<std::uint32_t>(t), static_cast<std::uint32_t>(k)});
        // A track's samples are in order of their bytes as a rule: merged in one step then.
        const auto mid = order.begin() + static_cast<std::ptrdiff_t>(before);
        if (std::is_sorted(mid, order.end()))
            std::inplace_merge(order.begin(), mid, order.end());
        else
            std::stable_sort(order.begin(), order.end());
    }
    const auto middle = std::lower_bound(order.begin(), order.end(), Place{m_size / 2, 0, 0});
    const auto judge = [&](SourceReader& in, int half) {
        const auto end = half == 0 ? middle : order.end();
        for (auto p = half == 0 ? order.begin() : middle; p != end; ++p) {
            TrackIndex& index = m_tracks[p->track];
            index.arrived[p->sample] = Arrived(in, index.samples[p->sample], index);
            // Only the first half's worker tells, as it runs on the caller's thread; the other
            // half is about as far along.
            if (half == 0)
                ReportProgress(std::min(p->offset * 2, m_size));
        }
    };
    if (m_options.bothHalves) {
        m_options.bothHalves(judge);
    } else {
        judge(m_in, 0);
        judge(m_in, 1);
    }
}

bool Walker::Arrived(SourceReader& in, const Mp4Sample& s, const TrackIndex& index) const
{
    if (s.size == 0 || s.size > MAX_SAMPLE_SIZE || !Whole(s.offset, s.size) ||
        HasHoleZeros(in, s.offset, s.size))
        return false;
    // Copied out: the second look may move the window the first one pointed into.
    std::uint8_t head[3] = {1, 1, 1};
    const std::uint8_t* first = in.Peek(s.offset, std::min<std::size_t>(s.size, 3));
    if (!first)
        return false;
    std::copy(first, first + std::min<std::size_t>(s.size, 3), head);
    const std::uint8_t* last = in.Peek(s.offset + s.size - 1, 1);
    if (!last)
        return false;
    switch (index.codec) {
    case Codec::NAL_UNITS:
        return NalUnitsFit(in, s, index.nalLength);
    case Codec::MPEG4_VISUAL:
        return s.size >= 3 && head[0] == 0 && head[1] == 0 && head[2] == 1 && *last != 0;
    case Codec::AAC:
        return !(head[0] == 0 && head[1] == 0) && *last != 0;
    case Codec::OTHER:
        break;
    }
    return true;
}

// The stretches of sound frames of a piece of uncompressed sound that damage touches, in order:
// those past the file's end, in a known gap, or in a run of zeros as long as a hole leaves that
// goes on past the piece. Silence is zeros too: a run that stays within the sound is taken for it.
std::vector<FrameRange> Walker::LostFrames(const Mp4Sample& piece)
{
    const std::uint64_t pieceEnd = piece.offset + piece.size;
    std::vector<ByteRange> damage;
    if (pieceEnd > m_size)
        damage.push_back({std::max(m_size, piece.offset), pieceEnd});
    for (const ByteRange& gap : m_options.gaps)
        if (gap.begin < pieceEnd && gap.end > piece.offset)
            damage.push_back(gap);
    const std::uint64_t scanEnd = std::min(pieceEnd, m_size);
    const bool holeBefore = piece.offset >= HOLE_ZEROS && AllZeros(piece.offset - HOLE_ZEROS, HOLE_ZEROS);
    const bool holeAfter = scanEnd + HOLE_ZEROS <= m_size && AllZeros(scanEnd, HOLE_ZEROS);
    std::uint64_t zerosFrom = piece.offset;
    const auto zerosEnd = [&](std::uint64_t at) {
        if (at - zerosFrom >= HOLE_ZEROS &&
            ((zerosFrom == piece.offset && holeBefore) || (at == scanEnd && holeAfter)))
            damage.push_back({zerosFrom, at});
    };
    for (std::uint64_t pos = piece.offset; pos < scanEnd;) {
        std::size_t available = 0;
        const std::uint8_t* p = m_in.PeekUpTo(
            pos, static_cast<std::size_t>(std::min<std::uint64_t>(scanEnd - pos, m_in.WindowSize())),
            available);
        if (!p || available == 0)
            break;
        for (std::size_t i = 0; i < available; ++i)
            if (p[i] != 0) {
                zerosEnd(pos + i);
                zerosFrom = pos + i + 1;
            }
        pos += available;
    }
    zerosEnd(std::max(scanEnd, zerosFrom));
    const std::uint64_t frameSize = piece.size / piece.frames;
    // Widened to whole frames, the damage merges as a gap list does.
    for (ByteRange& d : damage) {
        d.begin = d.begin > piece.offset ? piece.offset + (d.begin - piece.offset) / frameSize * frameSize
                                         : piece.offset;
        d.end = piece.offset +
                std::min<std::uint64_t>(
                    (std::min(d.end, pieceEnd) - piece.offset + frameSize - 1) / frameSize, piece.frames) *
                    frameSize;
    }
    std::vector<FrameRange> lost;
    for (const ByteRange& d : NormalizeRanges(std::move(damage)))
        lost.push_back({static_cast<std::uint32_t>((d.begin - piece.offset) / frameSize),
                        static_cast<std::uint32_t>((d.end - piece.offset) / frameSize)});
    return lost;
}

// Every track's samples merged into file order, each track's own order kept; the ones that did
// not arrive are left out, and decoding starts afresh after them.
void Walker::Sort()
{
    std::vector<std::size_t> next(m_tracks.size(), 0);
    std::vector<std::uint32_t> lost(m_tracks.size(), 0);
    DamageReport& report = m_result.report;
    bool inDamage = false;
    // Bytes the samples taken hold, by where they begin: an index that puts another sample over
    // them is damaged (a fragment read twice, tables that make no sense), and the written file
    // would hold the bytes twice.
    TakenRanges taken;
    std::size_t total = 0;
    for (const TrackIndex& t : m_tracks)
        total += t.samples.size();
    m_result.samples.reserve(total);
    const auto drop = [&](std::size_t track, std::uint64_t bytes) {
        ++lost[track];
        ++report.dropped;
        report.damagedBytes += bytes;
        if (!inDamage)
            ++report.damagedRegions;
        inDamage = true;
    };
    const auto take = [&](std::size_t track, std::size_t k, Mp4Sample s) {
        if (inDamage)
            ++report.resynchronised;
        inDamage = false;
        taken.Add(s.offset, s.offset + s.size);
        s.track = static_cast<std::uint32_t>(track);
        s.run = lost[track] + m_tracks[track].baseRuns[k];
        m_result.samples.push_back(s);
    };
    while (true) {
        std::size_t best = m_tracks.size();
        for (std::size_t t = 0; t < m_tracks.size(); ++t)
            if (next[t] < m_tracks[t].samples.size() &&
                (best == m_tracks.size() ||
                 m_tracks[t].samples[next[t]].offset < m_tracks[best].samples[next[best]].offset))
                best = t;
        if (best == m_tracks.size())
            break;
        const std::size_t k = next[best]++;
        const Mp4Sample& s = m_tracks[best].samples[k];
        ReportProgress(std::min(s.offset, m_size));
        if (s.offset >= m_size)
            continue; // not downloaded yet, as everything after it
        const bool overlaps = taken.Overlaps(s.offset, s.offset + s.size);
        const bool arrived = !overlaps && m_tracks[best].arrived[k];
        // Uncompressed sound (every sample a run of whole frames, as settled before the sort) is
        // judged by its frames, a piece of one frame as a longer one, so that silence is not taken
        // for a hole: the written file holds pieces of any length.
        if (overlaps || arrived || m_tracks[best].track.frameSize == 0) {
            if (arrived)
                take(best, k, s);
            else
                drop(best, std::min<std::uint64_t>(s.size, m_size - s.offset));
            continue;
        }
        // Uncompressed sound loses only the frames damage touches; the rest of the piece stays,
        // in pieces timed by their share of its duration.
        const std::uint64_t frameSize = s.size / s.frames;
        const auto takeFrames = [&](std::uint32_t first, std::uint32_t end) {
            Mp4Sample part = s;
            const std::uint64_t begin = static_cast<std::uint64_t>(s.duration) * first / s.frames;
            part.offset = s.offset + first * frameSize;
            part.size = static_cast<std::uint32_t>((end - first) * frameSize);
            part.frames = end - first;
            part.time = s.time + static_cast<std::int64_t>(begin);
            part.duration =
                static_cast<std::uint32_t>(static_cast<std::uint64_t>(s.duration) * end / s.frames - begin);
            take(best, k, part);
        };
        std::uint32_t next = 0;
        for (const FrameRange& lostFrames : LostFrames(s)) {
            if (lostFrames.first > next)
                takeFrames(next, lostFrames.first);
            const std::uint64_t from = s.offset + lostFrames.first * frameSize;
            drop(best, std::min(s.offset + lostFrames.end * frameSize, m_size) - std::min(from, m_size));
            next = lostFrames.end;
        }
        if (next < s.frames)
            takeFrames(next, s.frames);
    }
}

bool Walker::Run(std::string& error)
{
    std::uint64_t pos = 0;
    std::uint64_t dataEnd = 0; // of movie data before the index
    bool movie = false;
    while (pos < m_size) {
        ReportProgress(pos);
        BoxHeader box;
        const bool readable = PeekHeader(pos, box);
        const std::uint64_t end = readable && box.size <= m_size ? pos + box.size : m_size + 1;
        bool damaged = false;
        if (readable && box.type == MOOV && !movie) {
            Bytes data;
            if (!ReadBox(pos, box, data)) {
                error = Format("the index (moov box) runs from byte %" PRIu64 " to byte %" PRIu64
                               " and has not arrived whole, in a file of %" PRIu64 " bytes",
                               pos, pos + box.size, m_size);
                return false;
            }
            if (!InflateMovie(data, error))
                return false;
            ParseMovie(data);
            movie = true;
            for (TrackIndex& t : m_tracks)
                if (!ExpandTables(t)) {
                    error = "the index (moov box) is damaged: its sample tables do not fit together";
                    return false;
                }
            if (!m_result.fragmented)
                break;
        } else if (readable && box.type == FTYP && !movie && m_result.fileType.empty()) {
            MemorySink sink;
            if (box.size >= box.header + 8 && box.size <= 4096 && Whole(pos, box.size) &&
                sink.CopyFrom(m_in, pos, box.size)) {
                m_result.fileType = sink.Bytes();
                m_result.majorBrand = Get32(m_result.fileType.data() + box.header);
            }
        } else if (readable && box.type == MDAT && !movie) {
            dataEnd = end > m_size ? pos + box.size : end;
        } else if (readable && box.type == MOOF && movie && m_result.fragmented) {
            Bytes data;
            if (box.size >= 16 && ReadBox(pos, box, data))
                ParseFragment(pos, data);
            else if (end <= m_size)
                damaged = true;
        } else if (!readable || (box.type != MDAT && !IsOtherTopLevel(box.type)) || box.type == MOOF) {
            damaged = true;
        }
        if (damaged) {
            if (!movie || !m_result.fragmented)
                break;
            const std::uint64_t next = Resync(pos + 1);
            ++m_damage;
            ++m_result.report.damagedRegions;
            m_result.report.damagedBytes += next - pos;
            if (next < m_size)
                ++m_result.report.resynchronised;
            pos = next;
            continue;
        }
        if (end > m_size)
            break;
        pos = end;
    }
    if (!movie) {
        if (dataEnd > m_size)
            error =
                Format("no index yet: the movie data runs to byte %" PRIu64 " of a file that holds %" PRIu64
                       " bytes so far, and the index (moov box) follows it; the preview needs the end "
                       "of the download first (%" PRIu64 " more bytes before the index starts)",
                       dataEnd, m_size, dataEnd - m_size);
        else if (dataEnd > 0)
            error = Format("no index yet: the movie data runs to byte %" PRIu64 " of a file of %" PRIu64
                           " bytes, and the index (moov box) after it has not arrived; the preview needs "
                           "the end of the download first",
                           dataEnd, m_size);
        else
            error = "no index (moov box) in the file";
        return false;
    }
    if (m_tracks.empty()) {
        error = "the index (moov box) lists no video or sound track";
        return false;
    }
    // Sound is uncompressed only where every sample is a run of its frames; fragments may bring
    // samples of other sizes. The written file then gives each sample its own size, and so is read.
    for (TrackIndex& t : m_tracks)
        if (t.track.frameSize != 0 &&
            !std::all_of(t.samples.begin(), t.samples.end(), [&t](const Mp4Sample& s) {
                return s.size == std::uint64_t{s.frames} * t.track.frameSize;
            }))
            t.track.frameSize = 0;
    JudgeSamples();
    Sort();
    for (const TrackIndex& t : m_tracks)
        m_result.tracks.push_back(t.track);
    if (m_options.progress)
        m_options.progress(m_size, m_size);
    return true;
}

} // namespace

bool SalvageMp4(SourceReader& reader, const SalvageOptions& options, Mp4Salvage& result, std::string& error)
{
    result = Mp4Salvage{};
    Walker walker(reader, options, result);
    return walker.Run(error);
}

} // namespace pg::clipmend
