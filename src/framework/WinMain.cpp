// Entry point of a program built on the framework: the one application object does the work.
#include "framework/Application.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    fw::WinApp* app = fw::WinApp::Current();
    if (!app)
        return 1;
    if (!app->InitInstance())
        return 0;
    return app->Run();
}
