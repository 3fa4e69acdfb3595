#include "ui/AboutDialog.h"

#include "framework/Application.h"
#include "framework/DataExchange.h"
#include "framework/Strings.h"
#include "framework/Text.h"
#include "res/resource.h"
#include "ui/ModuleVersionInfo.h"

namespace pg {
namespace {

// Looked up among the program's own resources, which hold no cursor: the link then falls back to
// the help program's hand pointer.
constexpr WORD LINK_CURSOR = 32513;

} // namespace

AboutDialog::AboutDialog() : fw::Dialog(IDD_ABOUT, nullptr) {}

AboutDialog::~AboutDialog() = default;

void AboutDialog::DoDataExchange(fw::DataExchange& exchange)
{
    fw::DdxControl(exchange, IDT_MAIL_LINK, m_mailLink);
}

BOOL AboutDialog::OnInitDialog()
{
    fw::Dialog::OnInitDialog();
    const ModuleVersionInfo version;
    SetWindowText(LoadTranslated(IDS_ABOUT_ITEM));
    SetDlgItemText(IDT_VERSION, fw::Format("Version %s", version.m_fileVersion.c_str()));
    m_mailLink.SetTarget(AUTHOR_MAIL_TARGET);
    m_mailLink.SetUnderlined(TRUE);
    m_mailLink.SetPointer(::LoadCursorA(fw::ResourceInstance(), MAKEINTRESOURCEA(LINK_CURSOR)));
    return TRUE;
}

} // namespace pg
