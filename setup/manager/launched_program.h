// With the launcher as the wrapper's child, the service reports running once
// the launcher runs, before the launcher has started the program; a program
// that cannot be started then ends the launcher and the service a moment
// later. This looks for the program itself.
#pragma once

#include <string>

#include "platform/platform.h"

// Waits until the wrapper (running.dwProcessId) has a grandchild of this
// file name (the program the launcher started; not the console host Wine
// gives the launcher), or the service has stopped, reading its state as it
// goes; at most timeoutMs. Gives the last state read: running when the
// program was seen, or when the time ran out.
SERVICE_STATUS_PROCESS AwaitLaunchedProgram(SC_HANDLE service, const SERVICE_STATUS_PROCESS& running,
                                            const std::wstring& fileName, DWORD timeoutMs);
