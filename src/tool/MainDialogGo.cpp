// The Go button of the main window: the preview tool runs on the job fields.
#include "app/MainDialog.h"

#include "tool/OutputDialog.h"
#include "tool/ToolJob.h"

namespace pg {

void MainDialog::OnGo()
{
    // A field the exchange rejects has been reported by it; the job runs on what the members hold.
    UpdateData(true);
    if (m_inFile.empty() || m_outFile.empty())
        return;
    const ToolJob job = ToolArguments(m_inFile, m_outFile, m_startFrame, m_frameCount, m_width, m_height);
    m_startFrame = job.startFrame;
    // Only the member gets an extension; the field keeps the name as typed.
    m_outFile = job.outFile;

    OutputDialog output(nullptr);
    output.m_arguments = job.arguments;
    const INT_PTR result = output.DoModal();

    const bool outputExists = FileExists(m_outFile);
    m_playOutputButton.EnableWindow(outputExists);
    if (result == IDOK && outputExists)
        OnPlayOutput();
}

} // namespace pg
