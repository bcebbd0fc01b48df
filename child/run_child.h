// The child's life: launch, the wait, the stop sequence and the end of the run.
#pragma once

#include <string>

#include "platform/platform.h"

constexpr DWORD kPollIntervalMs = 1000;
constexpr DWORD kTerminateWaitMs = 10000;

// Starts the child and waits for it or for a stop; on return the stopped
// report has been made and every handle of the run is closed. Service
// thread, with the stop event created and the start-pending report made.
// Throws std::bad_alloc, before anything is started, if the writable copy
// of the command line cannot be made. A child that ends by itself with a
// non-zero code while no stop was asked for is a failed service: the report
// says ERROR_SERVICE_SPECIFIC_ERROR with the child's code, so that the
// manager's recovery can act on it.
void RunChild(const std::wstring& commandLine);

// Gives the child up to stopTimeoutMs to end, reporting progress once a
// second, then terminates it. Gives NO_ERROR once the child has ended or has
// been terminated, or the error of a termination that failed while the
// child stayed.
DWORD StopChild();
