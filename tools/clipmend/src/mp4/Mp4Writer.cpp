#include "Mp4Writer.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace pg::clipmend {

namespace {

using namespace mp4;

constexpr std::uint64_t MAX_32 = 0xFFFFFFFFu;
constexpr std::uint32_t UNITY = 0x10000;
// Samples copied in one go at most, so that progress is told now and then.
constexpr std::uint64_t COPY_RUN = 8u << 20;
constexpr std::uint8_t SEPARATOR = 0xFF;

// One written track: its samples in the output's order, and what its index needs.
struct PlannedTrack
{
    std::size_t track = 0;
    std::vector<std::size_t> samples;        // indices into the salvage's samples
    std::vector<std::uint32_t> durations;    // a hole's time stays, as the sample before it
    std::vector<std::uint32_t> chunkSamples; // samples per chunk
    std::vector<std::uint64_t> chunkOffsets; // from the start of the movie data's payload
    std::int64_t mediaDuration = 0;          // media time units
    std::int64_t editStart = 0;              // media time the edit shows first
    std::int64_t shownEnd = 0;               // media time the last shown sample is over
    double firstShown = 0;                   // seconds, on the input's presentation time line
    std::uint64_t delay = 0;                 // movie time units before the track starts
    std::uint64_t shownDuration = 0;         // movie time units
};

void PutVersioned(Bytes& out, bool wide, std::uint64_t value)
{
    if (wide)
        Put64(out, value);
    else
        Put32(out, static_cast<std::uint32_t>(value));
}

void PutMatrix(Bytes& out, const std::uint32_t (&matrix)[9])
{
    for (std::uint32_t value : matrix)
        Put32(out, value);
}

class Writer
{
public:
    Writer(const Mp4Salvage& salvage, const Mp4Plan& plan, const OutputOptions& options)
        : m_salvage(salvage), m_plan(plan), m_options(options)
    {
    }

    bool Write(SourceReader& input, ByteSink& output, std::string& error);

private:
    void PlanTracks();
    // The index, with chunk offsets from the start of the movie data's payload.
    void Movie(BoxBuilder& box, bool wideOffsets);
    void Track(BoxBuilder& box, const PlannedTrack& planned, bool wideOffsets);
    void SampleTable(BoxBuilder& box, const PlannedTrack& planned, bool wideOffsets);
    // Moves the index's chunk offsets by where the movie data's payload starts.
    void PlaceOffsets(Bytes& index, bool wideOffsets, std::uint64_t dataStart) const;
    std::uint64_t MovieDuration() const;

    const Mp4Salvage& m_salvage;
    const Mp4Plan& m_plan;
    const OutputOptions& m_options;
    std::vector<PlannedTrack> m_tracks;
    std::uint64_t m_payload = 0;   // bytes of movie data
    std::vector<bool> m_separated; // per written sample: a byte between it and the one before
    // Where each track's chunk offsets lie in the index, and how many there are.
    std::vector<std::pair<std::size_t, std::size_t>> m_offsetTables;
};

void Writer::PlanTracks()
{
    std::vector<std::size_t> slot(m_salvage.tracks.size(), 0);
    for (std::size_t t : m_plan.tracks) {
        slot[t] = m_tracks.size();
        m_tracks.push_back({});
        m_tracks.back().track = t;
    }
    // A chunk is a run of samples of one track in the movie data. Uncompressed sound that did not
    // follow on in the input starts a chunk after a byte that is not zero: the zeros that end one
    // piece and start the next could otherwise make a run that reads as a hole.
    std::size_t previous = m_tracks.size();
    const Mp4Sample* before = nullptr;
    for (std::size_t index : m_plan.samples) {
        const Mp4Sample& s = m_salvage.samples[index];
        PlannedTrack& planned = m_tracks[slot[s.track]];
        const bool separated = slot[s.track] == previous && m_salvage.tracks[s.track].frameSize != 0 &&
                               before->offset + before->size != s.offset;
        m_separated.push_back(separated);
        m_payload += separated;
        before = &s;
        if (slot[s.track] != previous || separated) {
            planned.chunkSamples.push_back(0);
            planned.chunkOffsets.push_back(m_payload);
            previous = slot[s.track];
        }
        planned.chunkSamples.back() += s.frames;
        planned.samples.push_back(index);
        m_payload += s.size;
    }
    for (PlannedTrack& planned : m_tracks) {
        const Mp4Track& track = m_salvage.tracks[planned.track];
        const auto& samples = planned.samples;
        std::int64_t shown = std::numeric_limits<std::int64_t>::max();
        std::int64_t shownEnd = std::numeric_limits<std::int64_t>::min();
        std::int64_t time = m_salvage.samples[samples.front()].time;
        for (std::size_t k = 0; k < samples.size(); ++k) {
            const Mp4Sample& s = m_salvage.samples[samples[k]];
            std::uint32_t duration = s.duration;
            if (k + 1 < samples.size()) {
                const std::int64_t step = m_salvage.samples[samples[k + 1]].time - s.time;
                if (step > 0 && step <= static_cast<std::int64_t>(MAX_32))
                    duration = static_cast<std::uint32_t>(step);
            }
            planned.durations.push_back(duration);
            planned.mediaDuration += duration;
            shown = std::min(shown, s.time + s.composition);
            shownEnd = std::max(shownEnd, time + s.composition + static_cast<std::int64_t>(duration));
            time += duration;
        }
        const std::int64_t first = m_salvage.samples[samples.front()].time;
        // The input's edit may hide the first samples (an audio encoder's priming, the delay of
        // reordered frames); what it hides of the written ones stays hidden.
        const std::int64_t start = std::max(shown, track.presentationOffset);
        planned.editStart = std::max<std::int64_t>(start - first, 0);
        planned.shownEnd = shownEnd - first;
        planned.firstShown = static_cast<double>(start - track.presentationOffset) / track.timescale +
                             static_cast<double>(track.startDelay) / m_salvage.movieTimescale;
    }
    double origin = m_tracks.front().firstShown;
    for (const PlannedTrack& planned : m_tracks)
        origin = std::min(origin, planned.firstShown);
    const double movieScale = m_salvage.movieTimescale;
    for (PlannedTrack& planned : m_tracks) {
        const double scale = m_salvage.tracks[planned.track].timescale;
        planned.delay = static_cast<std::uint64_t>(std::llround((planned.firstShown - origin) * movieScale));
        const std::int64_t shownMedia = std::max<std::int64_t>(planned.shownEnd - planned.editStart, 0);
        planned.shownDuration =
            static_cast<std::uint64_t>(std::llround(static_cast<double>(shownMedia) / scale * movieScale));
    }
}

std::uint64_t Writer::MovieDuration() const
{
    std::uint64_t duration = 0;
    for (const PlannedTrack& planned : m_tracks)
        duration = std::max(duration, planned.delay + planned.shownDuration);
    return duration;
}

// Runs of equal values, as the time and composition tables hold them.
class Runs
{
public:
    void Add(std::uint32_t value, std::uint32_t count = 1)
    {
        if (count == 0)
            return;
        if (!m_runs.empty() && m_runs.back().second == value)
            m_runs.back().first += count;
        else
            m_runs.push_back({count, value});
    }

    // The table's payload: the count of its entries, then the entries.
    void Put(Bytes& out) const
    {
        Put32(out, static_cast<std::uint32_t>(m_runs.size()));
        for (const auto& [count, value] : m_runs) {
            Put32(out, count);
            Put32(out, value);
        }
    }

private:
    std::vector<std::pair<std::uint32_t, std::uint32_t>> m_runs;
};

void Writer::SampleTable(BoxBuilder& box, const PlannedTrack& planned, bool wideOffsets)
{
    const Mp4Track& track = m_salvage.tracks[planned.track];
    Bytes& out = box.Out();
    box.Open(BoxType("stbl"));
    Append(out, track.sampleDescriptions);
    // A piece of uncompressed sound goes out as the samples it stands for, each lasting its
    // share of the piece's own duration; the last takes the rest, a hole's time included.
    Runs durations, compositions;
    std::uint32_t number = 0, keys = 0;
    bool composed = false, negative = false;
    const Mp4Sample& first = m_salvage.samples[planned.samples.front()];
    const std::uint32_t firstSize = first.size / first.frames;
    // Sound of one sample size reads as uncompressed, its zeros judged as silence or a hole by the
    // run; sound read sample by sample keeps its table of sizes, so that it reads back the same.
    const bool sameSize = (track.handler != HANDLER_SOUND || track.frameSize != 0) &&
                          std::all_of(planned.samples.begin(), planned.samples.end(), [&](std::size_t index) {
                              const Mp4Sample& s = m_salvage.samples[index];
                              return s.size / s.frames == firstSize;
                          });
    for (std::size_t k = 0; k < planned.samples.size(); ++k) {
        const Mp4Sample& s = m_salvage.samples[planned.samples[k]];
        const std::uint32_t step = std::min(s.duration, planned.durations[k]) / s.frames;
        durations.Add(step, s.frames - 1);
        durations.Add(planned.durations[k] - step * (s.frames - 1));
        compositions.Add(static_cast<std::uint32_t>(s.composition), s.frames);
        composed = composed || s.composition != 0;
        negative = negative || s.composition < 0;
        keys += s.key;
        number += s.frames;
    }
    box.OpenFull(BoxType("stts"), 0, 0);
    durations.Put(out);
    box.Close();
    if (composed) {
        box.OpenFull(BoxType("ctts"), negative ? 1 : 0, 0);
        compositions.Put(out);
        box.Close();
    }
    if (keys < planned.samples.size()) {
        box.OpenFull(BoxType("stss"), 0, 0);
        Put32(out, keys);
        std::uint32_t sampleNumber = 1;
        for (std::size_t index : planned.samples) {
            const Mp4Sample& s = m_salvage.samples[index];
            if (s.key)
                Put32(out, sampleNumber);
            sampleNumber += s.frames;
        }
        box.Close();
    }
    box.OpenFull(BoxType("stsz"), 0, 0);
    Put32(out, sameSize ? firstSize : 0);
    Put32(out, number);
    if (!sameSize) {
        for (std::size_t index : planned.samples) {
            const Mp4Sample& s = m_salvage.samples[index];
            for (std::uint32_t f = 0; f < s.frames; ++f)
                Put32(out, s.size / s.frames);
        }
    }
    box.Close();
    // Chunks in runs of equal sample counts, each with the first chunk's number.
    box.OpenFull(BoxType("stsc"), 0, 0);
    const std::size_t countAt = out.size();
    Put32(out, 0);
    std::uint32_t entries = 0;
    for (std::size_t c = 0; c < planned.chunkSamples.size(); ++c)
        if (c == 0 || planned.chunkSamples[c] != planned.chunkSamples[c - 1]) {
            Put32(out, static_cast<std::uint32_t>(c + 1));
            Put32(out, planned.chunkSamples[c]);
            Put32(out, 1);
            ++entries;
        }
    Set32(out.data() + countAt, entries);
    box.Close();
    box.OpenFull(BoxType(wideOffsets ? "co64" : "stco"), 0, 0);
    Put32(out, static_cast<std::uint32_t>(planned.chunkOffsets.size()));
    m_offsetTables.push_back({out.size(), planned.chunkOffsets.size()});
    for (std::uint64_t offset : planned.chunkOffsets)
        PutVersioned(out, wideOffsets, offset);
    box.Close();
    box.Close();
}

void Writer::Track(BoxBuilder& box, const PlannedTrack& planned, bool wideOffsets)
{
    const Mp4Track& track = m_salvage.tracks[planned.track];
    const bool video = planned.track == m_plan.videoTrack;
    Bytes& out = box.Out();
    box.Open(BoxType("trak"));

    const std::uint64_t duration = planned.delay + planned.shownDuration;
    const bool wide = duration > MAX_32;
    box.OpenFull(BoxType("tkhd"), wide ? 1 : 0, track.headerFlags);
    PutVersioned(out, wide, 0); // creation and modification time
    PutVersioned(out, wide, 0);
    Put32(out, track.id);
    Put32(out, 0);
    PutVersioned(out, wide, duration);
    Put32(out, 0);
    Put32(out, 0);
    Put16(out, track.layer);
    Put16(out, track.alternateGroup);
    Put16(out, track.volume);
    Put16(out, 0);
    PutMatrix(out, track.matrix);
    const bool sized = video && m_options.width > 0 && m_options.height > 0;
    Put32(out, sized ? static_cast<std::uint32_t>(m_options.width) * UNITY : track.width);
    Put32(out, sized ? static_cast<std::uint32_t>(m_options.height) * UNITY : track.height);
    box.Close();

    // The edit list: an empty edit while the track has not started, then the samples from
    // where the input showed them.
    const bool wideEdit = duration > MAX_32 || planned.editStart > static_cast<std::int64_t>(MAX_32 / 2);
    box.Open(BoxType("edts"));
    box.OpenFull(BoxType("elst"), wideEdit ? 1 : 0, 0);
    Put32(out, planned.delay > 0 ? 2 : 1);
    if (planned.delay > 0) {
        PutVersioned(out, wideEdit, planned.delay);
        PutVersioned(out, wideEdit, wideEdit ? ~0ull : MAX_32);
        Put32(out, UNITY);
    }
    PutVersioned(out, wideEdit, planned.shownDuration);
    PutVersioned(out, wideEdit, static_cast<std::uint64_t>(planned.editStart));
    Put32(out, UNITY);
    box.Close();
    box.Close();

    box.Open(BoxType("mdia"));
    const bool wideMedia = static_cast<std::uint64_t>(planned.mediaDuration) > MAX_32;
    box.OpenFull(BoxType("mdhd"), wideMedia ? 1 : 0, 0);
    PutVersioned(out, wideMedia, 0);
    PutVersioned(out, wideMedia, 0);
    Put32(out, track.timescale);
    PutVersioned(out, wideMedia, static_cast<std::uint64_t>(planned.mediaDuration));
    Put16(out, track.language);
    Put16(out, 0);
    box.Close();
    Append(out, track.handlerBox);

    box.Open(BoxType("minf"));
    if (!track.mediaHeader.empty()) {
        Append(out, track.mediaHeader);
    } else {
        box.OpenFull(BoxType(video ? "vmhd" : "smhd"), 0, video ? 1 : 0);
        out.resize(out.size() + (video ? 8 : 4), 0);
        box.Close();
    }
    // The data lies in this file.
    box.Open(BoxType("dinf"));
    box.OpenFull(BoxType("dref"), 0, 0);
    Put32(out, 1);
    box.OpenFull(BoxType("url "), 0, 1);
    box.Close();
    box.Close();
    box.Close();
    SampleTable(box, planned, wideOffsets);
    box.Close(); // minf
    box.Close(); // mdia
    box.Close(); // trak
}

void Writer::Movie(BoxBuilder& box, bool wideOffsets)
{
    const std::uint64_t duration = MovieDuration();
    const bool wide = duration > MAX_32;
    std::uint32_t nextId = 1;
    for (const PlannedTrack& planned : m_tracks)
        nextId = std::max(nextId, m_salvage.tracks[planned.track].id + 1);
    Bytes& out = box.Out();
    box.Open(BoxType("moov"));
    box.OpenFull(BoxType("mvhd"), wide ? 1 : 0, 0);
    PutVersioned(out, wide, 0);
    PutVersioned(out, wide, 0);
    Put32(out, m_salvage.movieTimescale);
    PutVersioned(out, wide, duration);
    Put32(out, UNITY);  // rate
    Put16(out, 0x0100); // volume
    out.resize(out.size() + 10, 0);
    PutMatrix(out, {UNITY, 0, 0, 0, UNITY, 0, 0, 0, 0x40000000});
    out.resize(out.size() + 24, 0);
    Put32(out, nextId);
    box.Close();
    m_offsetTables.clear();
    for (const PlannedTrack& planned : m_tracks)
        Track(box, planned, wideOffsets);
    box.Close();
}

void Writer::PlaceOffsets(Bytes& index, bool wideOffsets, std::uint64_t dataStart) const
{
    const std::size_t width = wideOffsets ? 8 : 4;
    for (const auto& [at, count] : m_offsetTables)
        for (std::size_t k = 0; k < count; ++k) {
            std::uint8_t* entry = index.data() + at + k * width;
            if (wideOffsets)
                Set64(entry, Get64(entry) + dataStart);
            else
                Set32(entry, static_cast<std::uint32_t>(Get32(entry) + dataStart));
        }
}

bool Writer::Write(SourceReader& input, ByteSink& output, std::string& error)
{
    if (m_plan.samples.empty()) {
        error = "nothing to write";
        return false;
    }
    PlanTracks();
    Bytes head = m_salvage.fileType;
    BoxBuilder box(head);
    if (head.empty()) {
        box.Open(BoxType("ftyp"));
        Put32(head, BoxType("qt  "));
        Put32(head, 0x20050300);
        Put32(head, BoxType("qt  "));
        box.Close();
    }
    const std::size_t dataHeader = m_payload + 8 > MAX_32 ? 16 : 8;
    std::size_t indexSize = 4096;
    for (const PlannedTrack& planned : m_tracks)
        indexSize += planned.samples.size() * 24 + planned.chunkOffsets.size() * 20 +
                     m_salvage.tracks[planned.track].sampleDescriptions.size();
    head.reserve(head.size() + indexSize);
    // The index is built with chunk offsets from the payload's start, moved once its size tells
    // where that lies: the size depends on the offsets' width, not on their values.
    const std::size_t indexStart = head.size();
    bool wideOffsets = false;
    Movie(box, wideOffsets);
    if (head.size() + dataHeader + m_payload > MAX_32) {
        head.resize(indexStart);
        wideOffsets = true;
        Movie(box, wideOffsets);
    }
    PlaceOffsets(head, wideOffsets, head.size() + dataHeader);
    if (dataHeader == 16) {
        Put32(head, 1);
        Put32(head, BoxType("mdat"));
        Put64(head, m_payload + 16);
    } else {
        Put32(head, static_cast<std::uint32_t>(m_payload + 8));
        Put32(head, BoxType("mdat"));
    }
    if (!output.Write(head.data(), head.size())) {
        error = "write failed";
        return false;
    }

    std::uint64_t videoFrames = 0;
    for (std::size_t index : m_plan.samples)
        videoFrames += m_salvage.samples[index].track == m_plan.videoTrack;
    std::uint64_t framesDone = 0;
    // Samples that lie one after the other in the input are copied in one go.
    const auto& samples = m_plan.samples;
    for (std::size_t k = 0; k < samples.size();) {
        const Mp4Sample& first = m_salvage.samples[samples[k]];
        if (m_separated[k] && !output.Write(&SEPARATOR, 1)) {
            error = "write failed";
            return false;
        }
        std::uint64_t length = 0;
        std::size_t end = k;
        while (end < samples.size() && length < COPY_RUN &&
               m_salvage.samples[samples[end]].offset == first.offset + length) {
            const Mp4Sample& s = m_salvage.samples[samples[end]];
            length += s.size;
            framesDone += s.track == m_plan.videoTrack;
            ++end;
        }
        if (!output.CopyFrom(input, first.offset, length)) {
            error = "cannot read the input's sample at byte " + std::to_string(first.offset);
            return false;
        }
        if (m_options.progress && videoFrames > 0)
            m_options.progress(framesDone, videoFrames);
        k = end;
    }
    return true;
}

} // namespace

bool WriteMp4(const Mp4Salvage& salvage, const Mp4Plan& plan, const OutputOptions& options,
              SourceReader& input, ByteSink& output, std::string& error)
{
    Writer writer(salvage, plan, options);
    return writer.Write(input, output, error);
}

} // namespace pg::clipmend
