// The setup program's apply, set and --json through the real executable
// and Wine's manager: what they write, what they print, and what they
// leave alone.
#include "e2e/setup_tool_fixture.h"

#include <nlohmann/json.hpp>

namespace {

using nlohmann::json;

// The one JSON document a run printed, or a failure if it is none.
json ParsedJson(const SetupRun& run) {
    json document = json::parse(Narrow(run.out), nullptr, /*allow_exceptions=*/false);
    EXPECT_FALSE(document.is_discarded()) << "not one JSON document:\n" << Narrow(run.out);
    return document;
}

// The text before the notes of the permission audit: under Wine, Wine's own
// user may change every file and folder, which each run notes.
std::wstring BeforeNotes(const std::wstring& out) {
    const std::size_t notes = out.find(L"\nNote: ");
    return notes == std::wstring::npos ? out : out.substr(0, notes + 1);
}

TEST_F(SetupTool, ApplyInstallsThenChangesOnlyWhatDiffersAndSetChangesOneField) {
    const std::wstring child = PrepareChild("run-forever");
    auto apply = [&](const wchar_t* stopTimeout, bool asJson) {
        std::vector<std::wstring> arguments = {L"apply", name_, L"--direct", L"--stop-timeout",
                                               stopTimeout, L"--start", L"demand"};
        if (asJson) arguments.push_back(L"--json");
        arguments.insert(arguments.end(), {L"--", child, L"one", L"two words"});
        return Setup(arguments);
    };

    // Missing: installed as install writes it, the default recovery left
    // out with a warning, as Wine's manager keeps no recovery settings' flag.
    SetupRun created = apply(L"1000", true);
    ASSERT_EQ(created.exitCode, 0u) << Narrow(created.out);
    EXPECT_EQ(created.err, L"");
    json document = ParsedJson(created);
    EXPECT_EQ(document["installed"], true);
    EXPECT_EQ(document["changed"], true);
    EXPECT_EQ(document["service"]["stopTimeoutMs"], 1000);
    EXPECT_EQ(document["service"]["program"], Narrow(child));
    EXPECT_EQ(document["service"]["arguments"], json({"one", "two words"}));
    EXPECT_EQ(document["service"]["startType"], "demand");
    EXPECT_EQ(document["service"]["recovery"]["actions"], json::array());
    ASSERT_EQ(document["warnings"].size(), 1u);
    EXPECT_EQ(Widen(document["service"]["commandLine"].get<std::string>()), StoredCommandLine());

    // The same again changes nothing, in text and in JSON.
    SetupRun again = apply(L"1000", false);
    EXPECT_EQ(again.exitCode, 0u);
    EXPECT_EQ(BeforeNotes(again.out),
              L"The service " + name_ + L" is already as asked; nothing was changed.\n");
    document = ParsedJson(apply(L"1000", true));
    EXPECT_EQ(document["changed"], false);
    EXPECT_EQ(document["changes"], json::array());

    Start();
    ASSERT_TRUE(WaitForState(SERVICE_RUNNING, 15000)) << Seen();

    // A new stop timeout while it runs: that and the pre-shutdown timeout
    // that follows it, and the words that a restart applies it.
    SetupRun changed = apply(L"2000", false);
    EXPECT_EQ(changed.exitCode, 0u) << Narrow(changed.err);
    EXPECT_EQ(BeforeNotes(changed.out),
              L"Changed the service " + name_ +
                  L":\n  stop timeout: 1000 ms -> 2000 ms\n"
                  L"  pre-shutdown timeout: 1000 ms -> 2000 ms\n"
                  L"The service is running: restart it to apply: stop timeout.\n");
    EXPECT_TRUE(Holds(StoredCommandLine(), L" 2000 "));

    // set: one field.
    SetupRun set = Setup({L"set", name_, L"--description", L"New words", L"--json"});
    EXPECT_EQ(set.exitCode, 0u) << Narrow(set.out);
    document = ParsedJson(set);
    EXPECT_EQ(document["changed"], true);
    EXPECT_EQ(document["running"], true);
    ASSERT_EQ(document["changes"].size(), 1u);
    EXPECT_EQ(document["changes"][0]["field"], "description");
    EXPECT_EQ(document["changes"][0]["old"], "Runs " + Narrow(child) + " as a service.");
    EXPECT_EQ(document["changes"][0]["new"], "New words");
    EXPECT_EQ(document["changes"][0]["needsRestart"], false);

    // show reads it all back.
    SetupRun shown = Setup({L"show", name_, L"--json"});
    EXPECT_EQ(shown.exitCode, 0u) << Narrow(shown.out);
    document = ParsedJson(shown);
    EXPECT_EQ(document["name"], Narrow(name_));
    EXPECT_EQ(document["description"], "New words");
    EXPECT_EQ(document["stopTimeoutMs"], 2000);
    EXPECT_EQ(document["preshutdownTimeoutMs"], 2000);
    EXPECT_EQ(document["wrapped"], true);
    EXPECT_EQ(document["elements"].size(), 5u);
    EXPECT_EQ(document["recovery"], nullptr);  // Wine's manager cannot report it
    EXPECT_EQ(document["status"]["state"], "running");
    EXPECT_GT(document["status"]["pid"].get<DWORD>(), 0u);
    EXPECT_EQ(document["warnings"], json::array());
    const DWORD pid = document["status"]["pid"].get<DWORD>();

    // --restart: stopped with the timeout it was started with (1000 ms),
    // started again with the one just written.
    SetupRun restarted = Setup({L"set", name_, L"--stop-timeout", L"1500", L"--restart"});
    EXPECT_EQ(restarted.exitCode, 0u) << Narrow(restarted.err);
    EXPECT_TRUE(Holds(restarted.out, L"Restarting the service " + name_ +
                                         L" to apply: stop timeout.\n"
                                         L"  stop pending: checkpoint 1, wait hint 1000 ms\n"));
    EXPECT_TRUE(Holds(restarted.out, L"Restarted the service " + name_ + L".\n"));
    document = ParsedJson(Setup({L"show", name_, L"--json"}));
    EXPECT_EQ(document["status"]["state"], "running");
    EXPECT_NE(document["status"]["pid"].get<DWORD>(), pid);

    EndWatching();
    SetupRun removed = Setup({L"remove", name_});
    EXPECT_TRUE(Holds(removed.out, L"  stop pending: checkpoint 1, wait hint 1500 ms\n"));
}

// A service that is not wrapped is refused and left exactly as it was; a
// missing one is no service to set. Failures come as JSON too.
TEST_F(SetupTool, ApplyAndSetRefuseWhatTheyCannotChangeAndTouchNothing) {
    const std::wstring child = PrepareChild("exit-now");
    const std::wstring existing = L"\"C:\\windows\\system32\\cmd.exe\" /c exit";
    InstallRaw(existing, 180000);
    const struct {
        std::vector<std::wstring> arguments;
        std::wstring reason;
    } kCases[] = {
        {{L"apply", name_, L"--", child}, L"it is not a wrapped service"},
        {{L"set", name_, L"--stop-timeout", L"5"}, L"it is not a wrapped service"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(Narrow(c.arguments[0]));
        SetupRun run = Setup(c.arguments);
        EXPECT_EQ(run.exitCode, 1u);
        EXPECT_TRUE(Holds(run.err, c.reason));
        EXPECT_TRUE(Holds(run.err, L"Nothing was"));
        EXPECT_EQ(run.out, L"");
        std::vector<std::wstring> asJson = c.arguments;
        asJson.insert(asJson.begin() + 2, L"--json");
        run = Setup(asJson);
        EXPECT_EQ(run.exitCode, 1u);
        EXPECT_EQ(run.err, L"");
        json document = ParsedJson(run);
        EXPECT_EQ(document["changed"], false);
        EXPECT_TRUE(Holds(Widen(document["error"]["message"].get<std::string>()), c.reason));
        EXPECT_EQ(document["error"]["code"], nullptr);
        EXPECT_EQ(StoredCommandLine(), existing);
    }
    EXPECT_TRUE(RemoveService(manager_, name_, 15000));
    SetupRun run = Setup({L"set", name_, L"--json", L"--description", L"x"});
    EXPECT_EQ(run.exitCode, 1u);
    json document = ParsedJson(run);
    EXPECT_EQ(document["error"]["code"], ERROR_SERVICE_DOES_NOT_EXIST);
    EXPECT_FALSE(document["error"]["text"].get<std::string>().empty());
    EXPECT_EQ(StoredCommandLine(), L"");
}

// A bare name is looked up once, by install, and the full path found is
// what the service runs; the stored command line shows it.
TEST_F(SetupTool, InstallWritesABareNameAsTheFullPathFound) {
    wchar_t found[MAX_PATH] = {};
    ASSERT_NE(SearchPathW(nullptr, L"ping.exe", nullptr, MAX_PATH, found, nullptr), 0u);
    // A ping.exe of its own in the installer's current folder is not the
    // one the service would run.
    const std::wstring decoy = folder_ + L"\\ping.exe";
    ASSERT_TRUE(CopyFileW(g_testChildPath.c_str(), decoy.c_str(), FALSE));
    wchar_t current[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, current);
    SetCurrentDirectoryW(folder_.c_str());
    SetupRun run = Setup({L"install", name_, L"--direct", L"--start", L"demand", L"--json",
                          L"--depends-on", L"no-such-service-anywhere", L"--", L"ping.exe", L"-n",
                          L"1"});
    SetCurrentDirectoryW(current);
    DeleteFileW(decoy.c_str());
    ASSERT_EQ(run.exitCode, 0u) << Narrow(run.out);
    json document = ParsedJson(run);
    EXPECT_TRUE(Holds(Widen(document["notes"].dump()), L"found in the system folder"));
    EXPECT_TRUE(Holds(Widen(document["warnings"].dump()),
                      L"no-such-service-anywhere], which does not exist"));
    // Wine's manager does not give the dependencies back.
    EXPECT_TRUE(Holds(Setup({L"show", name_}).out,
                      L"  dependencies    unknown: the service control manager cannot report it"));
    EXPECT_EQ(document["service"]["program"], Narrow(found));
    EXPECT_TRUE(Holds(StoredCommandLine(), L" \"" + std::wstring(found) + L"\" "));
    EXPECT_FALSE(Holds(StoredCommandLine(), L" ping.exe"));

    // The name is taken now: the failure's document names the error.
    run = Setup({L"install", name_, L"--json", L"--", L"ping.exe"});
    EXPECT_EQ(run.exitCode, 1u);
    document = ParsedJson(run);
    EXPECT_EQ(document["installed"], false);
    EXPECT_EQ(document["error"]["code"], ERROR_SERVICE_EXISTS);
    EXPECT_TRUE(Holds(Widen(document["error"]["message"].get<std::string>()),
                      L"cannot create the service. Windows error 1073"));
    EXPECT_FALSE(document["error"]["text"].get<std::string>().empty());
}

// A path with %NAME% references is judged as the manager will start it,
// with the system's variables: a name of no variable, or a file that could
// not run, is refused, and show warns of the same on a service made by hand.
TEST_F(SetupTool, RefusesAReferencedProgramThatCouldNotStart) {
    const std::wstring child = PrepareChild("run-forever");
    ASSERT_EQ(child.substr(0, 2), L"C:");
    const std::wstring notAProgram = folder_ + L"\\not a program.exe";
    WriteTextFile(notAProgram, "text");
    const struct {
        std::wstring program;
        const wchar_t* phrase;
    } kRefused[] = {
        {L"%NoSuchVariableHere%" + child.substr(2),
         L"names %NoSuchVariableHere%, which is no variable of the system's"},
        {L"%SystemDrive%" + notAProgram.substr(2), L"is not a Windows program"},
    };
    for (const auto& c : kRefused) {
        SetupRun run = Setup({L"install", name_, L"--direct", L"--", c.program});
        EXPECT_EQ(run.exitCode, 1u);
        EXPECT_TRUE(Holds(run.err, c.phrase));
        EXPECT_EQ(StoredCommandLine(), L"");
    }
    DeleteFileW(notAProgram.c_str());
    InstallRaw(BuildBinaryPath(g_wrapperPath, {L"1000", L"%NoSuchVariableHere%\\p.exe"}), 1000);
    SetupRun shown = Setup({L"show", name_});
    EXPECT_EQ(shown.exitCode, 3u) << Narrow(shown.out);
    EXPECT_TRUE(Holds(shown.out, L"Warning: The program [%NoSuchVariableHere%\\p.exe] names "
                                 L"%NoSuchVariableHere%"));
}

// Written as given, the references are replaced by the manager at each
// start, in the wrapper's path too: the program runs from the path they give.
TEST_F(SetupTool, WritesReferencedPathsAsGivenAndTheServiceRunsWhatTheyName) {
    const std::wstring child = PrepareChild("run-forever");
    ASSERT_EQ(child.substr(0, 2), L"C:");
    ASSERT_EQ(g_wrapperPath.substr(0, 2), L"C:");
    const std::wstring wrapper = L"%SystemDrive%" + g_wrapperPath.substr(2);
    const std::wstring given = L"%SystemDrive%" + child.substr(2);
    SetupRun run = Setup({L"install", name_, L"--direct", L"--wrapper", wrapper,
                          L"--stop-timeout", L"1000", L"--start", L"demand", L"--", given,
                          L"%windir%"});
    ASSERT_EQ(run.exitCode, 0u) << Narrow(run.err);
    EXPECT_TRUE(Holds(run.out, L"is written as given: the service control manager replaces its "
                               L"%NAME% references"));
    EXPECT_EQ(StoredCommandLine(),
              L"\"" + wrapper + L"\" 1000 \"" + given + L"\" \"%windir%\"");
    Start();
    ASSERT_TRUE(WaitForState(SERVICE_RUNNING, 15000)) << Seen();
    ChildRecord record;
    ASSERT_TRUE(WaitForRecord(record, 5000)) << Seen();
    wchar_t windows[MAX_PATH] = {};
    GetWindowsDirectoryW(windows, MAX_PATH);
    EXPECT_EQ(record.argv, (std::vector<std::wstring>{child, windows}));
    EXPECT_EQ(Setup({L"show", name_}).exitCode, 0u);
}

// A program that ends by itself with a non-zero code leaves the service
// stopped with 1066 and that code, which show explains in words.
TEST_F(SetupTool, ShowExplainsTheExitCodeOfAProgramThatFailed) {
    const struct {
        DWORD programExitCode;
        std::wstring explanation;
    } kCases[] = {
        {7, L"1066: the program ended with its own exit code 7 (0x00000007), which as a Windows "
            L"error reads: "},
        {0xC0000005, L"1066: the program crashed: it ended with status 3221225477 (0xC0000005), "},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.programExitCode);
        Install({L"1000", PrepareChild("run-until-released")});
        Start();
        ASSERT_TRUE(WaitForState(SERVICE_RUNNING, 15000)) << Seen();
        ChildRecord record;
        ASSERT_TRUE(WaitForRecord(record, 10000)) << Seen();
        ReleaseChild(c.programExitCode);
        ASSERT_TRUE(WaitForState(SERVICE_STOPPED, 15000)) << Seen();
        SetupRun shown = Setup({L"show", name_});
        EXPECT_TRUE(Holds(shown.out, L"  last exit code  " + c.explanation)) << Narrow(shown.out);
        json document = ParsedJson(Setup({L"show", name_, L"--json"}));
        EXPECT_EQ(document["status"]["state"], "stopped");
        EXPECT_EQ(document["status"]["exitCode"], 1066);
        EXPECT_EQ(document["status"]["serviceSpecificExitCode"], c.programExitCode);
        EXPECT_TRUE(Holds(Widen(document["status"]["exitCodeText"].get<std::string>()),
                          c.explanation));
    }
}

}  // namespace
