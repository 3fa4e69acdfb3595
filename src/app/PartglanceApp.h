#pragma once
#include "framework/Application.h"

namespace pg {

// The application: shows the main window modally and ends when it closes.
class PartglanceApp : public fw::WinApp
{
public:
    BOOL InitInstance() override;
};

} // namespace pg
