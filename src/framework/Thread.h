#pragma once
// Starting a worker thread.
#include "framework/Handles.h"

namespace fw {

using ThreadProc = unsigned(__stdcall*)(void*);

// Starts the procedure at once with the given priority; the handle owns the thread object.
KernelHandle BeginThread(ThreadProc procedure, void* parameter, int priority);

} // namespace fw
