#pragma once
// Inputs and outputs of many gigabytes that are never held: a mapped input whose bytes are made
// from their offsets, and an output that keeps only its head.
#include "FileIo.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <vector>

namespace clipmendtest {

// Byte o of the input is o % PERIOD, handed out in place from one buffer.
class PatternSource final : public pg::clipmend::ByteSource
{
public:
    static constexpr std::uint64_t PERIOD = 251;

    explicit PatternSource(std::uint64_t size) : m_size(size)
    {
        for (std::size_t i = 0; i < m_bytes.size(); ++i)
            m_bytes[i] = static_cast<std::uint8_t>(i % PERIOD);
    }

    static std::uint8_t At(std::uint64_t offset) { return static_cast<std::uint8_t>(offset % PERIOD); }

    std::uint64_t Size() const override { return m_size; }
    std::size_t ReadAt(std::uint64_t, void*, std::size_t) override { return 0; }
    const std::uint8_t* Map(std::uint64_t offset, std::size_t n, std::size_t& available) override
    {
        available = static_cast<std::size_t>(std::min<std::uint64_t>(n, m_size - offset));
        return m_bytes.data() + offset % PERIOD;
    }
    bool Mapped() const override { return true; }

private:
    std::uint64_t m_size;
    std::vector<std::uint8_t> m_bytes =
        std::vector<std::uint8_t>(pg::clipmend::SourceReader::MAPPED_SPAN + PERIOD);
};

// Keeps the first keep bytes and, past them, the bytes at the positions asked for in watched.
class HeadSink final : public pg::clipmend::ByteSink
{
public:
    explicit HeadSink(std::size_t keep) : m_keep(keep) {}

    bool Write(const void* data, std::size_t n) override
    {
        const auto* bytes = static_cast<const std::uint8_t*>(data);
        if (head.size() < m_keep)
            head.insert(head.end(), bytes, bytes + std::min(n, m_keep - head.size()));
        for (auto it = watched.lower_bound(position); it != watched.end() && it->first < position + n; ++it)
            it->second = bytes[it->first - position];
        position += n;
        return true;
    }
    std::uint64_t Position() const override { return position; }

    std::vector<std::uint8_t> head;
    std::map<std::uint64_t, std::uint8_t> watched;
    std::uint64_t position = 0;

private:
    std::size_t m_keep;
};

} // namespace clipmendtest
