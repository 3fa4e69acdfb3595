// The floor of any tool that reads a stream and writes what it keeps as it goes: the input read
// a megabyte at a time and searched for start codes (the least work a reader of MPEG video does
// for each byte), while a second thread copies each megabyte read into the output inside the
// kernel, the cheapest copy there is (cp's own). Prints its time and what it found.
//   clipmend_streaming_floor INPUT OUTPUT
#include "ClientFile.h"
#include "MpegStream.h"

#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: clipmend_streaming_floor INPUT OUTPUT\n");
        return 2;
    }
    const auto start = std::chrono::steady_clock::now();
    const pg::FilePtr input(std::fopen(argv[1], "rb"));
    const pg::FilePtr output(std::fopen(argv[2], "wb"));
    if (!input || !output) {
        std::fprintf(stderr, "clipmend_streaming_floor: cannot open the files\n");
        return 1;
    }
    // Both are used through their descriptors alone, past the C runtime's buffers.
    const int in = fileno(input.get());
    const int out = fileno(output.get());
    constexpr std::size_t CHUNK = 1 << 20;
    std::mutex lock;
    std::condition_variable changed;
    std::deque<std::pair<off_t, std::size_t>> queued;
    bool reading = true;
    bool failed = false;
    std::thread copier([&] {
        for (;;) {
            std::unique_lock<std::mutex> held(lock);
            changed.wait(held, [&] { return !queued.empty() || !reading; });
            if (queued.empty())
                return;
            auto [offset, left] = queued.front();
            queued.pop_front();
            held.unlock();
            loff_t from = offset;
            while (left > 0) {
                const ssize_t copied = copy_file_range(in, &from, out, nullptr, left, 0);
                if (copied <= 0) {
                    std::lock_guard<std::mutex> guard(lock);
                    failed = true;
                    return;
                }
                left -= static_cast<std::size_t>(copied);
            }
        }
    });
    std::vector<std::uint8_t> buffer(CHUNK);
    std::uint64_t startCodes = 0;
    for (off_t offset = 0;;) {
        const ssize_t got = pread(in, buffer.data(), CHUNK, offset);
        if (got <= 0)
            break;
        const auto size = static_cast<std::size_t>(got);
        using pg::clipmend::mpeg::FindStartCode;
        for (std::size_t at = FindStartCode(buffer.data(), 0, size); at < size;
             at = FindStartCode(buffer.data(), at + 1, size))
            ++startCodes;
        {
            std::lock_guard<std::mutex> guard(lock);
            queued.emplace_back(offset, size);
        }
        changed.notify_one();
        offset += got;
    }
    {
        std::lock_guard<std::mutex> guard(lock);
        reading = false;
    }
    changed.notify_one();
    copier.join();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%.3f s, %llu start codes\n", seconds, static_cast<unsigned long long>(startCodes));
    return failed ? 1 : 0;
}
