// The launcher between the wrapper and a program, as a service's user sees
// it: the log, the program's folder, environment and exit code, the stop
// that asks first, and the process tree that ends with the service.
#include "e2e/wrapper_service_fixture.h"

#include <algorithm>
#include <regex>

namespace {

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    for (size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

// The launcher's own lines: its UTC time, then "launcher:".
bool IsMarked(const std::string& line) {
    return line.size() > 35 && line[23] == 'Z' && line.compare(24, 11, " launcher: ") == 0;
}

std::vector<std::string> Lines(const std::string& text, bool marked) {
    std::vector<std::string> chosen;
    for (const std::string& line : SplitLines(text)) {
        if (IsMarked(line) == marked) chosen.push_back(marked ? line.substr(35) : line);
    }
    return chosen;
}

}  // namespace

// The wrapper runs the launcher, which runs a copy of the test program (or
// another program), logging into a folder of the test's own.
class LaunchedProgram : public WrapperService {
protected:
    void SetUp() override {
        WrapperService::SetUp();
        logDir_ = folder_ + L"\\logs";
        RemoveLogs();
        ASSERT_TRUE(CopyFileW(g_launchedProgramPath.c_str(), childPath_.c_str(), FALSE)) << GetLastError();
    }
    void TearDown() override {
        WrapperService::TearDown();
        RemoveLogs();
    }
    void RemoveLogs() {
        for (unsigned n = 0; n < 10; ++n) DeleteFileW(LogPath(n).c_str());
        DeleteFileW((logDir_ + L"\\output.rotating.log").c_str());
        DeleteFileW((logDir_ + L"\\moved.log").c_str());
        RemoveDirectoryW(logDir_.c_str());
    }
    std::wstring LogPath(unsigned n) const {
        return logDir_ + (n ? L"\\output." + std::to_wstring(n) + L".log" : L"\\output.log");
    }
    void InstallLauncher(const std::wstring& stopTimeoutMs, const std::vector<std::wstring>& options,
                         const std::vector<std::wstring>& program) {
        std::vector<std::wstring> elements = {stopTimeoutMs, g_launcherPath, L"--service", name_,
                                              L"--log-dir", logDir_};
        elements.insert(elements.end(), options.begin(), options.end());
        elements.push_back(L"--");
        elements.insert(elements.end(), program.begin(), program.end());
        Install(elements);
    }
    // Until the current log holds this text.
    bool WaitForLog(const std::string& text, DWORD timeoutMs) {
        for (const ULONGLONG end = GetTickCount64() + timeoutMs; GetTickCount64() < end; Sleep(20)) {
            if (ReadFileText(LogPath(0)).find(text) != std::string::npos) return true;
        }
        return false;
    }
    // The stop's time from the control to the stopped report.
    ULONGLONG StopAndTime() {
        const ULONGLONG start = GetTickCount64();
        EXPECT_EQ(Control(SERVICE_CONTROL_STOP), DWORD(ERROR_SUCCESS));
        EXPECT_TRUE(WaitForState(SERVICE_STOPPED, 30000)) << Seen();
        return GetTickCount64() - start;
    }
    std::wstring logDir_;
};

// One pipe keeps standard output and error in the order written; the
// environment is the service's, then the command line's pairs, then the
// file's; the folder is the program's own; standard input ends at once (the
// NUL device); its exit code is the service's.
TEST_F(LaunchedProgram, RunsInItsFolderWithItsEnvironmentAndPassesItsExitCodeOn) {
    const std::wstring envFile = folder_ + L"\\program.env";
    WriteTextFile(envFile, "\xEF\xBB\xBF# for the program\r\nFROM_FILE=%PATH%\r\n\r\nboth=from file\r\n");
    InstallLauncher(L"5000", {L"--env", L"FROM_LINE=a b", L"--env", L"BOTH=from line", L"--env-file", envFile},
                    {childPath_, L"report", L"3", L"FROM_LINE", L"FROM_FILE", L"BOTH", L"UNSET_NAME"});
    Start();
    ASSERT_TRUE(WaitForState(SERVICE_STOPPED, 15000)) << Seen();

    EXPECT_EQ(Summary(ServiceReports().back()), "STOPPED exit=1066 cp=0 hint=0 specific=3");
    const std::string log = ReadFileText(LogPath(0));
    EXPECT_EQ(Lines(log, false),
              (std::vector<std::string>{"folder=" + Narrow(folder_), "input=ends at once", "err 3", "FROM_LINE=a b",
                                        "err 4", "FROM_FILE=%PATH%", "err 5", "BOTH=from file", "err 6",
                                        "UNSET_NAME=(unset)"}));
    const std::vector<std::string> marked = Lines(log, true);
    ASSERT_EQ(marked.size(), 2u) << log;
    EXPECT_EQ(marked[0].find("started \"" + Narrow(childPath_) + "\" report 3 FROM_LINE"), 0u) << marked[0];
    EXPECT_EQ(marked[1], "the program ended with exit code 3 (0x00000003)");
}

// Standard error has a handle of its own into the one pipe: a program that
// closes its standard output is still heard on its standard error.
TEST_F(LaunchedProgram, KeepsStandardErrorOfAProgramThatClosesItsStandardOutput) {
    InstallLauncher(L"5000", {}, {childPath_, L"close-output"});
    Start();
    ASSERT_TRUE(WaitForState(SERVICE_STOPPED, 15000)) << Seen();

    EXPECT_EQ(Lines(ReadFileText(LogPath(0)), false), (std::vector<std::string>{"out before", "err after"}));
}

// A malformed environment file fails the start: the program never runs,
// the log names the line, and the service's report carries the launcher's
// Windows error (ERROR_INVALID_DATA).
TEST_F(LaunchedProgram, RefusesAMalformedEnvironmentFileNamingItsLine) {
    const std::wstring envFile = folder_ + L"\\program.env";
    WriteTextFile(envFile, "A=1\r\nnot a pair\r\n");
    InstallLauncher(L"5000", {L"--env-file", envFile}, {childPath_, L"report", L"0"});
    Start();
    ASSERT_TRUE(WaitForState(SERVICE_STOPPED, 15000)) << Seen();

    EXPECT_EQ(Summary(ServiceReports().back()), "STOPPED exit=1066 cp=0 hint=0 specific=13");
    const std::string log = ReadFileText(LogPath(0));
    EXPECT_EQ(Lines(log, false), std::vector<std::string>{});
    EXPECT_EQ(Lines(log, true), (std::vector<std::string>{"the environment file " + Narrow(envFile) +
                                                          ", line 2: the line is not NAME=VALUE (Windows error 13)"}));
}

// A file where the log folder should be fails the start like a folder that
// cannot be made (ERROR_DIRECTORY): not one line of the log could be written.
TEST_F(LaunchedProgram, FailsTheStartWhenALogFolderIsAFile) {
    WriteTextFile(logDir_, "not a folder");
    InstallLauncher(L"5000", {}, {childPath_, L"report", L"0"});
    Start();
    ASSERT_TRUE(WaitForState(SERVICE_STOPPED, 15000)) << Seen();
    EXPECT_EQ(Summary(ServiceReports().back()), "STOPPED exit=1066 cp=0 hint=0 specific=267");
    DeleteFileW(logDir_.c_str());
}

// cmd.exe reads its command line itself: "/c" reaches it bare. Each line
// carries its time and stream, and the program runs in the folder given.
TEST_F(LaunchedProgram, TimestampsEachLineAndRunsCmdInTheFolderGiven) {
    const std::wstring workDir = folder_ + L"\\work folder";
    CreateDirectoryW(workDir.c_str(), nullptr);
    DeleteFileW((workDir + L"\\x.txt").c_str());
    InstallLauncher(L"5000", {L"--log-timestamps", L"--working-dir", workDir},
                    {L"cmd.exe", L"/c", L"echo hello> x.txt& echo to out& >&2 echo to err"});
    Start();
    ASSERT_TRUE(WaitForState(SERVICE_STOPPED, 15000)) << Seen();

    EXPECT_EQ(Summary(ServiceReports().back()), kStoppedClean);
    EXPECT_EQ(ReadFileText(workDir + L"\\x.txt"), "hello\r\n");
    const std::regex line(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z (out|err|launcher): (.*))");
    std::vector<std::string> sources;
    for (const std::string& text : SplitLines(ReadFileText(LogPath(0)))) {
        std::smatch match;
        ASSERT_TRUE(std::regex_match(text, match, line)) << text;
        // cmd writes an echo's text and its line end in two writes; when the
        // other stream's output arrives between them, the text's line is
        // ended there and the line end comes later as a line of its own.
        if (match[1] != "launcher" && match[2].length() == 0) continue;
        sources.push_back(match[1].str() + " " + (match[1] == "launcher" ? "" : match[2].str()));
    }
    // Two pipes give the program's lines in the order they arrive.
    ASSERT_EQ(sources.size(), 4u);
    std::sort(sources.begin() + 1, sources.begin() + 3);
    EXPECT_EQ(sources, (std::vector<std::string>{"launcher ", "err to err", "out to out", "launcher "}));
}

// A line longer than twice the size is cut at a rotation: its rest begins
// the next file with a prefix of its own, as every line there does.
TEST_F(LaunchedProgram, GivesTheRestOfALineCutAtARotationItsPrefix) {
    const std::string text(150, 'x');
    InstallLauncher(L"5000", {L"--log-timestamps", L"--log-size", L"64", L"--log-keep", L"9"},
                    {L"cmd.exe", L"/c", L"echo " + std::wstring(text.begin(), text.end())});
    Start();
    ASSERT_TRUE(WaitForState(SERVICE_STOPPED, 15000)) << Seen();
    const std::regex line(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z (out|launcher): (.*))");
    std::string xs;
    for (unsigned n = 9; n-- > 0;) {
        const std::string file = ReadFileText(LogPath(n));  // may end within its last line
        for (const std::string& text : SplitLines(file.empty() || file.back() == '\n' ? file : file + "\n")) {
            std::smatch match;
            EXPECT_TRUE(std::regex_match(text, match, line)) << n << ": " << text;
            if (match.size() > 2 && match[1] == "out") xs += match[2].str();
        }
    }
    EXPECT_EQ(xs.substr(0, text.size()), text);  // cut, not lost
}

// Numbered lines as fast as the program writes them, in blocks that cut
// lines anywhere: the kept files hold a run of whole lines with none lost or
// doubled up to the last, each near its size, and no more files than kept.
TEST_F(LaunchedProgram, RotatesWithoutLosingDoublingOrCuttingLines) {
    const unsigned count = 100000;  // 900000 bytes: some thirteen files of 64 KiB
    InstallLauncher(L"5000", {L"--log-size", L"64K", L"--log-keep", L"4"}, {childPath_, L"lines", std::to_wstring(count)});
    Start();
    ASSERT_TRUE(WaitForState(SERVICE_STOPPED, 60000)) << Seen();
    EXPECT_EQ(Summary(ServiceReports().back()), kStoppedClean);

    EXPECT_EQ(GetFileAttributesW(LogPath(5).c_str()), INVALID_FILE_ATTRIBUTES);
    std::vector<std::string> lines;
    for (unsigned n = 5; n-- > 0;) {
        const std::string text = ReadFileText(LogPath(n));
        SCOPED_TRACE("file " + std::to_string(n));
        ASSERT_FALSE(text.empty());
        EXPECT_LE(text.size(), 65536u + 8);
        EXPECT_EQ(text.back(), '\n');
        for (const std::string& line : Lines(text, false)) lines.push_back(line);
    }
    ASSERT_GT(lines.size(), 20000u);
    for (size_t i = 0; i < lines.size(); ++i) {
        char expected[16];
        std::snprintf(expected, sizeof expected, "%08u", unsigned(count - lines.size() + i));
        ASSERT_EQ(lines[i], expected) << "line " << i << " of the kept files";
    }
}

// An older file held open without sharing delete (a pager reading it) stops
// every rotation: output.log grows on past its size, and no kept file is
// replaced before it has moved on.
TEST_F(LaunchedProgram, KeepsEveryOlderFileWhenOneCannotBeMoved) {
    ASSERT_TRUE(CreateDirectoryW(logDir_.c_str(), nullptr)) << GetLastError();
    for (unsigned n = 1; n <= 2; ++n) WriteTextFile(LogPath(n), "old " + std::to_string(n) + "\n");
    HANDLE pager = CreateFileW(LogPath(2).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(pager, INVALID_HANDLE_VALUE) << GetLastError();
    const unsigned count = 20000;  // 180000 bytes: nearly three files of 64 KiB
    InstallLauncher(L"5000", {L"--log-size", L"64K", L"--log-keep", L"4"}, {childPath_, L"lines", std::to_wstring(count)});
    Start();
    const bool stopped = WaitForState(SERVICE_STOPPED, 60000);
    CloseHandle(pager);
    ASSERT_TRUE(stopped) << Seen();

    for (unsigned n = 1; n <= 2; ++n) EXPECT_EQ(ReadFileText(LogPath(n)).substr(0, 20), "old " + std::to_string(n) + "\n");
    const std::string log = ReadFileText(LogPath(0));
    EXPECT_EQ(Lines(log, false).size(), count);
    const std::vector<std::string> marked = Lines(log, true);
    ASSERT_EQ(marked.size(), 3u) << log.substr(0, 300);
    EXPECT_EQ(marked[1], "the log could not be rotated (Windows error 32); writing on in output.log");
}

// A run ended at its stop timeout inside a rotation (once the kept files
// from the oldest down to output.3.log had moved up), or in the middle of a
// line: the next run finishes that rotation, replacing no file that moved on
// already, and its own lines begin lines.
TEST_F(LaunchedProgram, MendsWhatARunEndedMidwayLeft) {
    ASSERT_TRUE(CreateDirectoryW(logDir_.c_str(), nullptr)) << GetLastError();
    const std::wstring aside = logDir_ + L"\\output.rotating.log";
    WriteTextFile(aside, "moved aside\n");
    for (unsigned n : {1, 2}) WriteTextFile(LogPath(n), "old " + std::to_string(n) + "\n");
    for (unsigned n : {4, 5}) WriteTextFile(LogPath(n), "old " + std::to_string(n - 1) + "\n");
    WriteTextFile(LogPath(0), "cut short");
    InstallLauncher(L"5000", {}, {childPath_, L"report", L"0"});
    Start();
    ASSERT_TRUE(WaitForState(SERVICE_STOPPED, 15000)) << Seen();

    EXPECT_EQ(ReadFileText(LogPath(1)), "moved aside\n");
    for (unsigned n = 2; n <= 5; ++n) EXPECT_EQ(ReadFileText(LogPath(n)), "old " + std::to_string(n - 1) + "\n") << n;
    EXPECT_EQ(GetFileAttributesW(aside.c_str()), INVALID_FILE_ATTRIBUTES);
    const std::string log = ReadFileText(LogPath(0));
    EXPECT_EQ(log.find("cut short\n"), 0u) << log;
    EXPECT_EQ(Lines(log, true).size(), 2u) << log;  // started and ended
}

// A rotation that failed when an output.log appeared meanwhile leaves the
// file it had moved aside there: the next rotation moves that file in first
// rather than replace it.
TEST_F(LaunchedProgram, MovesInAFileLeftAsideBeforeTheNextRotation) {
    const std::wstring release = folder_ + L"\\release";
    DeleteFileW(release.c_str());
    InstallLauncher(L"5000", {L"--log-size", L"1500"}, {childPath_, L"lines-then", L"100", release, L"100"});
    Start();
    ASSERT_TRUE(WaitForLog("00000099\n", 15000)) << Seen();
    WriteTextFile(logDir_ + L"\\output.rotating.log", "left aside\n");
    WriteTextFile(release, "go");
    ASSERT_TRUE(WaitForState(SERVICE_STOPPED, 15000)) << Seen();
    EXPECT_EQ(ReadFileText(LogPath(2)), "left aside\n");
    DeleteFileW(release.c_str());
}

// Files numbered above a keep that was lowered since they were written go
// when the launcher opens its log; those within it stay.
TEST_F(LaunchedProgram, RemovesKeptFilesBeyondALoweredKeep) {
    ASSERT_TRUE(CreateDirectoryW(logDir_.c_str(), nullptr)) << GetLastError();
    for (unsigned n = 1; n <= 3; ++n) WriteTextFile(LogPath(n), "old " + std::to_string(n) + "\n");
    InstallLauncher(L"5000", {L"--log-keep", L"1"}, {childPath_, L"report", L"0"});
    Start();
    ASSERT_TRUE(WaitForState(SERVICE_STOPPED, 15000)) << Seen();

    EXPECT_EQ(ReadFileText(LogPath(1)), "old 1\n");
    for (unsigned n = 2; n <= 3; ++n) EXPECT_EQ(GetFileAttributesW(LogPath(n).c_str()), INVALID_FILE_ATTRIBUTES) << n;
}

// output.log moved away while the program runs, or deleted the way newer
// Windows deletes (the name goes at once, the open file with its last
// handle), or replaced: what the program writes next lands in output.log,
// after a marked line, and the moved file keeps what came before. (Wine keeps
// a deleted name until the last handle closes and shows no pending delete,
// so a plain delete cannot be seen there.) Emptied in place, it goes on
// from its new end, and is rotated by what it now holds.
TEST_F(LaunchedProgram, WritesOnInOutputLogWhenItIsMovedDeletedReplacedOrEmptied) {
    struct Case { const char* what; bool deleteMoved; bool placed; bool emptied; };
    const Case cases[] = {{"moved", false, false, false},
                          {"moved and deleted", true, false, false},
                          {"replaced", false, true, false},
                          {"emptied", false, false, true}};
    const std::wstring moved = logDir_ + L"\\moved.log", release = folder_ + L"\\release";
    const auto numbered = [](unsigned from, unsigned to) {
        std::vector<std::string> lines;
        for (unsigned n = from; n < to; ++n) {
            char line[16];
            lines.push_back(std::string(line, std::snprintf(line, sizeof line, "%08u", n)));
        }
        return lines;
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RemoveLogs();
        DeleteFileW(release.c_str());
        // Small enough that both halves together would rotate.
        InstallLauncher(L"5000", {L"--log-size", L"1500"}, {childPath_, L"lines-then", L"100", release, L"100"});
        Start();
        ASSERT_TRUE(WaitForLog("00000099\n", 15000)) << Seen();
        if (c.emptied) {
            HANDLE emptied = CreateFileW(LogPath(0).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                         nullptr, TRUNCATE_EXISTING, 0, nullptr);
            ASSERT_NE(emptied, INVALID_HANDLE_VALUE) << GetLastError();
            CloseHandle(emptied);
        } else {
            ASSERT_TRUE(MoveFileW(LogPath(0).c_str(), moved.c_str())) << GetLastError();
        }
        if (c.deleteMoved) ASSERT_TRUE(DeleteFileW(moved.c_str())) << GetLastError();
        if (c.placed) WriteTextFile(LogPath(0), "placed\n");
        Sleep(1100);  // the launcher looks at most once a second
        WriteTextFile(release, "go");
        ASSERT_TRUE(WaitForState(SERVICE_STOPPED, 15000)) << Seen();

        const std::string log = ReadFileText(LogPath(0));
        std::vector<std::string> after = numbered(100, 200);
        if (c.placed) after.insert(after.begin(), "placed");
        EXPECT_EQ(Lines(log, false), after) << log;
        std::vector<std::string> marked = {"the program ended with exit code 0 (0x00000000)"};
        if (!c.emptied) marked.insert(marked.begin(), "output.log was moved, deleted or replaced; writing on in output.log");
        EXPECT_EQ(Lines(log, true), marked);
        EXPECT_EQ(GetFileAttributesW(LogPath(1).c_str()), INVALID_FILE_ATTRIBUTES);
        if (c.emptied) continue;
        if (c.deleteMoved) {
            EXPECT_EQ(GetFileAttributesW(moved.c_str()), INVALID_FILE_ATTRIBUTES);
        } else {
            EXPECT_EQ(Lines(ReadFileText(moved), false), numbered(0, 100));
        }
    }
    DeleteFileW(release.c_str());
}

// The service's stop reaches the program as Ctrl+C, which it handles and
// ends by itself, long before the stop timeout.
TEST_F(LaunchedProgram, AsksForAGracefulStopWithCtrlC) {
    InstallLauncher(L"20000", {}, {childPath_, L"handle-ctrl-c"});
    Start();
    ASSERT_TRUE(WaitForState(SERVICE_RUNNING, 15000)) << Seen();
    ASSERT_TRUE(WaitForLog("ready\n", 10000));

    EXPECT_LT(StopAndTime(), 5000u);
    EXPECT_EQ(Summary(ServiceReports().back()), kStoppedClean);
    const std::string log = ReadFileText(LogPath(0));
    EXPECT_EQ(Lines(log, false), (std::vector<std::string>{"ready", "got ctrl-c"}));
    const std::vector<std::string> marked = Lines(log, true);
    ASSERT_EQ(marked.size(), 3u) << log;
    EXPECT_EQ(marked[1], "the service is stopping; sending Ctrl+C to the program");
    EXPECT_EQ(marked[2], "the program ended with exit code 0 (0x00000000)");
    EXPECT_GT(log.find("got ctrl-c"), log.find("sending Ctrl+C"));
}

// A stop that comes while the program is still starting is sent once the
// program is on the console, where Ctrl+C reaches it, not to no one: the
// stop does not wait out the stop timeout.
TEST_F(LaunchedProgram, AsksAProgramStoppedWhileItStarts) {
    InstallLauncher(L"20000", {}, {childPath_, L"handle-ctrl-c"});
    Start();
    ASSERT_TRUE(WaitForState(SERVICE_RUNNING, 15000)) << Seen();
    ASSERT_TRUE(WaitForLog(" launcher: started ", 10000));

    EXPECT_LT(StopAndTime(), 10000u) << ReadFileText(LogPath(0));
    EXPECT_EQ(Summary(ServiceReports().back()), kStoppedClean);
}

// A program that ignores Ctrl+C is ended at the stop timeout, and what it
// started ends with it.
TEST_F(LaunchedProgram, EndsAProgramThatIgnoresCtrlCWithItsChildAtTheTimeout) {
    InstallLauncher(L"2000", {}, {childPath_, L"ignore-ctrl-c"});
    Start();
    ASSERT_TRUE(WaitForState(SERVICE_RUNNING, 15000)) << Seen();
    ASSERT_TRUE(WaitForLog("grandchild ", 10000));
    const std::string log = ReadFileText(LogPath(0));
    const DWORD pid = std::strtoul(log.c_str() + log.find("grandchild ") + 11, nullptr, 10);
    HANDLE grandchild = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    ASSERT_NE(grandchild, nullptr) << pid;

    const ULONGLONG stopMs = StopAndTime();
    EXPECT_GE(stopMs, 1900u);
    EXPECT_LT(stopMs, 8000u);
    EXPECT_NE(ExitCodeOnceEnded(grandchild, 5000), DWORD(STILL_ACTIVE));
    CloseHandle(grandchild);
    EXPECT_NE(ReadFileText(LogPath(0)).find("sending Ctrl+C"), std::string::npos);
}

// Ctrl+C ends a batch file and the program it started, which is why a batch
// file gets no console input: Windows' cmd.exe would ask "Terminate batch job
// (Y/N)?" and wait for an answer. Wine's cmd.exe asks nothing, ends at once,
// and now and then hangs in its own exit instead (about one run in a hundred
// under load) until the stop timeout: the program's end, soon after the stop
// began, is what shows the Ctrl+C; the batch file ends by the stop's end.
TEST_F(LaunchedProgram, EndsABatchFileAndTheProgramItStarted) {
    const std::wstring batch = folder_ + L"\\start&program.bat";  // cmd.exe would cut it at & unquoted
    WriteTextFile(batch, "@echo off\r\n\"" + Narrow(childPath_) + "\" sleep\r\necho after the program\r\n");
    InstallLauncher(L"10000", {}, {batch});
    Start();
    ASSERT_TRUE(WaitForState(SERVICE_RUNNING, 15000)) << Seen();
    ASSERT_TRUE(WaitForLog("\npid ", 10000));
    const std::string log = ReadFileText(LogPath(0));
    const DWORD access = SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION;
    HANDLE cmd = OpenProcess(access, FALSE, std::strtoul(log.c_str() + log.find("(pid ") + 5, nullptr, 10));
    HANDLE program = OpenProcess(access, FALSE, std::strtoul(log.c_str() + log.find("\npid ") + 5, nullptr, 10));
    ASSERT_NE(cmd, nullptr) << log;
    ASSERT_NE(program, nullptr) << log;

    FILETIME stopBegan, created, ended, kernel, user;
    GetSystemTimeAsFileTime(&stopBegan);
    EXPECT_LT(StopAndTime(), 15000u);
    EXPECT_NE(ExitCodeOnceEnded(cmd, 5000), DWORD(STILL_ACTIVE));
    ASSERT_NE(ExitCodeOnceEnded(program, 5000), DWORD(STILL_ACTIVE));
    ASSERT_TRUE(GetProcessTimes(program, &created, &ended, &kernel, &user));
    const auto ticks = [](FILETIME time) { return ULARGE_INTEGER{{time.dwLowDateTime, time.dwHighDateTime}}.QuadPart; };
    EXPECT_LT((ticks(ended) - ticks(stopBegan)) / 10000, 5000u) << ReadFileText(LogPath(0));
    CloseHandle(program);
    CloseHandle(cmd);
    DeleteFileW(batch.c_str());
}

// cmd.exe reads a batch file's arguments itself: one holding & reaches the
// batch whole, quoted, instead of ending its command there and running the
// rest as a command of its own.
TEST_F(LaunchedProgram, PassesABatchFileAnArgumentHoldingAnAmpersandWhole) {
    const std::wstring batch = folder_ + L"\\show-argument.bat";
    WriteTextFile(batch, "@echo off\r\necho [%1]\r\n");
    InstallLauncher(L"5000", {}, {batch, L"a&b"});
    Start();
    ASSERT_TRUE(WaitForState(SERVICE_STOPPED, 15000)) << Seen();
    const std::string log = ReadFileText(LogPath(0));
    EXPECT_EQ(Lines(log, false), std::vector<std::string>{"[\"a&b\"]"}) << log;
    EXPECT_EQ(Summary(ServiceReports().back()), kStoppedClean);
    DeleteFileW(batch.c_str());
}

// A log folder on a full disk (a small file system mounted for the tests)
// neither stops nor slows the program; once there is room, one marked line
// says how many bytes were lost, and those and the bytes kept are all the
// program wrote. With timestamps, and the lost part ending mid-line, the
// program's line after the loss still begins with its prefix.
TEST_F(LaunchedProgram, CountsWhatAFullDiskLosesWithoutSlowingTheProgram) {
    const std::wstring disk = L"C:\\wrapper-e2e-full-disk";
    ULARGE_INTEGER total = {};
    if (!GetDiskFreeSpaceExW(disk.c_str(), nullptr, &total, nullptr) || total.QuadPart > (1u << 20)) {
        GTEST_SKIP() << "no small file system at " << Narrow(disk) << " (mounting one needs root)";
    }
    logDir_ = disk + L"\\logs";
    const std::wstring filler = disk + L"\\filler";
    const std::wstring done = folder_ + L"\\burst.done", release = folder_ + L"\\burst.release";
    for (const bool timestamps : {false, true}) {
        SCOPED_TRACE(timestamps ? "with timestamps" : "without timestamps");
        RemoveLogs();
        ASSERT_TRUE(CreateDirectoryW(logDir_.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
        HANDLE file = CreateFileW(filler.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        const std::string block(4096, 'f');
        for (DWORD written = 0; WriteFile(file, block.data(), DWORD(block.size()), &written, nullptr) && written;) {}
        CloseHandle(file);

        const unsigned bytes = timestamps ? 300050 : 300000;  // lines of 100 bytes
        DeleteFileW(done.c_str());
        DeleteFileW(release.c_str());
        std::vector<std::wstring> options;
        if (timestamps) options.push_back(L"--log-timestamps");
        InstallLauncher(L"5000", options, {childPath_, L"burst", std::to_wstring(bytes), done, release});
        Start();
        ASSERT_TRUE(WaitForState(SERVICE_RUNNING, 15000)) << Seen();
        std::string took;
        for (const ULONGLONG end = GetTickCount64() + 15000; took.empty() && GetTickCount64() < end; Sleep(20)) {
            took = ReadFileText(done);
        }
        ASSERT_FALSE(took.empty()) << "the program did not get its output out";
        // Were the launcher to stop reading, the program would block on a full
        // pipe; were it to wait between tries, this would take minutes.
        EXPECT_LT(std::stoul(took), 10000u);

        EXPECT_TRUE(DeleteFileW(filler.c_str()));
        WriteTextFile(release, "go");
        ASSERT_TRUE(WaitForState(SERVICE_STOPPED, 15000)) << Seen();
        EXPECT_EQ(Summary(ServiceReports().back()), kStoppedClean);
        const std::string log = ReadFileText(LogPath(0));
        const std::smatch loss = [&log] {
            std::smatch match;
            std::regex_search(log, match, std::regex(R"(launcher: (\d+) bytes of output could not be written)"));
            return match;
        }();
        ASSERT_FALSE(loss.empty()) << log;
        EXPECT_GT(std::stoul(loss[1].str()), 0u);
        EXPECT_LT(log.find("bytes of output could not"), log.find("after release"));
        if (timestamps) {
            for (const std::string& line : Lines(log, false)) {
                EXPECT_TRUE(std::regex_match(line, std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z out: .*)")))
                    << line;
            }
        } else {
            size_t kept = 0;
            for (const std::string& line : Lines(log, false)) kept += line.size() + 1;
            EXPECT_EQ(std::stoul(loss[1].str()) + kept, bytes + std::string("after release\n").size()) << log;
        }
    }
    DeleteFileW(done.c_str());
    DeleteFileW(release.c_str());
}
