#pragma once
// Reads an MP4 or QuickTime file as a partial download leaves it. The index (the moov box)
// tells where every sample lies; the samples whose bytes have arrived are kept. Fragmented
// files carry their samples' tables in moof boxes between the movie data; those that arrived
// are walked, and after damage the walk picks up at the next moof.
#include "Box.h"
#include "Container.h"

#include <cstdint>
#include <string>
#include <vector>

namespace pg::clipmend {

constexpr std::uint32_t HANDLER_VIDEO = mp4::BoxType("vide");
constexpr std::uint32_t HANDLER_SOUND = mp4::BoxType("soun");

struct Mp4Track
{
    std::uint32_t id = 0;
    std::uint32_t handler = 0;
    std::uint32_t timescale = 0; // media time units per second
    std::uint16_t language = 0;
    // As the input has them: the sample descriptions, the handler and the media header (vmhd,
    // smhd) boxes, whole.
    mp4::Bytes sampleDescriptions;
    mp4::Bytes handlerBox;
    mp4::Bytes mediaHeader;
    // Of the track header.
    std::uint32_t headerFlags = 3; // enabled, in the movie
    std::uint16_t layer = 0;
    std::uint16_t alternateGroup = 0;
    std::uint16_t volume = 0;
    std::uint32_t matrix[9] = {0x10000, 0, 0, 0, 0x10000, 0, 0, 0, 0x40000000};
    std::uint32_t width = 0; // 16.16 fixed point
    std::uint32_t height = 0;
    // Media time the input's edit list starts the presentation at; 0 without one.
    std::int64_t presentationOffset = 0;
    // Movie time units the input's empty edits show nothing of the track before that: a track
    // that starts late.
    std::uint64_t startDelay = 0;
    bool syncTable = false; // an stss told the sync samples; without one every sample is one
    // Of sound of one sample size, a sample per sound frame (uncompressed), taken a chunk at a
    // time: the size of a frame; else 0.
    std::uint32_t frameSize = 0;
};

struct Mp4Sample
{
    std::uint64_t offset = 0;
    std::uint32_t size = 0;
    std::uint32_t track = 0;    // index into the tracks
    std::int64_t time = 0;      // decoding time, in the track's media time units
    std::uint32_t duration = 0; // in media time units
    std::int32_t composition = 0;
    // How many samples of the input it stands for: a chunk of uncompressed sound is one piece
    // of samples of equal size. Its duration and size are theirs together.
    std::uint32_t frames = 1;
    bool key = false;
    // Count of lost samples (and, between fragments, of damaged regions) before the sample in
    // its track: where it changes, decoding starts afresh.
    std::uint32_t run = 0;
};

struct Mp4Salvage
{
    mp4::Bytes fileType; // the ftyp box as the input has it; empty in old QuickTime files
    std::uint32_t majorBrand = 0;
    std::uint32_t movieTimescale = 600;
    bool fragmented = false;
    std::vector<Mp4Track> tracks;   // video and sound tracks
    std::vector<Mp4Sample> samples; // that arrived whole, in file order
    DamageReport report;            // the pieces dropped are samples
};

// False with a one-line reason when the file is no MP4 or QuickTime file or its index cannot be
// read, as when it lies at the end and has not arrived yet.
bool SalvageMp4(SourceReader& reader, const SalvageOptions& options, Mp4Salvage& result, std::string& error);

} // namespace pg::clipmend
