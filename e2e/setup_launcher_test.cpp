// The setup program's launcher settings through the real executable: the
// launcher written by default, its log folder made, show, apply and set of
// its settings, --direct, and logs reading what the launcher wrote.
#include "e2e/setup_tool_fixture.h"

#include <sddl.h>

#include <nlohmann/json.hpp>

namespace {

using nlohmann::json;

std::wstring ProgramData() {
    wchar_t folder[MAX_PATH];
    const DWORD length = GetEnvironmentVariableW(L"ProgramData", folder, MAX_PATH);
    return length > 0 && length < MAX_PATH ? folder : L"C:\\ProgramData";
}

void RemoveLogFolder(const std::wstring& folder) {
    for (const wchar_t* file : {L"\\output.log", L"\\output.1.log", L"\\output.2.log", L"\\output.3.log"}) {
        DeleteFileW((folder + file).c_str());
    }
    RemoveDirectoryW(folder.c_str());
}

// Run with the launcher's own runs, whose time limit has room for them.
class SetupLauncher : public SetupTool {
protected:
    // The launched program, copied into the test's folder: its path.
    std::wstring CopyLaunchedProgram() {
        const std::wstring program = folder_ + L"\\launched.exe";
        EXPECT_TRUE(CopyFileW(g_launchedProgramPath.c_str(), program.c_str(), FALSE)) << GetLastError();
        return program;
    }
};

std::wstring CurrentLog(const std::wstring& folder) {
    return folder + L"\\output.log";
}

TEST_F(SetupLauncher, WritesTheLauncherByDefaultAndReadsItsSettingsAndLogBack) {
    const std::wstring program = CopyLaunchedProgram();
    const std::wstring logs = ProgramData() + L"\\Service Wrapper\\logs\\" + name_;
    RemoveLogFolder(logs);
    const std::vector<std::wstring> options = {L"--start", L"demand", L"--log-size", L"4K",
                                               L"--log-keep", L"2", L"--env", L"MODE=fast"};
    auto run = [&](const wchar_t* verb, std::vector<std::wstring> more) {
        std::vector<std::wstring> arguments = {verb, name_};
        arguments.insert(arguments.end(), options.begin(), options.end());
        arguments.insert(arguments.end(), more.begin(), more.end());
        arguments.insert(arguments.end(), {L"--", program, L"lines", L"600"});
        return Setup(arguments);
    };

    SetupRun installed = run(L"install", {});
    ASSERT_EQ(installed.exitCode, 0u) << Narrow(installed.out) << Narrow(installed.err);
    EXPECT_TRUE(Holds(installed.out, L"Note: Made the log folder [" + logs + L"]"));
    EXPECT_TRUE(Holds(installed.out, L"  2  launcher      [" + g_launcherPath + L"]\n"));
    EXPECT_TRUE(Holds(installed.out, L" program       [" + program + L"]\n"));
    const DWORD attributes = GetFileAttributesW(logs.c_str());
    EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY));

    json shown = json::parse(Narrow(Setup({L"show", name_, L"--json"}).out), nullptr, false);
    ASSERT_FALSE(shown.is_discarded());
    const json& launcher = shown["launcher"];
    EXPECT_EQ(shown["direct"], false);
    EXPECT_EQ(launcher["logDir"], Narrow(logs));
    EXPECT_EQ(launcher["logSizeBytes"], 4096);
    EXPECT_EQ(launcher["logKeep"], 2);
    EXPECT_EQ(launcher["env"], json({"MODE=fast"}));
    EXPECT_EQ(launcher["stopSignal"], "ctrl-c");
    EXPECT_EQ(shown["program"], Narrow(program));
    EXPECT_EQ(shown["arguments"], json({"lines", "600"}));

    SetupRun again = run(L"apply", {});
    EXPECT_EQ(again.exitCode, 0u) << Narrow(again.err);
    EXPECT_TRUE(Holds(again.out, L"is already as asked; nothing was changed.\n"));

    // The program writes its lines through a rotation and ends; logs prints the last ones.
    Start();
    ASSERT_TRUE(WaitForState(SERVICE_STOPPED, 20000)) << Seen();
    SetupRun tail = Setup({L"logs", name_, L"--lines", L"3"});
    EXPECT_EQ(tail.exitCode, 0u) << Narrow(tail.err);
    EXPECT_TRUE(Holds(tail.out, L"00000599\n"));
    EXPECT_FALSE(Holds(tail.out, L"00000590\n"));
    EXPECT_NE(GetFileAttributesW((logs + L"\\output.1.log").c_str()), INVALID_FILE_ATTRIBUTES);

    SetupRun changed = Setup({L"set", name_, L"--log-keep", L"3", L"--unset-env", L"MODE"});
    EXPECT_EQ(changed.exitCode, 0u) << Narrow(changed.err);
    EXPECT_TRUE(Holds(changed.out, L"  old log files kept: 2 -> 3\n"));
    EXPECT_TRUE(Holds(changed.out, L"  environment: [MODE=fast] -> (none)\n"));
    EXPECT_TRUE(Holds(StoredCommandLine(), L" \"--log-keep\" \"3\" \"--\" "));

    // --direct: the line of before, byte for byte; apply with the defaults brings the launcher back.
    SetupRun direct = Setup({L"apply", name_, L"--start", L"demand", L"--direct", L"--", program,
                             L"lines", L"600"});
    EXPECT_TRUE(Holds(direct.out, L"  launcher: [" + g_launcherPath + L"] -> none (--direct)\n"));
    EXPECT_EQ(StoredCommandLine(), L"\"" + g_wrapperPath + L"\" 120000 \"" + program + L"\" \"lines\" \"600\"");
    EXPECT_TRUE(Holds(Setup({L"logs", name_}).err, L"without the launcher (--direct)"));

    SetupRun relaunched = run(L"apply", {});
    EXPECT_TRUE(Holds(relaunched.out, L"  launcher: none (--direct) -> [" + g_launcherPath + L"]\n"));
    SetupRun removed = Setup({L"remove", name_});
    EXPECT_EQ(removed.exitCode, 0u) << Narrow(removed.err);
    EXPECT_TRUE(Holds(removed.out, L"Its log is left in [" + logs + L"]"));
    RemoveLogFolder(logs);
}

// Each launcher option through set, show (text and JSON) and apply: from the
// settings of "from", set gives the change, show reads it back, and apply
// with the same settings finds nothing to change.
struct OptionCase {
    std::vector<std::wstring> from;   // apply's options before set
    std::vector<std::wstring> set;
    std::vector<std::wstring> apply;  // apply's options for what set made
    std::wstring change;              // set's line for it
    std::wstring shown;               // show's line for it
    const char* pointer;              // where show --json has it
    json value;
};

TEST_F(SetupLauncher, SetsShowsAndAppliesEachLauncherOption) {
    const std::wstring program = CopyLaunchedProgram();
    const std::wstring logs = ProgramData() + L"\\Service Wrapper\\logs\\" + name_;
    const std::wstring other = folder_ + L"\\other logs";
    // Taken literally, and given with a separator after it.
    const std::wstring literal = L"\\\\?\\" + folder_ + L"\\literal logs";
    const std::wstring envFile = folder_ + L"\\service.env";
    HANDLE file = CreateFileW(envFile.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
    const std::vector<OptionCase> kCases = {
        {{}, {L"--log-dir", other}, {L"--log-dir", other},
         L"  log folder: [" + logs + L"] -> [" + other + L"]\n", L"  log folder      [" + other + L"]\n",
         "/launcher/logDir", Narrow(other)},
        {{}, {L"--log-dir", literal + L"\\"}, {L"--log-dir", literal + L"\\"},
         L"  log folder: [" + logs + L"] -> [" + literal + L"]\n",
         L"  log folder      [" + literal + L"]\n", "/launcher/logDir", Narrow(literal)},
        {{}, {L"--log-dir", L"none"}, {L"--log-dir", L"none"},
         L"  log folder: [" + logs + L"] -> none\n",
         L"  log folder      none: the output goes to NUL\n", "/launcher/logDir", nullptr},
        {{}, {L"--log-size", L"8K"}, {L"--log-size", L"8192"},
         L"  log size: 10485760 bytes -> 8192 bytes\n",
         L"  log size        8192 bytes, 5 old files kept\n", "/launcher/logSizeBytes", 8192},
        {{}, {L"--log-keep", L"7"}, {L"--log-keep", L"7"}, L"  old log files kept: 5 -> 7\n",
         L"  log size        10485760 bytes, 7 old files kept\n", "/launcher/logKeep", 7},
        {{}, {L"--log-timestamps"}, {L"--log-timestamps"}, L"  log timestamps: no -> yes\n",
         L"  log timestamps  yes\n", "/launcher/logTimestamps", true},
        {{L"--log-timestamps"}, {L"--no-log-timestamps"}, {}, L"  log timestamps: yes -> no\n",
         L"  log timestamps  no\n", "/launcher/logTimestamps", false},
        {{}, {L"--working-dir", folder_}, {L"--working-dir", folder_},
         L"  working folder: the program's own folder -> [" + folder_ + L"]\n",
         L"  working folder  [" + folder_ + L"]\n", "/launcher/workingDir", Narrow(folder_)},
        {{L"--env", L"A=1"}, {L"--env", L"B=2"}, {L"--env", L"A=1", L"--env", L"B=2"},
         L"  environment: [A=1] -> [A=1] [B=2]\n", L"  environment     [A=1] [B=2]\n",
         "/launcher/env", json({"A=1", "B=2"})},
        {{L"--env", L"A=1", L"--env", L"B=2"}, {L"--unset-env", L"A"}, {L"--env", L"B=2"},
         L"  environment: [A=1] [B=2] -> [B=2]\n", L"  environment     [B=2]\n", "/launcher/env",
         json({"B=2"})},
        {{}, {L"--env-file", envFile}, {L"--env-file", envFile},
         L"  env file: (none) -> [" + envFile + L"]\n", L"  env file        [" + envFile + L"]\n",
         "/launcher/envFile", Narrow(envFile)},
        {{}, {L"--stop-signal", L"none"}, {L"--stop-signal", L"none"},
         L"  stop signal: ctrl-c -> none\n", L"  stop signal     none\n", "/launcher/stopSignal",
         "none"},
        {{}, {L"--direct"}, {L"--direct"}, L"  launcher: [" + g_launcherPath + L"] -> none (--direct)\n",
         L"  launcher        none (--direct): the program is the wrapper's own child\n", "/direct",
         true},
    };
    auto apply = [&](const std::vector<std::wstring>& options) {
        std::vector<std::wstring> arguments = {L"apply", name_, L"--start", L"demand"};
        arguments.insert(arguments.end(), options.begin(), options.end());
        arguments.insert(arguments.end(), {L"--", program, L"lines", L"1"});
        return Setup(arguments);
    };
    for (const OptionCase& c : kCases) {
        SCOPED_TRACE(Narrow(c.change));
        SetupRun from = apply(c.from);
        ASSERT_EQ(from.exitCode, 0u) << Narrow(from.out) << Narrow(from.err);
        std::vector<std::wstring> arguments = {L"set", name_};
        arguments.insert(arguments.end(), c.set.begin(), c.set.end());
        SetupRun set = Setup(arguments);
        EXPECT_EQ(set.exitCode, 0u) << Narrow(set.err);
        EXPECT_TRUE(Holds(set.out, c.change));
        EXPECT_TRUE(Holds(Setup({L"show", name_}).out, c.shown));
        json shown = json::parse(Narrow(Setup({L"show", name_, L"--json"}).out), nullptr, false);
        ASSERT_FALSE(shown.is_discarded());
        EXPECT_EQ(shown[json::json_pointer(c.pointer)], c.value);
        SetupRun again = apply(c.apply);
        EXPECT_EQ(again.exitCode, 0u) << Narrow(again.err);
        EXPECT_TRUE(Holds(again.out, L"nothing was changed.\n"));
    }
    EXPECT_EQ(GetFileAttributesW(other.c_str()), FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(GetFileAttributesW(literal.c_str()), FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_TRUE(Setup({L"remove", name_}).exitCode == 0);
    RemoveLogFolder(logs);
    RemoveLogFolder(other);
    RemoveLogFolder(literal);
    DeleteFileW(envFile.c_str());
}

// Wine's manager cannot keep a SID type, so asking for one fails the write
// after the log folder was made: the folder, and the one made above it, go
// with the service, unless they were there before.
TEST_F(SetupLauncher, RemovesTheLogFolderItMadeWhenTheWriteFails) {
    const std::wstring program = CopyLaunchedProgram();
    const std::wstring above = folder_ + L"\\made above", logs = above + L"\\made logs";
    RemoveLogFolder(logs);
    RemoveDirectoryW(above.c_str());
    const std::wstring removed = L"The log folder [" + logs + L"] made for it was removed again.";
    for (bool existed : {false, true}) {
        SCOPED_TRACE(existed);
        if (existed) ASSERT_TRUE(CreateDirectoryW(above.c_str(), nullptr) && CreateDirectoryW(logs.c_str(), nullptr));
        SetupRun run = Setup({L"install", name_, L"--json", L"--start", L"demand", L"--sid-type",
                              L"unrestricted", L"--log-dir", logs, L"--", program, L"lines", L"1"});
        EXPECT_EQ(run.exitCode, 1u) << Narrow(run.out);
        EXPECT_EQ(StoredCommandLine(), L"");
        json document = json::parse(Narrow(run.out), nullptr, false);
        ASSERT_FALSE(document.is_discarded()) << Narrow(run.out);
        const json& notes = document["notes"];
        EXPECT_EQ(std::count(notes.begin(), notes.end(), Narrow(removed)), existed ? 0 : 1)
            << notes.dump(2);
        EXPECT_EQ(GetFileAttributesW(logs.c_str()) != INVALID_FILE_ATTRIBUTES, existed);
        EXPECT_EQ(GetFileAttributesW(above.c_str()) != INVALID_FILE_ATTRIBUTES, existed);
    }
    RemoveLogFolder(logs);
    RemoveDirectoryW(above.c_str());
}

// A working folder or environment file that is not there, or a file where
// the log folder should be, is warned of by install and show until it is
// right, and the service's start does fail for it.
TEST_F(SetupLauncher, WarnsOfAWorkingFolderEnvironmentFileOrLogFolderThatIsNotThere) {
    const std::wstring program = CopyLaunchedProgram();
    const std::wstring envFile = folder_ + L"\\later.env";
    const std::wstring noFolder = L"The working folder [" + program + L"] is a file: ";
    const std::wstring noFile = L"The environment file [" + envFile + L"] cannot be found: ";
    const std::wstring logs = folder_ + L"\\logs made a file";
    DeleteFileW(logs.c_str());
    RemoveLogFolder(logs);
    SetupRun installed = Setup({L"install", name_, L"--start", L"demand", L"--log-dir", logs,
                                L"--working-dir", program, L"--env-file", envFile, L"--",
                                program, L"lines", L"1"});
    ASSERT_EQ(installed.exitCode, 0u) << Narrow(installed.out) << Narrow(installed.err);
    EXPECT_TRUE(Holds(installed.out, noFolder));
    EXPECT_TRUE(Holds(installed.out, noFile));
    HANDLE file = CreateFileW(envFile.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
    ASSERT_TRUE(RemoveDirectoryW(logs.c_str())) << GetLastError();
    WriteTextFile(logs, "not a folder");
    const std::wstring shown = Setup({L"show", name_}).out;
    EXPECT_TRUE(Holds(shown, noFolder));
    EXPECT_FALSE(Holds(shown, noFile));
    EXPECT_TRUE(Holds(shown, L"The log folder [" + logs + L"] is a file: ")) << Narrow(shown);
    Start();
    ASSERT_TRUE(WaitForState(SERVICE_STOPPED, 20000)) << Seen();
    EXPECT_EQ(Summary(ServiceReports().back()), "STOPPED exit=1066 cp=0 hint=0 specific=267");
    EXPECT_EQ(Setup({L"remove", name_}).exitCode, 0u);
    DeleteFileW(envFile.c_str());
    DeleteFileW(logs.c_str());
}

// A second service given the first one's log folder, spelt otherwise, is
// refused before anything is made or written.
TEST_F(SetupLauncher, RefusesTheLogFolderOfAnotherService) {
    UseServices(2);  // the second one goes at the end, should it be installed after all
    const std::wstring program = CopyLaunchedProgram();
    const std::wstring logs = folder_ + L"\\shared logs";
    RemoveLogFolder(logs);
    auto install = [&](const std::wstring& name, const std::wstring& logDir) {
        return Setup({L"install", name, L"--start", L"demand", L"--log-dir", logDir, L"--", program,
                      L"lines", L"1"});
    };
    SetupRun first = install(name_, logs);
    ASSERT_EQ(first.exitCode, 0u) << Narrow(first.out) << Narrow(first.err);
    ASSERT_TRUE(RemoveDirectoryW(logs.c_str())) << GetLastError();

    // Spelt with a separator at its end, with a .. step, and (while it is
    // there) by its short name, which only the folder's identity tells.
    const std::pair<std::wstring, bool> kSpellings[] = {{folder_ + L"\\Shared Logs\\", false},
                                                        {folder_ + L"\\x\\..\\Shared Logs", false},
                                                        {L"", true}};
    for (auto [spelling, there] : kSpellings) {
        if (there) {
            ASSERT_TRUE(CreateDirectoryW(logs.c_str(), nullptr)) << GetLastError();
            spelling.resize(MAX_PATH);
            spelling.resize(GetShortPathNameW(logs.c_str(), &spelling[0], MAX_PATH));
            ASSERT_EQ(spelling.find(L"shared logs"), std::wstring::npos) << Narrow(spelling);
        }
        SCOPED_TRACE(Narrow(spelling));
        SetupRun second = install(ServiceName(1), spelling);
        EXPECT_EQ(second.exitCode, 1u) << Narrow(second.out);
        EXPECT_TRUE(Holds(second.err, L" is already the log folder of the service " + name_ + L": "));
        EXPECT_TRUE(Holds(second.err, L"\nNothing was installed.\n"));
        SC_HANDLE service = OpenServiceW(manager_, ServiceName(1).c_str(), SERVICE_QUERY_STATUS);
        EXPECT_EQ(service, nullptr);
        if (service) CloseServiceHandle(service);
        EXPECT_EQ(GetFileAttributesW(logs.c_str()) != INVALID_FILE_ATTRIBUTES, there);
    }
    RemoveDirectoryW(logs.c_str());
}

// A service whose name no folder's name may hold gets no default log folder:
// Wine would make one, Windows would refuse the name as invalid.
TEST_F(SetupLauncher, RefusesADefaultLogFolderNoFolderNameCanHold) {
    const std::wstring program = CopyLaunchedProgram();
    const std::wstring colon = name_ + L":worker";
    const std::wstring logs = ProgramData() + L"\\Service Wrapper\\logs\\" + colon;
    // And a name the manager changes in the launcher's --service.
    const std::pair<std::wstring, std::wstring> kNames[] = {
        {colon, L"The default log folder [" + logs + L"] cannot be made: the name [" + colon +
                    L"] in it holds a colon (:), which no folder's name may hold. It is named "
                    L"after the service."},
        {name_ + L"%OS%", L"The launcher would watch the service [" + name_ +
                              L"Windows_NT], not this one: a stop would not send the program "
                              L"Ctrl+C"}};
    for (const auto& [name, refusal] : kNames) {
        SetupRun run = Setup({L"install", name, L"--start", L"demand", L"--", program, L"lines", L"1"});
        EXPECT_EQ(run.exitCode, 1u) << Narrow(run.out);
        EXPECT_TRUE(Holds(run.err, refusal)) << Narrow(run.err);
        if (run.exitCode == 0) Setup({L"remove", name});
    }
    EXPECT_EQ(GetFileAttributesW(logs.c_str()), INVALID_FILE_ATTRIBUTES);
    RemoveLogFolder(logs);
}

// The folder's access list in SDDL, or empty where it cannot be read.
std::wstring AccessListOf(const std::wstring& folder) {
    DWORD size = 0;
    GetFileSecurityW(folder.c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &size);
    std::vector<unsigned char> descriptor(size);
    wchar_t* text = nullptr;
    if (size == 0 || !GetFileSecurityW(folder.c_str(), DACL_SECURITY_INFORMATION,
                                       descriptor.data(), size, &size) ||
        !ConvertSecurityDescriptorToStringSecurityDescriptorW(
            descriptor.data(), SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr)) {
        return L"";
    }
    const std::wstring sddl = text;
    LocalFree(text);
    return sddl;
}

// The manager replaces the %NAME% references of the command line at each
// start, so the launcher writes into the folder they name: that one is made
// with the log folder's access list, read by logs, named by show and
// remove, and the folder as written is never made.
TEST_F(SetupLauncher, MakesAndReadsTheLogFolderTheManagerNamesByItsReferences) {
    const std::wstring program = CopyLaunchedProgram();
    const std::wstring written = folder_ + L"\\%OS%";
    const std::wstring logs = folder_ + L"\\Windows_NT";
    const std::wstring named = L"[" + logs + L"] (written as [" + written + L"])";
    // A path may begin with a reference, judged once it is replaced.
    SetupRun installed = Setup({L"install", name_, L"--start", L"demand", L"--log-dir", written,
                                L"--working-dir", L"%SystemRoot%", L"--", program, L"lines", L"1"});
    ASSERT_EQ(installed.exitCode, 0u) << Narrow(installed.out) << Narrow(installed.err);
    EXPECT_TRUE(Holds(installed.out, L"Note: Made the log folder " + named))
        << Narrow(installed.out);
    // Wine keeps of the access list what a Unix mode holds; a folder made
    // with inherited rights would let Everyone read it.
    const std::wstring made = AccessListOf(logs);
    EXPECT_TRUE(Holds(made, L"(A;OICI;FA;;;SY)") && !Holds(made, L";WD)")) << Narrow(made);
    EXPECT_EQ(GetFileAttributesW(written.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(Holds(Setup({L"show", name_}).out, L"Note: The launcher logs into " + named));

    Start();
    ASSERT_TRUE(WaitForState(SERVICE_STOPPED, 20000)) << Seen();
    SetupRun tail = Setup({L"logs", name_});
    EXPECT_EQ(tail.exitCode, 0u) << Narrow(tail.err);
    EXPECT_TRUE(Holds(tail.out, L"\n00000000\n")) << Narrow(tail.out);
    SetupRun removed = Setup({L"remove", name_});
    EXPECT_TRUE(Holds(removed.out, L"Its log is left in " + named)) << Narrow(removed.out);
    EXPECT_EQ(GetFileAttributesW(written.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(Holds(Setup({L"install", name_, L"--log-dir", L"%NoSuchVariable%\\logs", L"--", program}).err,
                      L"The log folder [%NoSuchVariable%\\logs] names %NoSuchVariable%, which is no variable"));
    RemoveLogFolder(logs);
    RemoveLogFolder(written);
}

// The folders made above a log folder let no ordinary user add to them: were
// the log folder deleted, one could make it first, as a folder of their own
// or a link, before the launcher made it again.
TEST_F(SetupLauncher, MakesTheFoldersAboveTheLogFolderSoThatOnlyServicesMayAddToThem) {
    const std::wstring program = CopyLaunchedProgram();
    const std::wstring above = folder_ + L"\\made above", logs = above + L"\\logs";
    const SetupRun run = Setup({L"install", name_, L"--start", L"demand", L"--log-dir", logs,
                                L"--", program});
    EXPECT_EQ(run.exitCode, 0u) << Narrow(run.err);
    // Wine keeps of the access list what a Unix mode holds: a folder made
    // with the access it inherits would let Everyone read it.
    const std::wstring made = AccessListOf(above);
    EXPECT_TRUE(Holds(made, L"(A;OICI;FA;;;SY)") && !Holds(made, L";WD)")) << Narrow(made);
    RemoveLogFolder(logs);
    RemoveDirectoryW(above.c_str());
}

// A log folder that is missing at a start (an administrator deleted it) is
// made by the launcher with the list the setup program makes it with, for
// the account the launcher runs with, not with the access it would inherit.
TEST_F(SetupLauncher, TheLauncherMakesAMissingLogFolderWithTheLogFoldersAccessList) {
    const std::wstring program = CopyLaunchedProgram();
    const std::wstring logs = folder_ + L"\\logs";
    SetupRun installed = Setup({L"install", name_, L"--start", L"demand", L"--log-dir", logs,
                                L"--", program, L"lines", L"1"});
    ASSERT_EQ(installed.exitCode, 0u) << Narrow(installed.out) << Narrow(installed.err);
    ASSERT_TRUE(RemoveDirectoryW(logs.c_str())) << GetLastError();

    Start();
    ASSERT_TRUE(WaitForState(SERVICE_STOPPED, 20000)) << Seen();
    EXPECT_TRUE(Holds(Setup({L"logs", name_}).out, L"\n00000000\n"));
    const std::wstring made = AccessListOf(logs);
    EXPECT_TRUE(Holds(made, L"(A;OICI;FA;;;SY)") && !Holds(made, L";WD)")) << Narrow(made);
    RemoveLogFolder(logs);
}

// Runs the setup program's logs --follow as a child with its output in a file.
PROCESS_INFORMATION StartFollower(const std::wstring& name, const std::wstring& outPath) {
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    HANDLE out = CreateFileW(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                             CREATE_ALWAYS, 0, nullptr);
    std::wstring commandLine = L"\"" + g_setupPath + L"\" logs " + QuoteArgument(name) +
                               L" --lines 1000 --follow";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = out;
    startup.hStdError = out;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(g_setupPath.c_str(), &commandLine[0], nullptr, nullptr,
                        /*bInheritHandles=*/TRUE, 0, nullptr, nullptr, &startup, &process)) {
        ADD_FAILURE() << "CreateProcessW: " << GetLastError();
    }
    CloseHandle(out);
    return process;
}

std::string ReadShared(const std::wstring& path) {
    std::string bytes;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
    char buffer[4096];
    DWORD read = 0;
    while (file != INVALID_HANDLE_VALUE && ReadFile(file, buffer, sizeof(buffer), &read, nullptr) &&
           read > 0) {
        bytes.append(buffer, read);
    }
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    return bytes;
}

// Whether the file holds the phrase before the deadline, looked at every 50 ms.
bool WaitForText(const std::wstring& path, const std::string& phrase, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (ReadShared(path).find(phrase) == std::string::npos) {
        if (GetTickCount64() > deadline) return false;
        Sleep(50);
    }
    return true;
}

// The program's numbered lines in the text, in order, the launcher's own left out.
std::vector<unsigned long> NumberedLines(const std::string& text) {
    std::vector<unsigned long> numbers;
    std::size_t at = 0;
    for (std::size_t end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
        std::string line = text.substr(at, end - at);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.size() == 8 && line.find_first_not_of("0123456789") == std::string::npos) {
            numbers.push_back(std::stoul(line));
        }
    }
    return numbers;
}

// Two rotations between two looks: the follower finishes the file it
// followed, now output.2.log, then prints output.1.log and output.log whole.
// With nothing kept, the file followed is deleted at the rotation, and the
// new one is made at once: a file system that hands it the deleted file's
// index must not have it taken for the file followed.
TEST_F(SetupLauncher, FollowsTheLogAcrossARotation) {
    for (const wchar_t* keep : {L"5", L"0"}) {
        SCOPED_TRACE(Narrow(std::wstring(L"keep ") + keep));
        const std::wstring program = CopyLaunchedProgram();
        const std::wstring logs = folder_ + L"\\logs";
        const std::wstring release = folder_ + L"\\release";
        const std::wstring followed = folder_ + L"\\followed.txt";
        RemoveLogFolder(logs);
        DeleteFileW(release.c_str());
        // 100 lines of 9 bytes before the release, 1000 after: two rotations at 4 KiB.
        SetupRun installed = Setup({L"install", name_, L"--start", L"demand", L"--log-dir", logs,
                                    L"--log-size", L"4K", L"--log-keep", keep, L"--", program,
                                    L"lines-then", L"100", release, L"1000"});
        ASSERT_EQ(installed.exitCode, 0u) << Narrow(installed.out) << Narrow(installed.err);
        Start();
        ASSERT_TRUE(WaitForState(SERVICE_RUNNING, 20000)) << Seen();
        ASSERT_TRUE(WaitForText(CurrentLog(logs), "00000099\n", 20000));
        // Changed while it runs, the running launcher still logs where it was told.
        ASSERT_EQ(Setup({L"set", name_, L"--log-keep", L"4"}).exitCode, 0u);
        EXPECT_TRUE(Holds(Setup({L"logs", name_}).err, L" was changed after it started: "));
        PROCESS_INFORMATION follower = StartFollower(name_, followed);
        EXPECT_TRUE(WaitForText(followed, "00000099\n", 20000)) << ReadShared(followed);
        CloseHandle(CreateFileW(release.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        EXPECT_TRUE(WaitForText(followed, "00001099\n", 20000)) << ReadShared(followed);
        TerminateProcess(follower.hProcess, 0);
        WaitForSingleObject(follower.hProcess, 10000);
        CloseHandle(follower.hThread);
        CloseHandle(follower.hProcess);
        EXPECT_TRUE(WaitForState(SERVICE_STOPPED, 20000)) << Seen();

        EXPECT_EQ(GetFileAttributesW((logs + L"\\output.2.log").c_str()) != INVALID_FILE_ATTRIBUTES,
                  keep[0] != L'0');
        EXPECT_EQ(GetFileAttributesW((logs + L"\\output.3.log").c_str()), INVALID_FILE_ATTRIBUTES);
        // Nothing kept, what the files deleted held may be missed, but none of the last one.
        std::vector<unsigned long> expected(1100);
        for (unsigned long n = 0; n < expected.size(); ++n) expected[n] = n;
        const std::vector<unsigned long> printed = NumberedLines(ReadShared(followed));
        const std::size_t last = NumberedLines(ReadShared(CurrentLog(logs))).size();
        if (keep[0] == L'0' && last <= printed.size() && printed.size() <= expected.size()) {
            expected.erase(expected.begin() + (printed.size() - last), expected.end() - last);
        }
        EXPECT_EQ(printed, expected);
        EndWatching();  // the name is free again once the last handle to it closes
        EXPECT_EQ(Setup({L"remove", name_}).exitCode, 0u);
        RemoveLogFolder(logs);
        DeleteFileW(release.c_str());
        DeleteFileW(followed.c_str());
    }
}

}  // namespace
