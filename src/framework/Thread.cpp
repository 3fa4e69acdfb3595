#include "framework/Thread.h"

#include <process.h>

namespace fw {

KernelHandle BeginThread(ThreadProc procedure, void* parameter, int priority)
{
    unsigned threadId = 0;
    KernelHandle thread(reinterpret_cast<HANDLE>(
        ::_beginthreadex(nullptr, 0, procedure, parameter, CREATE_SUSPENDED, &threadId)));
    if (!thread)
        return thread;
    ::SetThreadPriority(thread.Get(), priority);
    ::ResumeThread(thread.Get());
    return thread;
}

} // namespace fw
