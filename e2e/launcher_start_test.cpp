// The launcher starting its program, run by hand: ended at any moment of the
// start, it leaves nothing behind, and the program inherits only its standard
// handles. The moment is made to happen by running the launcher under a
// debugger of the test's own, with breakpoints on the calls of interest.
#include "e2e/wrapper_service_fixture.h"

#include <tlhelp32.h>

#include <algorithm>
#include <cstring>

namespace {

// What happens at a breakpoint: the launcher is ended there, the first call
// returns FALSE, or the log is read and the call goes on.
enum class AtBreak { End, Refuse, Look };

struct Breakpoint {
    BYTE* address;
    AtBreak action;
    bool armed;
};

// System DLLs lie at the same address in every process, so the entry of a
// kernel32 function here is where the launcher's call to it goes.
Breakpoint EntryOf(const char* function, AtBreak action) {
    return {reinterpret_cast<BYTE*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), function)), action, false};
}

// Once kernel32 is in the launcher (its code reads as ours), an int3 on the entry.
void ArmWhereLoaded(HANDLE process, Breakpoint& breakpoint) {
    BYTE code[8] = {};
    SIZE_T done = 0;
    if (breakpoint.armed || !ReadProcessMemory(process, breakpoint.address, code, sizeof code, &done) ||
        memcmp(code, breakpoint.address, sizeof code) != 0) {
        return;
    }
    const BYTE int3 = 0xCC;
    breakpoint.armed = WriteProcessMemory(process, breakpoint.address, &int3, 1, &done) &&
                       FlushInstructionCache(process, breakpoint.address, 1);
}

// The thread stopped at the entry returns FALSE at once, as on a system that
// refuses the call; the function then works again. Gives the call's third
// argument.
DWORD_PTR ReturnFalse(HANDLE process, DWORD threadId, const Breakpoint& breakpoint) {
    HANDLE thread = OpenThread(THREAD_GET_CONTEXT | THREAD_SET_CONTEXT, FALSE, threadId);
    CONTEXT context = {};
    context.ContextFlags = CONTEXT_CONTROL | CONTEXT_INTEGER;
    GetThreadContext(thread, &context);
    SIZE_T done = 0;
    ReadProcessMemory(process, reinterpret_cast<void*>(context.Rsp), &context.Rip, sizeof context.Rip, &done);
    context.Rsp += 8;
    context.Rax = FALSE;
    SetThreadContext(thread, &context);
    CloseHandle(thread);
    WriteProcessMemory(process, breakpoint.address, breakpoint.address, 1, &done);
    FlushInstructionCache(process, breakpoint.address, 1);
    return context.R8;
}

// The thread stopped at the entry goes on into the function, which is
// restored for good.
void GoOn(HANDLE process, DWORD threadId, const Breakpoint& breakpoint) {
    HANDLE thread = OpenThread(THREAD_GET_CONTEXT | THREAD_SET_CONTEXT, FALSE, threadId);
    CONTEXT context = {};
    context.ContextFlags = CONTEXT_CONTROL;
    GetThreadContext(thread, &context);
    context.Rip = reinterpret_cast<DWORD64>(breakpoint.address);
    SetThreadContext(thread, &context);
    CloseHandle(thread);
    SIZE_T done = 0;
    WriteProcessMemory(process, breakpoint.address, breakpoint.address, 1, &done);
    FlushInstructionCache(process, breakpoint.address, 1);
}

// The program (a child of the launcher by its file name, or the cmd.exe of a
// batch file) and what it started.
std::vector<HANDLE> OpenTree(DWORD launcherId) {
    std::vector<DWORD> parents = {launcherId};
    std::vector<HANDLE> tree;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry = {sizeof entry};
    for (int generation = 0; generation < 3; ++generation) {
        std::vector<DWORD> children;
        for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
            if (std::find(parents.begin(), parents.end(), entry.th32ParentProcessID) == parents.end() ||
                (g_launchedProgramPath.find(entry.szExeFile) == std::wstring::npos &&
                 _wcsicmp(entry.szExeFile, L"cmd.exe") != 0)) {
                continue;
            }
            const DWORD access = SYNCHRONIZE | PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION;
            HANDLE process = OpenProcess(access, FALSE, entry.th32ProcessID);
            if (!process) continue;  // ended meanwhile
            children.push_back(entry.th32ProcessID);
            tree.push_back(process);
        }
        parents = children;
    }
    CloseHandle(snapshot);
    return tree;
}

struct Debugging {
    PROCESS_INFORMATION launcher;
    std::wstring log;
    std::vector<Breakpoint> breakpoints;
    bool ended;
    std::vector<HANDLE> tree;  // as it was when the launcher was ended
    DWORD_PTR refused;         // the attribute of the call refused, if any
    std::string looked;        // the log as a Look breakpoint found it
};

void EndLauncher(Debugging& debugging, const std::vector<HANDLE>& tree) {
    TerminateProcess(debugging.launcher.hProcess, 1);
    debugging.ended = true;
    debugging.tree = tree;
}

DWORD OnDebugEvent(Debugging& debugging, const DEBUG_EVENT& event) {
    if (event.dwDebugEventCode == CREATE_PROCESS_DEBUG_EVENT) CloseHandle(event.u.CreateProcessInfo.hFile);
    if (event.dwDebugEventCode == LOAD_DLL_DEBUG_EVENT) CloseHandle(event.u.LoadDll.hFile);
    for (Breakpoint& breakpoint : debugging.breakpoints) ArmWhereLoaded(debugging.launcher.hProcess, breakpoint);
    if (event.dwDebugEventCode != EXCEPTION_DEBUG_EVENT) return DBG_CONTINUE;
    const EXCEPTION_RECORD& exception = event.u.Exception.ExceptionRecord;
    for (const Breakpoint& breakpoint : debugging.breakpoints) {
        if (breakpoint.address != exception.ExceptionAddress) continue;
        if (breakpoint.action == AtBreak::Refuse) {
            debugging.refused = ReturnFalse(debugging.launcher.hProcess, event.dwThreadId, breakpoint);
        } else if (breakpoint.action == AtBreak::Look) {
            debugging.looked = ReadFileText(debugging.log);
            GoOn(debugging.launcher.hProcess, event.dwThreadId, breakpoint);
        } else if (!debugging.ended) {
            EndLauncher(debugging, OpenTree(debugging.launcher.dwProcessId));
        }
    }
    return exception.ExceptionCode == EXCEPTION_BREAKPOINT ? DBG_CONTINUE : DBG_EXCEPTION_NOT_HANDLED;
}

// Until the launcher has exited. Unless a breakpoint ended it before, it is
// ended once the program's child has said that it runs, or after a while.
// (Wine's server may crash when a process is ended while it is still being
// set up.)
void Debug(Debugging& debugging) {
    const ULONGLONG endBy = GetTickCount64() + 15000;
    while (GetTickCount64() < endBy + 10000) {
        DEBUG_EVENT event = {};
        if (WaitForDebugEvent(&event, 20)) {
            ContinueDebugEvent(event.dwProcessId, event.dwThreadId, OnDebugEvent(debugging, event));
            if (event.dwDebugEventCode == EXIT_PROCESS_DEBUG_EVENT) return;
            continue;
        }
        if (debugging.ended) continue;
        if (ReadFileText(debugging.log).find("\npid ") != std::string::npos || GetTickCount64() > endBy) {
            EndLauncher(debugging, OpenTree(debugging.launcher.dwProcessId));
        }
    }
}

// A path of this test run's own in the temporary folder.
std::wstring TempPath(const std::wstring& suffix) {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    return temp + (L"launcher-start-" + std::to_wstring(GetCurrentProcessId()) + suffix);
}

// The launcher runs the program (its command line) that starts a child of its own.
Debugging RunAndEndLauncher(const std::vector<Breakpoint>& breakpoints, const std::wstring& program) {
    const std::wstring logDir = TempPath(L"");
    Debugging debugging = {{}, logDir + L"\\output.log", breakpoints, false, {}, 0, ""};
    DeleteFileW(debugging.log.c_str());
    std::wstring line = L"\"" + g_launcherPath + L"\" --log-dir \"" + logDir + L"\" -- " + program;
    STARTUPINFOW startup = {sizeof startup};
    if (!CreateProcessW(g_launcherPath.c_str(), &line[0], nullptr, nullptr, FALSE, DEBUG_ONLY_THIS_PROCESS, nullptr,
                        nullptr, &startup, &debugging.launcher)) {
        ADD_FAILURE() << GetLastError();
        return debugging;
    }
    Debug(debugging);
    TerminateProcess(debugging.launcher.hProcess, 1);  // were it still running, the test failed already
    CloseHandle(debugging.launcher.hThread);
    CloseHandle(debugging.launcher.hProcess);
    DeleteFileW(debugging.log.c_str());
    RemoveDirectoryW(logDir.c_str());
    return debugging;
}

}  // namespace

// Ended between creating the program and putting it into its job, the
// launcher would leave the program behind for good, suspended: it is ended at
// its first step towards the job, if it takes one. Where the system refuses a
// job at creation, the program still runs, in the job. A batch file's cmd.exe,
// which Wine starts outside the job given at creation, is in it too.
TEST(LauncherStart, LeavesNothingBehindWhenEndedWhileStartingTheProgram) {
    const std::wstring batch = TempPath(L".bat");
    const std::wstring program = L"\"" + g_launchedProgramPath + L"\" ignore-ctrl-c";
    WriteTextFile(batch, "@" + Narrow(program) + "\r\n");
    const struct {
        const char* what;
        std::vector<Breakpoint> breakpoints;
        std::wstring program;
        bool jobRefused;
        size_t treeSize;  // 0: ended before the program could start its child
    } kCases[] = {
        {"the job given at creation",
         {EntryOf("AssignProcessToJobObject", AtBreak::End), EntryOf("ResumeThread", AtBreak::End)}, program, false, 0},
        {"the job refused at creation", {EntryOf("UpdateProcThreadAttribute", AtBreak::Refuse)}, program, true, 2},
        {"a batch file", {}, L"\"" + batch + L"\"", false, 3},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.what);
        const Debugging run = RunAndEndLauncher(c.breakpoints, c.program);
        for (const Breakpoint& breakpoint : run.breakpoints) EXPECT_TRUE(breakpoint.armed);
        ASSERT_FALSE(run.tree.empty()) << "the program was never seen";
        if (c.jobRefused) EXPECT_EQ(run.refused, DWORD_PTR(PROC_THREAD_ATTRIBUTE_JOB_LIST));
        if (c.treeSize != 0) EXPECT_EQ(run.tree.size(), c.treeSize) << "the program did not run";
        for (HANDLE process : run.tree) {
            EXPECT_NE(ExitCodeOnceEnded(process, 5000), DWORD(STILL_ACTIVE)) << "left behind";
            TerminateProcess(process, 1);
            CloseHandle(process);
        }
    }
    DeleteFileW(batch.c_str());
}

// The launcher's line about the program is in the log before the program
// runs, so that nothing the program writes can come before it.
TEST(LauncherStart, SaysItStartedTheProgramBeforeItRuns) {
    const std::wstring program = L"\"" + g_launchedProgramPath + L"\" ignore-ctrl-c";
    const Debugging run = RunAndEndLauncher({EntryOf("ResumeThread", AtBreak::Look)}, program);
    EXPECT_TRUE(run.breakpoints[0].armed);
    EXPECT_NE(run.looked.find(" launcher: started "), std::string::npos) << run.looked;
    for (HANDLE process : run.tree) {
        TerminateProcess(process, 1);
        CloseHandle(process);
    }
}

// The launcher holds an inheritable event it got from here; were the program
// to inherit it too, it would set it.
TEST(LauncherStart, GivesTheProgramOnlyItsStandardHandles) {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, /*bInheritHandle=*/TRUE};
    HANDLE event = CreateEventW(&inherit, /*bManualReset=*/TRUE, /*bInitialState=*/FALSE, nullptr);
    std::wstring line = L"\"" + g_launcherPath + L"\" -- \"" + g_launchedProgramPath + L"\" set-event " +
                        std::to_wstring(reinterpret_cast<UINT_PTR>(event));
    STARTUPINFOW startup = {sizeof startup};
    PROCESS_INFORMATION launcher = {};
    ASSERT_TRUE(CreateProcessW(g_launcherPath.c_str(), &line[0], nullptr, nullptr, /*bInheritHandles=*/TRUE, 0,
                               nullptr, nullptr, &startup, &launcher))
        << GetLastError();
    EXPECT_EQ(ExitCodeOnceEnded(launcher.hProcess, 10000), 0u);
    EXPECT_EQ(WaitForSingleObject(event, 0), DWORD(WAIT_TIMEOUT));
    TerminateProcess(launcher.hProcess, 1);
    CloseHandle(launcher.hThread);
    CloseHandle(launcher.hProcess);
    CloseHandle(event);
}
