#include "MpegWriter.h"

namespace pg::clipmend::mpeg {

bool WriteMpeg(const MpegSalvage& salvage, const MpegPlan& plan, const OutputOptions& options,
               SourceReader& input, ByteSink& output, std::string& error)
{
    return salvage.transport ? CopyTransport(salvage, plan, options, input, output, error)
                             : CopyProgram(salvage, plan, options, input, output, error);
}

} // namespace pg::clipmend::mpeg
