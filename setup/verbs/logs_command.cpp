// logs: the end of the service's current log, and with --follow each new
// part as the launcher writes it, across its rotations, until Ctrl+C.
#include <algorithm>

#include "setup/console.h"
#include "setup/manager/config_age_reading.h"
#include "setup/manager/service_reading.h"
#include "setup/model/environment_references.h"
#include "setup/model/launch_values.h"
#include "setup/model/log_tail.h"
#include "setup/model/text.h"
#include "setup/system_variables.h"
#include "setup/verbs/commands.h"
#include "setup/windows_messages.h"

// A running service changed since it started has a launcher that writes
// where it was told then, which the configuration no longer says.
static void NoteChangedSinceStart(const std::wstring& name, const OpenedService& opened) {
    if (opened.statusError != NO_ERROR || opened.status.dwCurrentState == SERVICE_STOPPED ||
        !ReadChangedSinceStart(name, opened.status).value_or(false)) {
        return;
    }
    PrintError(L"Note: " + Printable(name) + L" was changed after it started: until it is "
               L"started again, its launcher logs where it was told then, which may not be the "
               L"folder read here.\n");
}

// The log folder the service's launcher writes, its %NAME% references
// replaced as the manager replaces them, and as written; or why there is none.
static std::wstring LogDirOf(const std::wstring& name, std::wstring& folder,
                             std::wstring& written) {
    OpenedService opened{};
    if (auto failure = OpenAndReadService(name, SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS,
                                          L"cannot read its configuration.", opened)) {
        return failure->problem + L" " + WindowsError(failure->error);
    }
    CloseServiceHandles(opened.handles);
    const ServiceCommandLine line = DecodeStoredService(opened.stored).commandLine;
    if (!line.wrapped) {
        return L"it is not a wrapped service (the program it starts is not service-wrapper.exe), "
               L"so no launcher keeps its output.";
    }
    if (!line.decoded) {
        return L"its command line does not read as the wrapper's and the launcher's (see show), "
               L"so where its output is kept cannot be told.";
    }
    if (!line.launcher) {
        return L"it runs its program without the launcher (--direct), so its output is kept "
               L"nowhere.";
    }
    NoteChangedSinceStart(name, opened);
    written = line.launcher->options.logDir;
    if (written.empty()) return L"its launcher keeps no log (--log-dir none).";
    folder = StartedLogDir(line, SystemVariables());
    if (folder.empty()) {
        return L"once the service control manager replaces the %NAME% references of its command "
               L"line, the line no longer reads as the wrapper's (see show).";
    }
    return L"";
}

// Opened so that the launcher may go on writing, renaming and deleting it.
static HANDLE OpenLog(const std::wstring& path) {
    return CreateFileW(path.c_str(), GENERIC_READ,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

static std::string ReadRange(HANDLE file, std::uint64_t from, std::uint64_t to);

// The file as seen now; its mark is what it holds where the state's mark was read.
static LogFileSeen Look(HANDLE file, const FollowState& state) {
    BY_HANDLE_FILE_INFORMATION info;
    if (file == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(file, &info)) {
        return LogFileSeen{false, 0, 0, ""};
    }
    LogFileSeen seen{true,
                     (std::uint64_t(info.dwVolumeSerialNumber) << 48) ^
                         (std::uint64_t(info.nFileIndexHigh) << 32 | info.nFileIndexLow),
                     std::uint64_t(info.nFileSizeHigh) << 32 | info.nFileSizeLow, ""};
    if (state.known && state.offset <= seen.size) {
        seen.mark = ReadRange(file, state.offset - state.mark.size(), state.offset);
    }
    return seen;
}

// The state to go on from at offset of the file: its mark read from it.
static FollowState MarkedState(HANDLE file, std::uint64_t id, std::uint64_t offset) {
    const std::uint64_t from = offset > kMarkBytes ? offset - kMarkBytes : 0;
    return FollowState{true, id, offset, ReadRange(file, from, offset)};
}

// Each ReadFile takes at most this much, whatever the range.
constexpr DWORD kMostBytesPerRead = 1024 * 1024;

// The bytes [from, to), or as many of them as could be read.
static std::string ReadRange(HANDLE file, std::uint64_t from, std::uint64_t to) {
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(from);
    if (to <= from || !SetFilePointerEx(file, at, nullptr, FILE_BEGIN)) return "";
    std::string bytes(static_cast<std::size_t>(to - from), '\0');
    std::size_t done = 0;
    while (done < bytes.size()) {
        const DWORD ask = static_cast<DWORD>(
            std::min<std::size_t>(bytes.size() - done, kMostBytesPerRead));
        DWORD got = 0;
        if (!ReadFile(file, &bytes[done], ask, &got, nullptr) || got == 0) break;
        done += got;
    }
    bytes.resize(done);
    return bytes;
}

// The log's bytes: it is the program's output, in its encoding, and a console
// is given its UTF-8 as text. A character that one block of the log ends
// inside is finished by the next.
static std::string g_cutCharacter;
static void WriteOut(const std::string& bytes) {
    PrintOutBytes(bytes, g_cutCharacter, /*last=*/false);
}

// Prints the last lines of the current log; gives where following goes on.
static FollowState PrintTail(const std::wstring& folder, std::size_t lines) {
    HANDLE file = OpenLog(CurrentLogPath(folder));
    const LogFileSeen seen = Look(file, FollowState{false, 0, 0, ""});
    if (!seen.exists) {
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
        return FollowState{false, 0, 0, ""};
    }
    const std::string tail = ReadTail(seen.size, lines, [file](std::uint64_t from,
                                                               std::uint64_t to) {
        return ReadRange(file, from, to);
    });
    const FollowState state = MarkedState(file, seen.id, seen.size);
    CloseHandle(file);
    WriteOut(tail);
    return state;
}

// The most kept files a follow looks through for the one it followed.
constexpr unsigned kMostKeptFiles = 999;

// Opens output.log, then the kept files from the newest down, as far as the
// one followed or the first one missing, each looked at.
static void OpenFiles(const std::wstring& folder, const FollowState& state,
                      std::vector<HANDLE>& handles, std::vector<LogFileSeen>& files) {
    for (unsigned n = 0; n <= kMostKeptFiles; ++n) {
        handles.push_back(OpenLog(n == 0 ? CurrentLogPath(folder) : RotatedLogPath(folder, n)));
        files.push_back(Look(handles.back(), state));
        if (!state.known || IsFollowed(files.back(), state) || (n > 0 && !files.back().exists)) return;
    }
}

// Follows the log until the process is ended (Ctrl+C), looking five times a second.
static void FollowLog(const std::wstring& folder, FollowState state) {
    for (;;) {
        std::vector<HANDLE> handles;
        std::vector<LogFileSeen> files;
        OpenFiles(folder, state, handles, files);
        const FollowPlan plan = PlanFollow(state, files);
        if (plan.lost) {
            PrintError(L"(the file followed was rotated away meanwhile; the rest of it is skipped)\n");
        }
        for (const FollowRead& read : plan.reads) {
            HANDLE file = handles[read.file];
            CopyRange(read.from, read.to,
                      [file](std::uint64_t from, std::uint64_t to) { return ReadRange(file, from, to); },
                      WriteOut);
        }
        // Whenever there is a current file, the next state is of it.
        state = plan.next;
        if (state.known && files[0].exists) state = MarkedState(handles[0], state.id, state.offset);
        for (HANDLE handle : handles) {
            if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
        }
        Sleep(200);
    }
}

int RunLogs(const SetupCommand& command) {
    std::wstring folder;
    std::wstring written;
    const std::wstring problem = LogDirOf(command.name, folder, written);
    if (!problem.empty()) {
        PrintError(L"Cannot show the log of " + Printable(command.name) + L": " + problem + L"\n");
        return kExitFailed;
    }
    const FollowState state = PrintTail(folder, command.options.logLines);
    if (!state.known && !command.options.follow) {
        PrintError(L"There is no log in " + NamedAsStarted(folder, written) + L" yet.\n");
        return kExitFailed;
    }
    if (command.options.follow) FollowLog(folder, state);
    PrintOutBytes("", g_cutCharacter, /*last=*/true);
    return kExitDone;
}
