#pragma once
// What the writers of both kinds of MPEG stream share. They copy the input's own packets as they
// are wherever these hold only bytes of written units, and pack afresh only where a packet also
// holds something left out: the output keeps the input's timing and packet layout, and costs
// little more than a copy.
#include "MpegWriter.h"

#include <cstdint>
#include <string>
#include <vector>

namespace pg::clipmend::mpeg {

class UnitCopier : public MpegCopier
{
protected:
    using Bytes = std::vector<std::uint8_t>;

    enum class UnitState : std::uint8_t {
        WAITING,  // none of its bytes written yet
        COPIED,   // its packets go out as they are
        REPACKED, // written whole in fresh packets
    };

    struct Stream
    {
        std::size_t index = 0;
        std::vector<std::size_t> units; // written, in stream order
        std::size_t nextUnit = 0;       // the next piece not yet met: its unit in units
        std::uint32_t nextPiece = 0;    // and its place there
    };

    // A piece of a written unit met in a packet.
    struct Met
    {
        std::size_t unit;
        Piece piece;
        bool last;
        std::size_t at;       // its unit's place in the stream's units
        std::uint32_t number; // its place in the unit
    };

    UnitCopier(const MpegSalvage& salvage, const MpegPlan& plan, const OutputOptions& options,
               SourceReader& input, ByteSink& output);

public:
    void Extend(const std::vector<std::size_t>& units) override;

protected:
    // Finds the first written byte (as a file offset) and what the first picture lacks, from
    // the written units so far; false with a reason when nothing can be written.
    bool PrepareStart(std::string& error);
    // Finds the last written byte and what the last picture lacks, once every unit is known.
    bool PrepareEnd(std::string& error);
    // The pieces of the stream's written units that start before end, in order, past those of
    // units packed afresh already.
    void TakePieces(Stream& stream, std::uint64_t end, std::vector<Met>& met);
    // The common packet's short way: where the stream's next piece alone fills [from, end) and
    // goes on with a unit whose packets were copied so far, well past its start, it is passed as
    // copied, as the long way would; false, with nothing changed, where not.
    bool PassContinued(Stream& stream, std::uint64_t from, std::uint64_t end);
    // Whether the time in a packet's header, if any (timed), leaves none of the pictures
    // starting in it among the pieces met without a time: one that starts in a packet whose time
    // is another's, or none, goes afresh with its own.
    bool PicturesTimed(std::size_t place, const std::vector<Met>& met, bool timed) const;
    // Whether the piece met holds the last byte of its picture's start code: readers take the
    // time of the packet that holds it for the picture's.
    bool StartCodeEndsIn(const Met& m) const;
    // Whether the pieces met tile [from, end): the packet holds nothing but written units' bytes.
    bool Tiles(const std::vector<Met>& met, std::uint64_t from, std::uint64_t end) const;
    // Whether the unit is a picture that gains bytes, so that its packets cannot be copied.
    bool NeedsRepacking(std::size_t unit) const;
    // Whether the pieces met may go out where they lie: none is of such a picture.
    bool Copiable(const std::vector<Met>& met) const;
    // Units packed afresh: the bytes of one picture, or of sound frames that follow on, with the
    // first one's times.
    struct Repacked
    {
        std::size_t unit; // the first
        Bytes bytes;
    };
    // The stream's written units from at on while they start before end (at least the first),
    // with what the first and last pictures lack; each is marked packed afresh.
    std::vector<Repacked> RepackUnits(Stream& stream, std::size_t at, std::uint64_t end);
    // The bytes of the pieces met whose units were copied so far, and their progress.
    Bytes ContinuedBytes(const std::vector<Met>& met);
    // Marks the units of the pieces met as copied, with their progress.
    void Copied(const std::vector<Met>& met);
    // Counts the progress of the units whose last pieces were met.
    void Passed(const std::vector<Met>& met);
    // What goes before and after the piece met: the sequence header the first picture lacks,
    // the end code the last one lacks.
    const Bytes& HeadOf(const Met& m) const;
    const Bytes& TailOf(const Met& m) const;
    // The piece's bytes from the input, after those in bytes.
    void Append(const Piece& piece, Bytes& bytes);
    std::int64_t Pts(const Unit& unit) const;
    // The decoding time where a picture's differs from its presentation time, else null.
    const std::int64_t* Dts(const Unit& unit, std::int64_t& dts) const;

    // The first stretch the reading lost that ends after offset (its place in the salvage's list),
    // and where the packets' cadence or the packs last started afresh at or before offset: the
    // end of the stretch before it, or the file's start.
    std::size_t LostAfter(std::uint64_t offset) const;
    std::uint64_t ResumedBefore(std::uint64_t offset) const;

    // The n bytes at pos go out as they are, after those kept before them.
    void Keep(std::uint64_t pos, std::uint64_t n);
    void FlushRun();
    void Put(const std::uint8_t* data, std::size_t size);
    bool Failed(std::string& error) const;

    const MpegSalvage& m_salvage;
    const MpegPlan& m_plan;
    const OutputOptions& m_options;
    SourceReader& m_in;
    ByteSink& m_out;
    std::vector<Stream> m_streams; // the video first
    std::vector<UnitState> m_state;
    std::uint64_t m_first = 0; // the first written unit's first piece
    std::uint64_t m_last = 0;  // the last written piece in the file, once known
    bool m_ended = false;      // every written unit is known
    bool m_readFailed = false;
    bool m_writeFailed = false;
    // The reader may have looked elsewhere since the walk's last look at the window.
    bool m_windowMoved = false;

private:
    void Finished(std::size_t unit);

    std::vector<std::size_t> m_placeOf; // per salvaged stream: 1 + its place in m_streams, or 0
    std::size_t m_firstVideo = 0;
    std::size_t m_lastVideo = SIZE_MAX; // none until every unit is known
    Bytes m_head;                       // the sequence header the first picture lacks
    Bytes m_tail;                       // the end code the last picture lacks
    std::uint64_t m_runStart = 0;
    std::uint64_t m_runEnd = 0;
    std::uint64_t m_videoDone = 0;
};

} // namespace pg::clipmend::mpeg
