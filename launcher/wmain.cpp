// The launcher: runs one program for the service wrapper in its own folder
// and environment, keeps its output in a rotated log, asks it to finish when
// the service stops, and ends with it, passing its exit code on.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "child/wrapper_arguments.h"
#include "launcher/environment.h"
#include "launcher/launcher_options.h"
#include "launcher/log_file.h"
#include "launcher/run_program.h"
#include "launcher/stop_watch.h"
#include "platform/platform.h"

// An environment file is a few lines; anything larger is a mistake.
constexpr unsigned long long kMaxEnvironmentFileBytes = 1 << 20;

// A console event of its own (Ctrl+C it sends the program, a logoff, the
// console closing) does not end the launcher: it ends with the program.
// A handler, not SetConsoleCtrlHandler(NULL, TRUE), whose ignore flag the
// program would inherit.
static BOOL WINAPI KeepRunning(DWORD) {
    return TRUE;
}

static std::string ErrorText(DWORD error) {
    return "Windows error " + std::to_string(error);
}

// Marked in the log, where there is one, and the launcher's exit code.
static DWORD Fail(DWORD error, const std::string& what) {
    WriteMarkedLine(what + " (" + ErrorText(error) + ")");
    CloseLog();
    return error;
}

static LauncherParse ParseOwnCommandLine() {
    std::optional<WrapperArguments> split = ParseWrapperArguments();
    if (!split) return LauncherParse{false, DefaultLauncherOptions(), L"the command line cannot be split"};
    const std::vector<std::wstring> elements(split->elements + 1, split->elements + split->count);
    LocalFree(split->elements);
    return ParseLauncherOptions(elements);
}

// A mistake in the options is reported on standard error for whoever ran the
// launcher by hand; under the wrapper nobody reads it, and the exit code says it.
static void ReportUsage(const std::wstring& error) {
    const std::string text = "service-wrapper-launcher: " + Utf8(error) +
                             "\nusage: service-wrapper-launcher [options] -- program [arguments...]\n";
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

// The program as CreateProcessW would find it, so that its folder is known
// and what runs is what was found.
static DWORD FindProgram(const std::wstring& program, std::wstring& path) {
    std::vector<wchar_t> found(32768);
    const DWORD length = SearchPathW(nullptr, program.c_str(), L".exe", static_cast<DWORD>(found.size()),
                                     found.data(), nullptr);
    if (length == 0) return GetLastError();
    if (length >= found.size()) return ERROR_FILENAME_EXCED_RANGE;
    path.assign(found.data(), length);
    return NO_ERROR;
}

// Read at each start, so that a change takes effect at the next one.
static DWORD ReadWholeFile(const std::wstring& path, std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return GetLastError();
    LARGE_INTEGER size = {};
    DWORD error = GetFileSizeEx(file, &size) ? NO_ERROR : GetLastError();
    if (error == NO_ERROR && static_cast<unsigned long long>(size.QuadPart) > kMaxEnvironmentFileBytes) {
        error = ERROR_FILE_TOO_LARGE;
    }
    if (error == NO_ERROR) bytes.resize(static_cast<std::size_t>(size.QuadPart));
    DWORD done = 0;
    if (error == NO_ERROR && !bytes.empty() &&
        !ReadFile(file, &bytes[0], static_cast<DWORD>(bytes.size()), &done, nullptr)) {
        error = GetLastError();
    }
    bytes.resize(done);
    CloseHandle(file);
    return error;
}

// Leaves block empty when the program is to have the launcher's own
// environment as it is.
static DWORD PrepareEnvironment(const LauncherOptions& options, std::wstring& block) {
    if (options.env.empty() && options.envFile.empty()) return NO_ERROR;
    EnvironmentFile file{true, {}, 0, L""};
    if (!options.envFile.empty()) {
        std::string bytes;
        const DWORD error = ReadWholeFile(options.envFile, bytes);
        if (error != NO_ERROR) return Fail(error, "cannot read the environment file " + Utf8(options.envFile));
        file = ParseEnvironmentFile(bytes);
        if (!file.ok) {
            return Fail(ERROR_INVALID_DATA, "the environment file " + Utf8(options.envFile) + ", line " +
                                                std::to_string(file.errorLine) + ": " + Utf8(file.error));
        }
    }
    wchar_t* own = GetEnvironmentStringsW();
    if (!own) return Fail(GetLastError(), "cannot read the launcher's own environment");
    const std::vector<std::wstring> ownEntries = SplitEnvironmentBlock(own);
    FreeEnvironmentStringsW(own);
    block = EnvironmentBlock(MergeEnvironment(ownEntries, options.env, file.pairs));
    return NO_ERROR;
}

// How long a stop waits for a program still starting to be on the console.
constexpr DWORD kAttachWaitMs = 5000;

// Ctrl+C reaches the processes attached to the console when it is sent: a
// program still starting, which a stop soon after the start finds, attaches
// during its own start-up, and would never see a Ctrl+C sent before. One
// that never attaches (a window program, one that left the console) or ends
// meanwhile is waited for no longer.
static void AwaitOnConsole(HANDLE process, DWORD processId) {
    const ULONGLONG untilMs = GetTickCount64() + kAttachWaitMs;
    for (;;) {
        DWORD attached[64];
        const DWORD count = GetConsoleProcessList(attached, 64);
        if (count == 0 || count > 64) return;  // cannot tell: send at once
        if (std::find(attached, attached + count, processId) != attached + count) return;
        if (GetTickCount64() >= untilMs) return;
        if (WaitForSingleObject(process, /*dwMilliseconds=*/10) != WAIT_TIMEOUT) return;
    }
}

// Once: a stop seen is a stop for good.
static void AskToStop(const LauncherOptions& options, HANDLE process, DWORD processId) {
    EndWatch();
    if (options.stopSignal == StopSignal::kNone) {
        WriteMarkedLine("the service is stopping; no signal sent to the program (stop signal none)");
        return;
    }
    AwaitOnConsole(process, processId);
    // Said first: the program's answer to it may reach the log at once.
    WriteMarkedLine("the service is stopping; sending Ctrl+C to the program");
    // Every process on the launcher's console gets it, the launcher too,
    // whose handler keeps it running.
    if (!GenerateConsoleCtrlEvent(CTRL_C_EVENT, /*dwProcessGroupId=*/0)) {
        WriteMarkedLine("Ctrl+C could not be sent (" + ErrorText(GetLastError()) + ")");
    }
}

// The service's notifications arrive as calls on this thread while it waits.
static DWORD WaitForProgram(const LauncherOptions& options, HANDLE process, DWORD processId) {
    if (!options.serviceName.empty()) {
        const DWORD error = WatchService(options.serviceName);
        if (error != NO_ERROR) {
            WriteMarkedLine("cannot watch the service " + Utf8(options.serviceName) + " (" + ErrorText(error) +
                            "); a stop will end the program when the stop timeout runs out");
        }
    }
    for (;;) {
        const DWORD wait = WaitForSingleObjectEx(process, INFINITE, /*bAlertable=*/TRUE);
        if (wait == WAIT_OBJECT_0) return NO_ERROR;
        if (wait != WAIT_IO_COMPLETION) return GetLastError();
        if (StopReported()) AskToStop(options, process, processId);
    }
}

static void SayStarted(const ProgramStart& start, DWORD processId) {
    WriteMarkedLine("started " + Utf8(start.commandLine) + " in " + Utf8(start.workingDir) + " (pid " +
                    std::to_string(processId) + ")");
}

static DWORD RunProgram(const LauncherOptions& options) {
    const DWORD logError = OpenLog(options);
    if (logError != NO_ERROR) return logError;  // no log to say it in
    ProgramStart start = {};
    std::vector<std::wstring> elements = {options.program};
    elements.insert(elements.end(), options.arguments.begin(), options.arguments.end());
    start.commandLine = ComposeCommandLine(elements);
    DWORD error = FindProgram(options.program, start.application);
    if (error != NO_ERROR) return Fail(error, "cannot find the program " + Utf8(options.program));
    start.workingDir = options.workingDir.empty() ? ProgramFolder(start.application) : options.workingDir;
    std::wstring block;
    error = PrepareEnvironment(options, block);
    if (error != NO_ERROR) return error;
    start.environment = block.empty() ? nullptr : block.c_str();
    start.keepOutput = LogIsOpen();
    start.separateStreams = options.logTimestamps;
    start.created = SayStarted;
    HANDLE process = nullptr;
    DWORD processId = 0;
    error = StartProgram(start, process, processId);
    if (error != NO_ERROR) {
        return Fail(error, "cannot start " + Utf8(start.commandLine) + " in " + Utf8(start.workingDir));
    }
    error = WaitForProgram(options, process, processId);
    EndWatch();
    EndProgramTree();
    if (error != NO_ERROR) return Fail(error, "cannot wait for the program");
    DWORD exitCode = 0;
    if (!GetExitCodeProcess(process, &exitCode)) return Fail(GetLastError(), "cannot read the program's exit code");
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08lX", static_cast<unsigned long>(exitCode));
    WriteMarkedLine("the program ended with exit code " + std::to_string(exitCode) + " (" + hex + ")");
    CloseLog();
    return exitCode;
}

int wmain() {
    SetConsoleCtrlHandler(KeepRunning, /*Add=*/TRUE);
    try {
        const LauncherParse parse = ParseOwnCommandLine();
        if (!parse.ok) {
            ReportUsage(parse.error);
            return ERROR_INVALID_PARAMETER;
        }
        return static_cast<int>(RunProgram(parse.options));
    } catch (const std::bad_alloc&) {
        // The program's tree, if it was started, ends with the launcher's job handle.
        return ERROR_NOT_ENOUGH_MEMORY;
    }
}
