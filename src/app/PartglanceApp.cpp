#include "app/PartglanceApp.h"

#include "app/DumpOutput.h"
#include "app/MainDialog.h"

#include <commctrl.h>

namespace pg {

BOOL PartglanceApp::InitInstance()
{
    // Common controls for the list view and tooltips; controls get the system's 3-D look.
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES};
    ::InitCommonControlsEx(&controls);
    PrepareDumpOutput();

    MainDialog dialog;
    m_pMainWnd = &dialog;
    dialog.DoModal();
    m_pMainWnd = nullptr;
    return FALSE;
}

} // namespace pg

pg::PartglanceApp theApp;
