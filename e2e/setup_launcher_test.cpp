// The setup program's launcher settings through the real executable: the
// launcher written by default, its log folder made, show, apply and set of
// its settings, --direct, and logs reading what the launcher wrote.
#include "e2e/setup_tool_fixture.h"

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

TEST_F(SetupTool, WritesTheLauncherByDefaultAndReadsItsSettingsAndLogBack) {
    const std::wstring program = folder_ + L"\\launched.exe";
    ASSERT_TRUE(CopyFileW(g_launchedProgramPath.c_str(), program.c_str(), FALSE)) << GetLastError();
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
    EXPECT_TRUE(Holds(installed.out, L"  2  program       [" + g_launcherPath + L"]\n"));
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

}  // namespace
