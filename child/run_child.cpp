#include "child/run_child.h"

#include <cstdint>

#include "service/service_state.h"

// Gives NO_ERROR, or why the child could not be started.
static DWORD CreateChild(const std::wstring& commandLine) {
    // CreateProcessW may write into the buffer; pass a copy.
    std::wstring buffer = commandLine;
    STARTUPINFOW startupInfo = {};
    startupInfo.cb = sizeof(startupInfo);
    if (!CreateProcessW(/*lpApplicationName=*/nullptr, &buffer[0], /*lpProcessAttributes=*/nullptr,
                        /*lpThreadAttributes=*/nullptr, /*bInheritHandles=*/FALSE,
                        /*dwCreationFlags=*/0, /*lpEnvironment=*/nullptr,
                        /*lpCurrentDirectory=*/nullptr, &startupInfo, &g_state.childProcess)) {
        return LastErrorOf();
    }
    return NO_ERROR;
}

// Ends the child at once, then gives it a bounded time to go. Gives
// NO_ERROR if it went or the termination itself went through.
static DWORD TerminateChild() {
    HANDLE process = g_state.childProcess.hProcess;
    DWORD error = NO_ERROR;
    if (!TerminateProcess(process, /*uExitCode=*/0)) error = LastErrorOf();
    if (WaitForSingleObject(process, kTerminateWaitMs) == WAIT_OBJECT_0) return NO_ERROR;
    return error;
}

static void CloseChildHandles() {
    PROCESS_INFORMATION& child = g_state.childProcess;
    if (child.hProcess) {
        CloseHandle(child.hProcess);
        child.hProcess = nullptr;
    }
    if (child.hThread) {
        CloseHandle(child.hThread);
        child.hThread = nullptr;
    }
}

DWORD StopChild() {
    HANDLE process = g_state.childProcess.hProcess;
    if (!process) return NO_ERROR;
    // Only this thread writes stopTimeoutMs, so it reads it without the lock.
    const DWORD timeoutMs = g_state.stopTimeoutMs;
    // Wider than the timeout so that counting past the largest 32-bit
    // timeout cannot wrap around and poll forever.
    std::uint64_t elapsedMs = 0;
    DWORD checkPoint = 1;
    while (elapsedMs < timeoutMs) {
        DWORD polled = WaitForSingleObject(process, kPollIntervalMs);
        if (polled == WAIT_OBJECT_0) return NO_ERROR;
        if (polled == WAIT_FAILED) break;
        elapsedMs += kPollIntervalMs;
        ++checkPoint;
        std::lock_guard<std::mutex> hold(g_lock);
        ReportState(SERVICE_STOP_PENDING, checkPoint, timeoutMs);
    }
    return TerminateChild();
}

// The stopped report's exit code for a child that the wait found ended by
// itself; childExitCode receives the child's own code if that was a failure.
// A stop, shutdown or pre-shutdown came first if the handler had set
// stopRequested by the time this thread reads it here, under the lock, right
// after the wait: the end is then the stop carried out, and clean, whatever
// the child's code. A control that arrives after this read is answered by
// the handler as usual but does not change the outcome, since the wrapper
// had seen the child end before it.
static DWORD ExitCodeOfChildEnd(DWORD& childExitCode) {
    {
        std::lock_guard<std::mutex> hold(g_lock);
        if (g_state.stopRequested) return NO_ERROR;
    }
    DWORD code = 0;
    if (!GetExitCodeProcess(g_state.childProcess.hProcess, &code)) return LastErrorOf();
    if (code == 0) return NO_ERROR;
    // Passed on unchanged, an NTSTATUS such as 0xC0000005 included, so that
    // the manager can show what became of the program.
    childExitCode = code;
    return ERROR_SERVICE_SPECIFIC_ERROR;
}

void RunChild(const std::wstring& commandLine) {
    DWORD error = CreateChild(commandLine);
    if (error != NO_ERROR) {
        ReportStopped(error);
        CloseStopEvent();
        return;
    }
    {
        std::lock_guard<std::mutex> hold(g_lock);
        ReportState(SERVICE_RUNNING, /*checkPoint=*/0, /*waitHintMs=*/0);
    }

    const HANDLE waitHandles[2] = {g_state.childProcess.hProcess, g_state.stopEvent};
    DWORD woke = WaitForMultipleObjects(2, waitHandles, /*bWaitAll=*/FALSE, INFINITE);
    DWORD exitCode = NO_ERROR;
    DWORD childExitCode = 0;
    if (woke == WAIT_OBJECT_0) {
        exitCode = ExitCodeOfChildEnd(childExitCode);
    } else if (woke == WAIT_OBJECT_0 + 1) {
        exitCode = StopChild();
    } else {
        // Without the wait nothing watches the child any more: end it rather
        // than leave it running behind a stopped service.
        exitCode = LastErrorOf();
        TerminateChild();
    }

    CloseChildHandles();
    CloseStopEvent();
    ReportStopped(exitCode, childExitCode);
}
