#include "AviContainer.h"

#include "AviWriter.h"
#include "ByteOrder.h"
#include "Salvage.h"
#include "Selection.h"

namespace pg::clipmend {

namespace {

class AviContainer final : public Container
{
public:
    std::string Kind() const override { return "AVI"; }
    std::vector<std::string> Extensions() const override { return {".avi", ".divx"}; }

    bool Read(SourceReader& input, const SalvageOptions& options, std::string& error) override
    {
        return SalvageAvi(input, options, m_salvage, error);
    }

    bool Select(const SpanRequest& request, RunSummary& summary, std::string& error) override
    {
        const bool selected = SelectSpan(m_salvage, request, m_selection, error);
        const SalvageReport& r = m_salvage.report;
        summary.firstFrame = m_selection.firstFrame;
        summary.lastFrame = m_selection.lastFrame;
        summary.frames = m_selection.frames;
        summary.usableFrames = m_selection.usableFrames;
        summary.undecodableFrames = m_selection.undecodableFrames;
        summary.damage = r;
        if (!selected)
            return false;
        const CodecClass codec =
            m_salvage.headers.streams[m_selection.inputStreams[m_selection.videoStream]].codec;
        if (FramesStandAlone(codec))
            summary.keyframes = "every frame, each stands alone";
        else if (r.indexUsed)
            summary.keyframes = "from the file's index";
        else if (codec == CodecClass::Unknown)
            summary.keyframes = "every frame, as the codec is unknown and there is no index";
        else
            summary.keyframes = "from the frames themselves";
        return true;
    }

    bool Write(const OutputOptions& options, SourceReader& input, ByteSink& output,
               std::string& error) override
    {
        WriterOptions writer;
        writer.width = options.width;
        writer.height = options.height;
        writer.progress = options.progress;
        return WriteAvi(m_salvage.headers, m_selection, writer, input, output, error);
    }

private:
    Salvage m_salvage;
    Selection m_selection;
};

} // namespace

int ProbeAvi(const std::uint8_t* data, std::size_t size)
{
    return size >= 12 && Load32(data) == FourCC("RIFF") && Load32(data + 8) == FourCC("AVI ") ? 100 : 0;
}

std::unique_ptr<Container> CreateAviContainer()
{
    return std::make_unique<AviContainer>();
}

} // namespace pg::clipmend
