#include "MpegWriter.h"

namespace pg::clipmend::mpeg {

std::unique_ptr<MpegCopier> CreateCopier(const MpegSalvage& salvage, const MpegPlan& plan,
                                         const OutputOptions& options, SourceReader& input, ByteSink& output)
{
    return salvage.transport ? CreateTransportCopier(salvage, plan, options, input, output)
                             : CreateProgramCopier(salvage, plan, options, input, output);
}

bool WriteMpeg(const MpegSalvage& salvage, const MpegPlan& plan, const OutputOptions& options,
               SourceReader& input, ByteSink& output, std::string& error)
{
    const std::unique_ptr<MpegCopier> copier = CreateCopier(salvage, plan, options, input, output);
    return copier->Begin(error) && copier->Finish(error);
}

} // namespace pg::clipmend::mpeg
