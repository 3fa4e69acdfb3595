// The two Play buttons of the main window.
#include "app/MainDialog.h"

#include "app/Strings.h"
#include "framework/Application.h"
#include "playback/MoviePreviewDialog.h"
#include "playback/PlayDecision.h"
#include "res/resource.h"

#include <shellapi.h>

namespace pg {
namespace {

// The system media player's own failures (not installed, cannot play) are its business.
void StartPlayer(const std::string& parameters)
{
    ::ShellExecuteA(nullptr, nullptr, PLAYER_PROGRAM, parameters.c_str(), nullptr, SW_SHOWNORMAL);
}

} // namespace

void MainDialog::OnPlayInput()
{
    UpdateData(true);
    const PlayOutcome outcome = DecidePlayInput(m_inFile, m_mediaName, &MainDialog::GetFirstGapStart);
    switch (outcome.action) {
    case PlayAction::Nothing:
        break;
    case PlayAction::Player:
        StartPlayer(outcome.text);
        break;
    case PlayAction::Refuse:
        fw::AppMessageBox(LoadTranslated(IDS_CANNOT_PLAY), MB_OK);
        break;
    case PlayAction::MovieWindow: {
        MoviePreviewDialog movie(nullptr);
        movie.m_path = outcome.text;
        movie.DoModal();
        break;
    }
    }
}

void MainDialog::OnPlayOutput()
{
    StartPlayer(PlayOutputParameters(m_outFile));
}

} // namespace pg
