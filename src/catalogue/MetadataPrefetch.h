#pragma once
// Reads the metadata files of a refresh ahead, on worker threads, while the window lists the
// downloads read before. Opening and closing a file is a round trip to the system each (under
// Wine one to its server, which made these trips most of a refresh's time); two readers keep
// more of them under way. The files are parsed in list order on the caller's thread, so the dump
// comes out exactly as if each file were read when its row is added.
#include "catalogue/PartMetFile.h"
#include "framework/Handles.h"

#include <windows.h>

#include <atomic>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace pg {

class MetadataPrefetch
{
public:
    // Starts reading partPath + ".met" of each of the downloads.
    explicit MetadataPrefetch(std::vector<std::string> partPaths);
    MetadataPrefetch(const MetadataPrefetch&) = delete;
    MetadataPrefetch& operator=(const MetadataPrefetch&) = delete;
    // Stops the readers; files being read are finished first.
    ~MetadataPrefetch();

    // What GetPartInfo yields for download `index`, with the same dump. Asked for in list order,
    // each download once.
    PartInfo Info(std::size_t index, const DumpTarget& dump);

private:
    // Missing: the file cannot be opened, so the download has no metadata. ReadInPlace: too large
    // to be read ahead.
    enum SlotState { Pending, Read, Missing, ReadInPlace };
    struct Slot
    {
        std::atomic<SlotState> state{Pending};
        std::string bytes;
    };

    // The whole file into `bytes`, opened as the metadata reader opens it; Read, Missing or
    // ReadInPlace.
    static SlotState ReadMetadataFile(const std::string& path, std::string& bytes);
    static unsigned __stdcall ReaderThread(void* self);
    void ReadAhead();
    // Blocks until the slot's file has been dealt with by a reader; yields its state.
    SlotState WaitFor(const Slot& slot);

    std::vector<std::string> m_partPaths;
    std::unique_ptr<Slot[]> m_slots;
    std::atomic<std::size_t> m_nextGroup{0};
    std::atomic<bool> m_stopping{false};
    std::atomic<bool> m_callerWaiting{false};
    // Permits for reading a group of files ahead, as many as may be held in memory unparsed. The
    // readers take files in groups so that signalling costs little beside the files themselves.
    fw::KernelHandle m_space;
    // Set after a file is read while the caller waits for one.
    fw::KernelHandle m_progress;
    std::vector<fw::KernelHandle> m_readers;
};

} // namespace pg
