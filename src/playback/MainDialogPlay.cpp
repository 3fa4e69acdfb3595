// The two Play buttons of the main window.
#include "app/MainDialog.h"

#include "framework/Application.h"
#include "framework/Strings.h"
#include "framework/Text.h"
#include "playback/MoviePreviewDialog.h"
#include "playback/PlayDecision.h"
#include "res/resource.h"

#include <shellapi.h>

namespace pg {
namespace {

int ShellExecuteResult(HINSTANCE result)
{
    return static_cast<int>(reinterpret_cast<INT_PTR>(result));
}

std::string ShellFailureReason(int shellResult)
{
    switch (shellResult) {
    case SE_ERR_NOASSOC:
        return LoadTranslated(IDS_PLAY_NO_PROGRAM);
    case SE_ERR_FNF:
    case SE_ERR_PNF:
        return LoadTranslated(IDS_PLAY_NOT_FOUND);
    default:
        return fw::Format(LoadTranslated(IDS_PLAY_ERROR).c_str(), shellResult);
    }
}

// Hands the file to the system media player. Windows has not shipped that player for years: where
// it cannot start, the file opens in whatever program the system has for it, and where nothing
// can open it, the user is told why instead of the click doing nothing. Once a player runs, what
// it does with the file is its business.
void StartPlayer(const std::string& file, const std::string& parameters)
{
    if (ShellExecuteResult(::ShellExecuteA(nullptr, nullptr, PLAYER_PROGRAM, parameters.c_str(), nullptr,
                                           SW_SHOWNORMAL)) > 32)
        return;
    const int opened =
        ShellExecuteResult(::ShellExecuteA(nullptr, nullptr, file.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    if (opened > 32)
        return;
    fw::AppMessageBox(
        fw::Format(LoadTranslated(IDS_PLAY_FAILED).c_str(), file.c_str(), ShellFailureReason(opened).c_str()),
        MB_OK);
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
        StartPlayer(m_inFile, outcome.text);
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
    StartPlayer(m_outFile, PlayOutputParameters(m_outFile));
}

} // namespace pg
