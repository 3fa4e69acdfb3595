#pragma once
// Watches the temp directory tree with the system's change notifications, on a thread of its own
// that never touches a window: it gathers the paths of the files that changed for a short while
// after the first change, then posts one message to the window, which takes them from here.
#include "framework/Handles.h"
#include "framework/Lock.h"

#include <windows.h>

#include <memory>
#include <set>
#include <string>

namespace pg {

class TempDirWatcher
{
public:
    enum class Failure { None, Refused, Lost };

    struct Changes
    {
        // The watched directory's text followed by each changed file's name, each path once.
        std::set<std::string> paths;
        // More changed than the system could tell: any download may have changed.
        bool overflow = false;
        // Refused: the directory could not be watched; Lost: the watch stopped working.
        Failure failure = Failure::None;
    };

    // How long changes are gathered after the first one. A client saves many files at once, and
    // they then cost the window one update; a fixed span rather than a wait for silence, because
    // a busy client is never silent.
    static constexpr DWORD GATHER_MS = 500;

    TempDirWatcher();
    TempDirWatcher(const TempDirWatcher&) = delete;
    TempDirWatcher& operator=(const TempDirWatcher&) = delete;
    ~TempDirWatcher();

    // Ends any earlier watch and watches `directory` (ending in a backslash; empty for the current
    // directory), with all its sub-directories when `subtree` is set: every change from the return
    // on is seen. `message` is posted to `window` when changes or a failure wait to be taken, once
    // until they are taken.
    void Start(HWND window, UINT message, const std::string& directory, bool subtree);
    // Ends the watch and drops what it gathered. The thread waits for nothing but its own events,
    // so this returns at once, also from inside the window's handlers.
    void Stop();
    // What has been gathered since the last call.
    Changes TakeChanges();
    // The directory being watched, as Start was given it.
    std::string Directory() const;

private:
    struct Watch;
    static unsigned __stdcall ThreadProc(void* watch);

    std::unique_ptr<Watch> m_watch;
    fw::KernelHandle m_thread;
};

} // namespace pg
