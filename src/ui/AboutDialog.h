#pragma once
// The about box: the program's icon, its file version as read from its own version resource,
// and a copyright notice that works as a mail link to the authors.
#include "framework/Dialog.h"
#include "ui/HyperLinkStatic.h"

namespace pg {

// Where the mail link of the copyright notice leads.
constexpr char AUTHOR_MAIL_TARGET[] = "mailto:authors@partglance.example.org";

class AboutDialog : public fw::Dialog
{
public:
    AboutDialog();
    ~AboutDialog() override;

    HyperLinkStatic m_mailLink;

protected:
    void DoDataExchange(fw::DataExchange& exchange) override;
    BOOL OnInitDialog() override;
};

} // namespace pg
