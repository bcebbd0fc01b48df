#include "tools/bench/bench_launcher.h"

#include <cstdarg>
#include <cstdio>

#include "tools/bench/bench_output.h"
#include "tools/bench/bench_runs.h"
#include "tools/service_control.h"

namespace {

constexpr DWORD kRunTimeoutMs = 180000;
constexpr DWORD kReadBytes = 1 << 20;
// The launcher's pipe size, and the most it reads at once.
constexpr DWORD kPipeBytes = 65536;

std::wstring WithArguments(std::wstring line, const std::vector<std::wstring>& arguments) {
    for (const std::wstring& argument : arguments) line += L" " + QuoteArgument(argument);
    return line;
}

// The process on the driver's console, inheriting nothing: whatever file
// the output goes to, the route opens itself. Null, with the failure, if
// it could not be started.
HANDLE Start(const OutputRoute& route, LARGE_INTEGER& startedAt, std::string& failure) {
    DeleteFileW(route.file.c_str());
    std::wstring line = route.commandLine;  // CreateProcessW may write into it
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    startedAt = Now();
    if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, /*bInheritHandles=*/FALSE, 0, nullptr,
                        route.folder.c_str(), &startup, &process)) {
        failure = Format("CreateProcessW gave %lu for %s", GetLastError(), Narrow(line).c_str());
        return nullptr;
    }
    CloseHandle(process.hThread);
    return process.hProcess;
}

// Waits for the process and closes it; false, with the failure, if it ran
// past the time allowed (it is then ended) or exited with other than 0.
bool Ended(HANDLE process, DWORD waitMs, std::string& failure) {
    DWORD exitCode = STILL_ACTIVE;
    if (WaitForSingleObject(process, waitMs) != WAIT_OBJECT_0) {
        TerminateProcess(process, 1);
        failure = Format("still running after %lu ms", waitMs);
    } else if (GetExitCodeProcess(process, &exitCode) && exitCode != 0) {
        failure = Format("exited with %lu", exitCode);
    }
    CloseHandle(process);
    return failure.empty();
}

HANDLE OpenShared(const std::wstring& path) {
    return CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

std::string CheckFloodFile(const std::wstring& path, unsigned long long bytes) {
    HANDLE file = OpenShared(path);
    if (file == INVALID_HANDLE_VALUE) return Format("%s could not be opened: %lu", Narrow(path).c_str(), GetLastError());
    FloodCheck check = {};
    std::vector<char> buffer(kReadBytes);
    DWORD read = 0;
    while (ReadFile(file, buffer.data(), kReadBytes, &read, nullptr) && read > 0) {
        CheckFlood(check, buffer.data(), read);
    }
    CloseHandle(file);
    const unsigned long long lines = bytes / kFloodLineBytes;
    if (check.next == lines && check.broken == 0 && check.partial.empty()) return "";
    return Format("the file held %llu of %llu lines in order, %llu broken, %llu others",
                  check.next, lines, check.broken, check.others);
}

}  // namespace

OutputRoute LauncherRoute(const std::wstring& launcher, const std::wstring& logDir,
                          const std::wstring& writer, const std::vector<std::wstring>& arguments) {
    CreateDirectoryW(logDir.c_str(), nullptr);
    const std::wstring line = WithArguments(QuoteArgument(launcher), {L"--log-dir", logDir, L"--log-size",
                                                                      L"4G", L"--", writer});
    return OutputRoute{WithArguments(line, arguments), logDir, logDir + L"\\output.log"};
}

OutputRoute ShellRoute(const std::wstring& folder, const std::wstring& writerName,
                       const std::wstring& fileName, const std::vector<std::wstring>& arguments) {
    // Names without blanks in the folder it runs in: cmd.exe's own rules for
    // quotation marks after /c do not come into it.
    const std::wstring line = WithArguments(L"cmd.exe /c " + writerName, arguments) + L" > " + fileName;
    return OutputRoute{line, folder, folder + L"\\" + fileName};
}

FloodRun RunFlood(const OutputRoute& route, unsigned long long bytes) {
    FloodRun run = {};
    LARGE_INTEGER startedAt;
    HANDLE process = Start(route, startedAt, run.failure);
    if (process && Ended(process, kRunTimeoutMs, run.failure)) {
        run.ms = ElapsedMs(startedAt, Now());
        run.failure = CheckFloodFile(route.file, bytes);
    }
    run.ok = run.failure.empty();
    return run;
}

namespace {

// The writer with its standard output and error on the write end of a new
// pipe, whose read end is returned. Null, with the failure, if not started.
HANDLE StartOnPipe(const std::wstring& writer, const std::wstring& arguments, HANDLE& readEnd,
                   std::string& failure) {
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, /*bInheritHandle=*/TRUE};
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, kPipeBytes) ||
        !SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0)) {
        failure = Format("the pipe could not be made: %lu", GetLastError());
        return nullptr;
    }
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    std::wstring line = QuoteArgument(writer) + L" " + arguments;  // CreateProcessW may write into it
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, /*bInheritHandles=*/TRUE, 0, nullptr,
                        nullptr, &startup, &process)) {
        failure = Format("CreateProcessW gave %lu", GetLastError());
    }
    CloseHandle(writeEnd);
    if (!failure.empty()) return nullptr;
    CloseHandle(process.hThread);
    return process.hProcess;
}

}  // namespace

FloodRun RunFloodThroughPipe(const std::wstring& writer, const std::wstring& path,
                             unsigned long long bytes) {
    FloodRun run = {};
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        run.failure = Format("%s could not be made: %lu", Narrow(path).c_str(), GetLastError());
        return run;
    }
    const LARGE_INTEGER startedAt = Now();
    HANDLE readEnd = nullptr;
    HANDLE process = StartOnPipe(writer, L"flood " + std::to_wstring(bytes), readEnd, run.failure);
    std::vector<char> buffer(kPipeBytes);
    DWORD read = 0, written = 0;
    while (process && ReadFile(readEnd, buffer.data(), kPipeBytes, &read, nullptr)) {
        WriteFile(file, buffer.data(), read, &written, nullptr);
    }
    CloseHandle(file);
    if (readEnd) CloseHandle(readEnd);
    if (process && Ended(process, kRunTimeoutMs, run.failure)) {
        run.ms = ElapsedMs(startedAt, Now());
        run.failure = CheckFloodFile(path, bytes);
    }
    run.ok = run.failure.empty();
    return run;
}

namespace {

// One look at the file: opens it once it exists, then reads what was added
// since, and stamps each completed tick line with the moment it was read.
// The number of bytes read.
DWORD ReadTicks(const OutputRoute& route, HANDLE& file, std::string& partial, TickRun& run,
                LARGE_INTEGER startedAt) {
    if (file == INVALID_HANDLE_VALUE) file = OpenShared(route.file);
    if (file == INVALID_HANDLE_VALUE) return 0;
    char buffer[4096];
    DWORD read = 0;
    if (!ReadFile(file, buffer, sizeof(buffer), &read, nullptr)) return 0;
    const LARGE_INTEGER now = Now();
    for (const Tick& tick : TakeTicks(partial, buffer, read)) {
        if (tick.index == 0) run.firstLineMs = ElapsedMs(startedAt, now);
        LARGE_INTEGER written;
        written.QuadPart = tick.counter;
        run.latenciesMs.push_back(ElapsedMs(written, now));
    }
    return read;
}

}  // namespace

TickRun RunTicks(const OutputRoute& route, unsigned count) {
    TickRun run = {};
    LARGE_INTEGER startedAt;
    HANDLE process = Start(route, startedAt, run.failure);
    if (!process) return run;
    HANDLE file = INVALID_HANDLE_VALUE;
    std::string partial;
    const ULONGLONG deadline = GetTickCount64() + kRunTimeoutMs;
    bool ended = false;
    for (;;) {
        // Ended before the read: a read after the end finds every line.
        const bool endedBefore = ended || WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
        const DWORD read = ReadTicks(route, file, partial, run, startedAt);
        ended = endedBefore;
        if (read > 0) continue;
        if (ended || GetTickCount64() >= deadline) break;
        Sleep(1);
    }
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    if (Ended(process, 0, run.failure) && run.latenciesMs.size() != count) {
        run.failure = Format("%u of %u lines were read back", unsigned(run.latenciesMs.size()), count);
    }
    run.ok = run.failure.empty();
    return run;
}
