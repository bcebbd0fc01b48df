#include "launcher/log_file.h"

#include <algorithm>
#include <mutex>

#include "launcher/log_folder.h"
#include "launcher/log_plan.h"

struct LogRecord {
    bool enabled;
    std::wstring folder;
    HANDLE file;
    LogFileState state;
    unsigned long long limitBytes;
    unsigned keep;
    bool timestamps;
    FrameState frame;
    LossCount loss;
    bool rotationFailing;
    ULONGLONG nameCheckedMs;  // when the open file was last found to be output.log
};
static LogRecord g_log = {};
static std::mutex g_logLock;  // every field of g_log, and the file's contents

std::string Utf8(const std::wstring& text) {
    if (text.empty()) return "";
    const int size = static_cast<int>(text.size());
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    std::string utf8(bytes > 0 ? static_cast<std::size_t>(bytes) : 0, '\0');
    if (bytes > 0) WideCharToMultiByte(CP_UTF8, 0, text.data(), size, &utf8[0], bytes, nullptr, nullptr);
    return utf8;
}

static std::string Now() {
    SYSTEMTIME t;
    GetSystemTime(&t);
    return FormatUtcTime(UtcTime{t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds});
}

static std::wstring LogPath(const std::wstring& name) {
    return g_log.folder + L"\\" + name;
}

// Whether the file's last byte ends a line; an empty file starts one. A run
// ended at its stop timeout may have left its last line cut short. When the
// byte cannot be read, the file is taken to end one.
static bool EndsALine(HANDLE file, LONGLONG size) {
    if (size == 0) return true;
    LARGE_INTEGER last;
    last.QuadPart = size - 1;
    char byte = '\n';
    DWORD read = 0;
    if (!SetFilePointerEx(file, last, nullptr, FILE_BEGIN) || !ReadFile(file, &byte, 1, &read, nullptr)) return true;
    return read == 0 || byte == '\n';
}

// Others may read, rename, delete and empty the file while it is written.
// The handle only appends, so each write lands at the file's end, also after
// someone emptied it, where a write at the handle's own position would leave
// a run of zero bytes. It is not inheritable, so the program never holds the
// log open. It reads too, where the folder lets it, to see how the file ends.
// Caller holds g_logLock.
static DWORD OpenCurrentFile() {
    const std::wstring path = LogPath(LogFileName(0));
    HANDLE file = INVALID_HANDLE_VALUE;
    // Its attributes are read either way: they tell whether it is still output.log.
    const DWORD append = FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
    for (const DWORD access : {DWORD{GENERIC_READ | append}, append}) {
        file = CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           /*lpSecurityAttributes=*/nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_ACCESS_DENIED) break;
    }
    if (file == INVALID_HANDLE_VALUE) return GetLastError();
    LARGE_INTEGER size = {};
    const bool sized = GetFileSizeEx(file, &size);
    const bool endsALine = sized && EndsALine(file, size.QuadPart);
    if (!sized) {
        const DWORD error = GetLastError();
        CloseHandle(file);
        return error;
    }
    g_log.file = file;
    g_log.state = LogFileState{static_cast<unsigned long long>(size.QuadPart), endsALine};
    g_log.nameCheckedMs = GetTickCount64();
    return NO_ERROR;
}

static void CloseCurrentFile() {
    if (g_log.file) {
        CloseHandle(g_log.file);
        g_log.file = nullptr;
    }
}

static DWORD MoveKeptFilesUp(const std::vector<RenameStep>& steps);

static bool LogFileExists(unsigned number) {
    return GetFileAttributesW(LogPath(LogFileName(number)).c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A launcher ended inside a rotation (at the stop timeout, say) leaves the
// current file moved aside, and maybe some kept files moved up; so does a
// rotation that failed when an output.log had appeared meanwhile, which kept
// the file aside from moving back. That rotation is finished before the next
// one would move another file over it. Gives the error that kept a file from
// moving, or NO_ERROR.
// Caller holds g_logLock.
static DWORD FinishRotation() {
    const std::wstring aside = RotationSteps(1)[0].to;
    if (g_log.keep == 0) {
        // Nothing is kept now: the file a run that kept more moved aside goes.
        DeleteFileW(LogPath(aside).c_str());
        return NO_ERROR;
    }
    if (GetFileAttributesW(LogPath(aside).c_str()) == INVALID_FILE_ATTRIBUTES) return NO_ERROR;
    return MoveKeptFilesUp(FinishingSteps(g_log.keep, LogFileExists));
}

// Files numbered above the keep, left by runs that kept more, go: the disk
// used stays within what this keep allows. The first number missing ends
// the search; a file that cannot be deleted now is left for the next start.
// Caller holds g_logLock.
static void RemoveFilesBeyondKeep() {
    for (unsigned n = g_log.keep + 1;; ++n) {
        const std::wstring path = LogPath(LogFileName(n));
        if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return;
        DeleteFileW(path.c_str());
    }
}

DWORD OpenLog(const LauncherOptions& options) {
    std::lock_guard<std::mutex> hold(g_logLock);
    if (options.logDir.empty()) return NO_ERROR;
    const DWORD error = MakeOwnLogFolder(options.logDir);
    if (error != NO_ERROR) return error;
    g_log.enabled = true;
    g_log.folder = options.logDir;
    g_log.limitBytes = options.logSizeBytes;
    g_log.keep = options.logKeep;
    g_log.timestamps = options.logTimestamps;
    g_log.frame = FrameState{false, OutputStream::kOut};
    FinishRotation();
    RemoveFilesBeyondKeep();
    OpenCurrentFile();
    return NO_ERROR;
}

bool LogIsOpen() {
    std::lock_guard<std::mutex> hold(g_logLock);
    return g_log.enabled;
}

// Writes what it can, keeping the file's size and line state; gives the
// error of the write that failed, or NO_ERROR. What of the program's output
// cannot be written is counted; the launcher's own lines are not.
// Caller holds g_logLock.
static DWORD WriteBytes(const char* bytes, std::size_t count, bool program) {
    if (!g_log.file) {
        const DWORD error = OpenCurrentFile();
        if (error != NO_ERROR) {
            if (program) CountLoss(g_log.loss, count, error);
            return error;
        }
    }
    for (std::size_t written = 0; written < count;) {
        const DWORD part = static_cast<DWORD>(std::min<std::size_t>(count - written, 1u << 30));
        DWORD done = 0;
        const BOOL ok = WriteFile(g_log.file, bytes + written, part, &done, nullptr);
        const DWORD error = ok ? (done ? NO_ERROR : ERROR_WRITE_FAULT) : GetLastError();
        written += done;
        g_log.state.sizeBytes += done;
        if (done) g_log.state.atLineStart = bytes[written - 1] == '\n';
        if (error != NO_ERROR) {
            if (program) CountLoss(g_log.loss, count - written, error);
            // The folder may be gone or the disk changed: open afresh next time.
            CloseCurrentFile();
            return error;
        }
    }
    return NO_ERROR;
}

// The one line that says how much was lost, once writing works again. The
// program's next bytes then begin a line of their own, with its prefix.
// Caller holds g_logLock.
static void ReportLoss() {
    if (g_log.loss.lostBytes == 0) return;
    const std::string line = MarkedLine(Now(), LossText(g_log.loss), g_log.state.atLineStart);
    if (WriteBytes(line.data(), line.size(), /*program=*/false) != NO_ERROR) return;
    g_log.loss = LossCount{0, 0};
    g_log.frame.midLine = false;
}

// One step: a move, that replaces its target if asked, or a delete.
static DWORD RenameLogFile(const RenameStep& step, bool replace = true) {
    const std::wstring from = LogPath(step.from);
    const BOOL ok = step.to.empty() ? DeleteFileW(from.c_str())
                                    : MoveFileExW(from.c_str(), LogPath(step.to).c_str(),
                                                  replace ? MOVEFILE_REPLACE_EXISTING : 0);
    return ok ? NO_ERROR : GetLastError();
}

// Moves the kept files up and the one moved aside in as output.1.log. A file
// that cannot be moved (someone holds it open without sharing delete) stops
// the steps, and output.log is moved back: the file below it would otherwise
// be replaced without having moved on. Where an output.log has appeared
// meanwhile, the file stays aside for the next rotation to finish. Missing
// older files are no failure: there were fewer rotations.
// Caller holds g_logLock.
static DWORD MoveKeptFilesUp(const std::vector<RenameStep>& steps) {
    for (std::size_t i = 1; i < steps.size(); ++i) {
        const DWORD error = RenameLogFile(steps[i]);
        if (error == NO_ERROR || error == ERROR_FILE_NOT_FOUND) continue;
        MoveFileExW(LogPath(steps[0].to).c_str(), LogPath(steps[0].from).c_str(), /*dwFlags=*/0);
        return error;
    }
    return NO_ERROR;
}

// Moves output.log aside as output.1.log, and the older ones up. Gives the
// error that kept a file from moving, and then output.log is where it was;
// the current file is open again either way, new or the same.
// Caller holds g_logLock.
static DWORD Rotate() {
    CloseCurrentFile();
    g_log.state = LogFileState{0, true};
    const std::vector<RenameStep> steps = RotationSteps(g_log.keep);
    // A file still aside is never replaced: it holds output not yet kept.
    DWORD error = FinishRotation();
    if (error == NO_ERROR) error = RenameLogFile(steps[0], /*replace=*/false);
    if (error == NO_ERROR) {
        error = MoveKeptFilesUp(steps);
    } else if (error == ERROR_FILE_NOT_FOUND) {
        error = NO_ERROR;  // a current file that is gone has nothing to keep
    }
    OpenCurrentFile();
    return error;
}

// Writes text with the rotations its size calls for. A rotation that fails
// leaves the rest in the current file, and is tried again at the next write.
// The rest of a line cut at a rotation begins the next file with prefix (the
// line's time and stream, or none), so that there too each line starts with
// one; not where the prefix alone would fill the file, which the line would
// then never leave.
// Caller holds g_logLock.
static void WriteLogText(const std::string& text, bool program, const std::string& prefix) {
    ReportLoss();
    for (std::size_t offset = 0; offset < text.size();) {
        const WriteStep step = PlanWrite(g_log.state, g_log.limitBytes, text, offset);
        WriteBytes(text.data() + offset, step.bytes, program);
        offset += step.bytes;
        if (!step.rotateAfter) continue;
        const DWORD error = Rotate();
        if (error == NO_ERROR) {
            g_log.rotationFailing = false;
            if (step.cutsLine && prefix.size() < g_log.limitBytes) WriteBytes(prefix.data(), prefix.size(), program);
            continue;
        }
        if (!g_log.rotationFailing) {
            const std::string line = MarkedLine(Now(), "the log could not be rotated (Windows error " +
                                                    std::to_string(error) + "); writing on in output.log",
                                                g_log.state.atLineStart);
            WriteBytes(line.data(), line.size(), /*program=*/false);
        }
        g_log.rotationFailing = true;
        WriteBytes(text.data() + offset, text.size() - offset, program);
        return;
    }
}

// How often a write looks whether output.log is still the open file: seldom
// enough that a write costs no more than before, soon enough that little of
// the program's output goes into a file that was deleted.
static const ULONGLONG kNameCheckMs = 1000;

// Whether the open file is still the one named output.log. A deleted file
// is either delete-pending (its name stays, and refuses opens, until its last
// handle closes) or gone from the folder at once; a moved one leaves the name
// free or to another file. Anything else that keeps the name from being
// looked at (a sharing violation, say) is no sign of a change.
// Caller holds g_logLock, and the file is open.
static bool StillNamedOutputLog() {
    FILE_STANDARD_INFO standard;
    if (GetFileInformationByHandleEx(g_log.file, FileStandardInfo, &standard, sizeof standard) &&
        standard.DeletePending) {
        return false;
    }
    HANDLE named = CreateFileW(LogPath(LogFileName(0)).c_str(), FILE_READ_ATTRIBUTES,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               /*lpSecurityAttributes=*/nullptr, OPEN_EXISTING, /*dwFlagsAndAttributes=*/0, nullptr);
    if (named == INVALID_HANDLE_VALUE) return GetLastError() != ERROR_FILE_NOT_FOUND;
    BY_HANDLE_FILE_INFORMATION open, byName;
    const bool known = GetFileInformationByHandle(g_log.file, &open) && GetFileInformationByHandle(named, &byName);
    CloseHandle(named);
    return !known || (open.dwVolumeSerialNumber == byName.dwVolumeSerialNumber &&
                      open.nFileIndexHigh == byName.nFileIndexHigh && open.nFileIndexLow == byName.nFileIndexLow);
}

// Opens output.log afresh, at a write at most once a second, when the open
// file is no longer the one of that name, so that what the program writes
// next is not lost with a deleted file or out of sight in a moved one. Our
// own rotations reopen the file themselves, and so are never taken for one.
// Caller holds g_logLock.
static void FollowTheName() {
    const ULONGLONG nowMs = GetTickCount64();
    if (!g_log.file || nowMs - g_log.nameCheckedMs < kNameCheckMs) return;
    g_log.nameCheckedMs = nowMs;
    if (StillNamedOutputLog()) {
        // Emptied or cut by someone else, it is rotated by what it holds now.
        LARGE_INTEGER size;
        if (GetFileSizeEx(g_log.file, &size)) g_log.state.sizeBytes = static_cast<unsigned long long>(size.QuadPart);
        return;
    }
    // Closed first: a delete-pending name is only freed by its last handle.
    CloseCurrentFile();
    if (OpenCurrentFile() != NO_ERROR) return;  // tried again at each write, what is lost counted
    const std::string line =
        MarkedLine(Now(), "output.log was moved, deleted or replaced; writing on in output.log", g_log.state.atLineStart);
    WriteBytes(line.data(), line.size(), /*program=*/false);
    g_log.frame.midLine = false;  // the program's next bytes begin a line of their own
}

void WriteOutput(OutputStream stream, const char* bytes, DWORD count) {
    std::lock_guard<std::mutex> hold(g_logLock);
    if (!g_log.enabled) return;
    FollowTheName();
    const std::string chunk(bytes, count);
    ReportLoss();  // before the chunk is framed: it may begin a line anew
    if (!g_log.timestamps) {
        WriteLogText(chunk, /*program=*/true, "");
        return;
    }
    const std::string time = Now();
    WriteLogText(FrameChunk(g_log.frame, stream, chunk, time), /*program=*/true, LinePrefix(time, stream));
}

void WriteMarkedLine(const std::string& text) {
    std::lock_guard<std::mutex> hold(g_logLock);
    if (!g_log.enabled) return;
    FollowTheName();
    ReportLoss();  // before the line is made: it may end the line the file ended in
    const std::string time = Now();
    WriteLogText(MarkedLine(time, text, g_log.state.atLineStart), /*program=*/false, MarkedPrefix(time));
    g_log.frame.midLine = false;  // the program's next bytes begin a line of their own
}

void CloseLog() {
    std::lock_guard<std::mutex> hold(g_logLock);
    CloseCurrentFile();
}
