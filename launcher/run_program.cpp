#include "launcher/run_program.h"

#include <algorithm>
#include <vector>

#include "launcher/log_file.h"

// One read is written at once: a pipe of this size lets a fast writer run on
// while the log is written, and a slow one's lines go out as they come.
constexpr DWORD kPipeBytes = 65536;
// The readers finish once every writer of the pipes has gone; the job has
// ended the tree by then, so this only bounds a writer outside it.
constexpr DWORD kDrainMs = 5000;
constexpr DWORD kCancelledDrainMs = 1000;

struct Reader {
    HANDLE pipe;
    OutputStream stream;
    HANDLE thread;
    char buffer[kPipeBytes];
};
struct RunRecord {
    HANDLE job;
    Reader readers[2];
    int readerCount;
};
static RunRecord g_run = {};

static void CloseAndNull(HANDLE& handle) {
    if (handle) {
        CloseHandle(handle);
        handle = nullptr;
    }
}

// The job's handle is not inheritable: were the program to hold it, the job
// would outlive the launcher.
static DWORD CreateKillOnCloseJob() {
    g_run.job = CreateJobObjectW(/*lpJobAttributes=*/nullptr, /*lpName=*/nullptr);
    if (!g_run.job) return GetLastError();
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!SetInformationJobObject(g_run.job, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
        return GetLastError();
    }
    return NO_ERROR;
}

// The handles the program gets, inheritable; the launcher closes them once
// the program holds its own copies.
struct ChildHandles {
    HANDLE input;
    HANDLE output;
    HANDLE error;  // the same as output with no log
};

static void CloseChildHandles(ChildHandles& handles) {
    if (handles.error == handles.output) handles.error = nullptr;
    CloseAndNull(handles.input);
    CloseAndNull(handles.output);
    CloseAndNull(handles.error);
}

static DWORD OpenNul(DWORD access, HANDLE& handle) {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, /*bInheritHandle=*/TRUE};
    handle = CreateFileW(L"NUL", access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        handle = nullptr;
        return GetLastError();
    }
    return NO_ERROR;
}

// A pipe whose write end only is inheritable, read by reader `index`.
static DWORD OpenOutputPipe(int index, OutputStream stream, HANDLE& writeEnd) {
    Reader& reader = g_run.readers[index];
    if (!CreatePipe(&reader.pipe, &writeEnd, /*lpPipeAttributes=*/nullptr, kPipeBytes)) return GetLastError();
    reader.stream = stream;
    g_run.readerCount = index + 1;
    if (!SetHandleInformation(writeEnd, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT)) return GetLastError();
    return NO_ERROR;
}

// Standard error writes into the pipe of standard output through a handle of
// its own, as a shell's 2>&1 gives it: a program that closes its standard
// output goes on being heard on its standard error.
static DWORD ShareOutputPipe(ChildHandles& handles) {
    if (!DuplicateHandle(GetCurrentProcess(), handles.output, GetCurrentProcess(), &handles.error,
                         /*dwDesiredAccess=*/0, /*bInheritHandle=*/TRUE, DUPLICATE_SAME_ACCESS)) {
        handles.error = nullptr;
        return GetLastError();
    }
    return NO_ERROR;
}

static DWORD OpenChildHandles(const ProgramStart& start, ChildHandles& handles) {
    DWORD error = OpenNul(GENERIC_READ, handles.input);
    if (error != NO_ERROR) return error;
    if (!start.keepOutput) {
        error = OpenNul(GENERIC_WRITE, handles.output);
        handles.error = handles.output;
        return error;
    }
    error = OpenOutputPipe(0, OutputStream::kOut, handles.output);
    if (error != NO_ERROR) return error;
    if (!start.separateStreams) return ShareOutputPipe(handles);
    return OpenOutputPipe(1, OutputStream::kErr, handles.error);
}

// Blocks on the pipe and writes each read at once, until every writer has
// gone (the pipe breaks) or the read is cancelled.
static DWORD WINAPI CopyOutput(LPVOID parameter) {
    Reader& reader = *static_cast<Reader*>(parameter);
    for (;;) {
        DWORD count = 0;
        if (!ReadFile(reader.pipe, reader.buffer, sizeof reader.buffer, &count, nullptr)) return 0;
        try {
            WriteOutput(reader.stream, reader.buffer, count);
        } catch (...) {
            // Out of memory for one read's framing: the read is dropped, the
            // program goes on.
        }
    }
}

static DWORD StartReaders() {
    for (int i = 0; i < g_run.readerCount; ++i) {
        Reader& reader = g_run.readers[i];
        reader.thread = CreateThread(nullptr, 0, CopyOutput, &reader, 0, nullptr);
        if (!reader.thread) return GetLastError();
    }
    return NO_ERROR;
}

// What CreateProcessW reads through the attribute list: it must outlive the
// call.
struct Creation {
    HANDLE inherited[3];
    SIZE_T inheritedCount;
    HANDLE job;
    std::vector<char> listBytes;
};

// The same handle may appear in the list only once.
static void ListInheritedHandles(const ChildHandles& handles, Creation& creation) {
    for (HANDLE handle : {handles.input, handles.output, handles.error}) {
        HANDLE* const end = creation.inherited + creation.inheritedCount;
        if (std::find(creation.inherited, end, handle) == end) creation.inherited[creation.inheritedCount++] = handle;
    }
}

// The program inherits its standard handles and nothing else the launcher
// holds inheritable. inJob: in, whether to offer the job; out, whether the
// list carries it (the system refuses it before Windows 10).
static DWORD PrepareAttributes(Creation& creation, bool& inJob, LPPROC_THREAD_ATTRIBUTE_LIST& list) {
    SIZE_T bytes = 0;
    InitializeProcThreadAttributeList(nullptr, /*dwAttributeCount=*/2, 0, &bytes);
    creation.listBytes.resize(bytes);
    list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(creation.listBytes.data());
    if (!InitializeProcThreadAttributeList(list, /*dwAttributeCount=*/2, 0, &bytes)) return GetLastError();
    inJob = inJob && UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_JOB_LIST, &creation.job,
                                               sizeof creation.job, nullptr, nullptr);
    if (!UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, creation.inherited,
                                   creation.inheritedCount * sizeof(HANDLE), nullptr, nullptr)) {
        const DWORD error = GetLastError();
        DeleteProcThreadAttributeList(list);
        return error;
    }
    return NO_ERROR;
}

// Created suspended, in the job where the system allows it.
static DWORD CreateWithAttributes(const ProgramStart& start, const ChildHandles& handles, bool& inJob,
                                  PROCESS_INFORMATION& info) {
    Creation creation = {};
    creation.job = g_run.job;
    ListInheritedHandles(handles, creation);
    STARTUPINFOEXW startup = {};
    DWORD error = PrepareAttributes(creation, inJob, startup.lpAttributeList);
    if (error != NO_ERROR) return error;
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdInput = handles.input;
    startup.StartupInfo.hStdOutput = handles.output;
    startup.StartupInfo.hStdError = handles.error;
    const DWORD flags = CREATE_UNICODE_ENVIRONMENT | EXTENDED_STARTUPINFO_PRESENT | CREATE_SUSPENDED;
    // CreateProcessW may write into the buffer; pass a copy.
    std::wstring commandLine = start.commandLine;
    const BOOL created = CreateProcessW(
        start.application.c_str(), &commandLine[0], nullptr, nullptr, /*bInheritHandles=*/TRUE, flags,
        const_cast<wchar_t*>(start.environment), start.workingDir.c_str(), &startup.StartupInfo, &info);
    error = created ? NO_ERROR : GetLastError();
    DeleteProcThreadAttributeList(startup.lpAttributeList);
    return error;
}

static DWORD CreateProgram(const ProgramStart& start, const ChildHandles& handles, PROCESS_INFORMATION& info) {
    bool inJob = true;
    const DWORD error = CreateWithAttributes(start, handles, inJob, info);
    // A system may take the job into the list and refuse it only here.
    if (!inJob || (error != ERROR_NOT_SUPPORTED && error != ERROR_INVALID_PARAMETER)) return error;
    inJob = false;
    return CreateWithAttributes(start, handles, inJob, info);
}

// Until it is in the job, the program waits suspended: a launcher ended in
// between leaves it behind, which is why the job is given at creation where
// the system allows it. A system may take the job and not honour it (Wine
// starts a batch file's cmd.exe outside it), so the job is checked, not
// trusted.
static DWORD JoinJobAndResume(const ProgramStart& start, const PROCESS_INFORMATION& info) {
    BOOL member = FALSE;
    DWORD error = IsProcessInJob(info.hProcess, g_run.job, &member) ? NO_ERROR : GetLastError();
    if (error == NO_ERROR && !member && !AssignProcessToJobObject(g_run.job, info.hProcess)) error = GetLastError();
    if (error != NO_ERROR) {
        TerminateProcess(info.hProcess, error);
        return error;
    }
    if (start.created) start.created(start, info.dwProcessId);
    if (ResumeThread(info.hThread) == static_cast<DWORD>(-1)) return GetLastError();
    return NO_ERROR;
}

DWORD StartProgram(const ProgramStart& start, HANDLE& process, DWORD& processId) {
    DWORD error = CreateKillOnCloseJob();
    ChildHandles handles = {};
    if (error == NO_ERROR) error = OpenChildHandles(start, handles);
    PROCESS_INFORMATION info = {};
    if (error == NO_ERROR) error = CreateProgram(start, handles, info);
    CloseChildHandles(handles);
    if (error != NO_ERROR) return error;
    error = JoinJobAndResume(start, info);
    if (error == NO_ERROR) error = StartReaders();
    CloseHandle(info.hThread);
    if (error != NO_ERROR) {
        TerminateJobObject(g_run.job, error);
        CloseHandle(info.hProcess);
        return error;
    }
    process = info.hProcess;
    processId = info.dwProcessId;
    return NO_ERROR;
}

void EndProgramTree() {
    if (g_run.job) TerminateJobObject(g_run.job, /*uExitCode=*/1);
    HANDLE threads[2] = {};
    int count = 0;
    for (int i = 0; i < g_run.readerCount; ++i) {
        if (g_run.readers[i].thread) threads[count++] = g_run.readers[i].thread;
    }
    if (count == 0) return;
    const DWORD drained = WaitForMultipleObjects(count, threads, /*bWaitAll=*/TRUE, kDrainMs);
    if (drained < WAIT_OBJECT_0 + static_cast<DWORD>(count)) return;
    for (int i = 0; i < count; ++i) CancelSynchronousIo(threads[i]);
    WaitForMultipleObjects(count, threads, /*bWaitAll=*/TRUE, kCancelledDrainMs);
}
