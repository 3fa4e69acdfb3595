#include "Container.h"

#include "AviContainer.h"
#include "MatroskaContainer.h"
#include "Mp4Container.h"
#include "MpegContainer.h"

namespace pg::clipmend {

const std::vector<ContainerFormat>& ContainerFormats()
{
    static const std::vector<ContainerFormat> formats = {
        {ProbeAvi, CreateAviContainer, {".avi", ".divx"}},
        {ProbeMatroska, CreateMatroskaContainer, {".mkv", ".webm", ".mka", ".mk3d"}},
        {ProbeMp4, CreateMp4Container, {".mp4", ".m4v", ".mov"}},
        {ProbeProgramStream, CreateProgramStreamContainer, {".mpg", ".mpeg", ".vob"}},
        {ProbeTransportStream, CreateTransportStreamContainer, {".ts", ".m2ts", ".mts"}},
    };
    return formats;
}

std::vector<std::string> KnownExtensions()
{
    std::vector<std::string> known;
    for (const ContainerFormat& format : ContainerFormats())
        known.insert(known.end(), format.extensions.begin(), format.extensions.end());
    return known;
}

const ContainerFormat* ProbeContainer(const std::uint8_t* data, std::size_t size)
{
    const ContainerFormat* best = nullptr;
    int bestScore = 0;
    for (const ContainerFormat& format : ContainerFormats()) {
        const int score = format.probe(data, size);
        if (score > bestScore) {
            best = &format;
            bestScore = score;
        }
    }
    return best;
}

} // namespace pg::clipmend
