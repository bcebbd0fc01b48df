// The setup program as a person uses it: install, show and remove through
// the real executable, with what it prints and the exit code it gives.
#include "e2e/setup_tool_fixture.h"

#include <nlohmann/json.hpp>

#include "wrapper_version.h"

namespace {

using nlohmann::json;

const std::vector<std::wstring> kHardArguments = {
    L"with space",    L"",
    L"trailing\\",    L"two trailing\\\\",
    L"\"quoted\"",    L"a\"b",
    L"back\\\"slash", L"\\",
    L"tab\there",     L"  padded  ",
    L"--start",       L"\u00fcn\u00efc\u00f8d\u00e9 \u65e5\u672c\u8a9e \U0001F600",
};

TEST_F(SetupTool, InstallsShowsAndRemovesAServiceWhoseProgramGetsItsArgumentsExactly) {
    const std::wstring child = PrepareChild("run-forever");
    std::vector<std::wstring> install = {
        L"install", name_,     L"--direct", L"--stop-timeout", L"1000",
        L"--start", L"demand", L"--display-name", L"Setup \u00e9 test",
        L"--"};
    install.push_back(child);
    install.insert(install.end(), kHardArguments.begin(), kHardArguments.end());
    SetupRun installed = Setup(install);
    ASSERT_EQ(installed.exitCode, 0u) << Narrow(installed.err);
    EXPECT_EQ(installed.err, L"");
    EXPECT_TRUE(Holds(installed.out, L"  2  program       [" + child + L"]\n"));
    // Wine's manager keeps no recovery settings' flag: the default recovery
    // is left out with a warning, and the service works all the same.
    EXPECT_TRUE(Holds(installed.out, L"  recovery        none: Windows will not restart"));
    EXPECT_TRUE(Holds(installed.out, L"A stop gives the program 1000 ms to end by itself, then "
                                     L"ends it.\n"));
    EXPECT_TRUE(Holds(installed.out, L"Warning: The service control manager does not keep the "
                                     L"recovery settings (it answers Windows error 124"));

    Start();
    ASSERT_TRUE(WaitForState(SERVICE_RUNNING, 15000)) << Seen();
    ChildRecord record;
    ASSERT_TRUE(WaitForRecord(record, 5000)) << Seen();
    std::vector<std::wstring> expected = {child};
    expected.insert(expected.end(), kHardArguments.begin(), kHardArguments.end());
    EXPECT_EQ(record.argv, expected) << Narrow(record.commandLine);

    SetupRun shown = Setup({L"show", name_});
    EXPECT_EQ(shown.exitCode, 0u) << Narrow(shown.out);
    EXPECT_TRUE(Holds(shown.out, L"  display name    Setup \u00e9 test\n"));
    EXPECT_TRUE(Holds(shown.out, L"  state           running, pid "));
    EXPECT_TRUE(Holds(shown.out, L"  last exit code  0: clean"));
    EXPECT_TRUE(Holds(shown.out, L"  start           demand\n"));
    EXPECT_TRUE(Holds(shown.out, L"  pre-shutdown    1000 ms\n"));
    EXPECT_TRUE(Holds(shown.out, L"  1  stop timeout  [1000]\n"));
    // The listing marks a tab so that it shows; the program got it as it is.
    for (std::wstring argument : kHardArguments) {
        for (std::size_t tab = argument.find(L'\t'); tab != std::wstring::npos; tab = argument.find(L'\t')) {
            argument.replace(tab, 1, L"<TAB>");
        }
        EXPECT_TRUE(Holds(shown.out, L"argument      [" + argument + L"]\n"));
    }
    EXPECT_FALSE(Holds(shown.out, L"Warning"));
    // install printed the same elements as show reads back from the manager.
    const std::wstring printed = installed.out.substr(installed.out.find(L"Its elements"));
    EXPECT_TRUE(Holds(shown.out, printed.substr(0, printed.find(L"Start it with"))));

    EndWatching();
    SetupRun removed = Setup({L"remove", name_});
    EXPECT_EQ(removed.exitCode, 0u) << Narrow(removed.err);
    EXPECT_TRUE(Holds(removed.out, L"  stop pending: checkpoint 1, wait hint 1000 ms\n"));
    EXPECT_TRUE(Holds(removed.out, L"  stopped, exit code 0"));
    EXPECT_TRUE(Holds(removed.out, L"Removed the service " + name_ + L".\n"));
    EXPECT_EQ(StoredCommandLine(), L"");
    EXPECT_TRUE(ProcessesNamed(FileName(child)).empty());

    SetupRun again = Setup({L"remove", name_});
    EXPECT_EQ(again.exitCode, 1u);
    EXPECT_TRUE(Holds(again.err, L"there is no service of that name. Windows error 1060"));
}

// Each refusal says why, and no service of the name is left, or the one
// that was there already is left as it was.
TEST_F(SetupTool, RefusesAnInstallThatCannotWorkAndLeavesNothing) {
    const std::wstring child = PrepareChild("exit-now");
    const std::wstring existing = L"\"C:\\windows\\system32\\cmd.exe\" /c exit";
    const struct {
        const char* what;
        std::vector<std::wstring> options;
        std::wstring program;
        DWORD exitCode;
        std::wstring reason;
        bool nameTaken;
    } kCases[] = {
        {"timeout with a unit",
         {L"--stop-timeout", L"5000ms"},
         child,
         2,
         L"--stop-timeout takes a whole number of milliseconds",
         false},
        {"timeout past 32 bits",
         {L"--stop-timeout", L"4294967296"},
         child,
         2,
         L"\"4294967296\" is not one",
         false},
        {"missing program",
         {},
         folder_ + L"\\no such program.exe",
         1,
         L"cannot be found. Windows error 2",
         false},
        {"quotation mark in the program",
         {},
         child + L"\" \"--injected",
         1,
         L"holds a quotation mark",
         false},
        {"relative program", {}, L"child folder\\x.exe", 1, L"is not a full path", false},
        {"bare name not on the search path",
         {},
         L"no-such-program-anywhere",
         1,
         L"is found on the search path",
         false},
        {"missing wrapper",
         {L"--wrapper", folder_ + L"\\service-wrapper.exe"},
         child,
         1,
         L"the wrapper [" + folder_ + L"\\service-wrapper.exe] cannot be found",
         false},
        // Wine keeps no delayed start: the step after the creation fails and
        // the service is deleted again.
        {"delayed start refused",
         {L"--start", L"delayed-auto"},
         child,
         1,
         L"cannot set the delayed automatic start. Windows error 124",
         false},
        {"existing name", {}, child, 1, L"cannot create the service. Windows error 1073", true},
        {"a folder as the program", {}, folder_, 1, L"the program [" + folder_ + L"] is a folder.",
         false},
        // Recovery asked for by name that the manager cannot keep fails the
        // install, which is undone.
        {"recovery asked for",
         {L"--restart-on-failure", L"5000"},
         child,
         1,
         L"does not keep the recovery settings' flag that makes a non-zero exit code count as a "
         L"failure. Windows error 124",
         false},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.what);
        if (c.nameTaken) InstallRaw(existing, 180000);
        std::vector<std::wstring> arguments = {L"install", name_, L"--direct"};
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        arguments.insert(arguments.end(), {L"--", c.program, L"x"});
        SetupRun run = Setup(arguments);
        EXPECT_EQ(run.exitCode, c.exitCode);
        EXPECT_TRUE(Holds(run.err, c.reason));
        EXPECT_EQ(run.out, L"");
        EXPECT_EQ(bool(Holds(run.err, L"for how to use it.")), c.exitCode == 2);
        if (c.nameTaken) {
            EXPECT_EQ(StoredCommandLine(), existing);
            EXPECT_TRUE(RemoveService(manager_, name_, 15000));
        } else {
            EXPECT_EQ(StoredCommandLine(), L"");
        }
    }
}

// Services made by hand, as show finds them.
TEST_F(SetupTool, ShowWarnsAboutWhatCannotWorkOrIsUnsafe) {
    const std::wstring child = PrepareChild("exit-now");
    const std::wstring wrapperCopy = folder_ + L"\\service-wrapper.exe";
    ASSERT_TRUE(CopyFileW(g_wrapperPath.c_str(), wrapperCopy.c_str(), /*bFailIfExists=*/FALSE));
    const std::wstring wrapper = QuoteArgument(wrapperCopy);
    const std::wstring missing = folder_ + L"\\missing.exe";
    const struct {
        const char* what;
        std::wstring binaryPath;
        DWORD preshutdownMs;
        bool start;
        DWORD exitCode;
        std::vector<std::wstring> phrases;
    } kCases[] = {
        {"sound",
         wrapper + L" 1000 " + QuoteArgument(child),
         1000,
         false,
         0,
         {L"  2  program       [" + child + L"]\n", L"last exit code  1077"}},
        {"unquoted path holding a space",
         wrapperCopy + L" 1000 " + QuoteArgument(child),
         1000,
         false,
         3,
         {L"Warning: The program's path at the start of the command line is not in quotation "
          L"marks",
          // Still a wrapped service, which the wrapper's own splitting misreads.
          L"Warning: The wrapper reads its own path only up to the first blank"}},
        {"timeout the wrapper refuses",
         wrapper + L" abc " + QuoteArgument(child),
         1000,
         false,
         3,
         {L"Warning: Element 1 [abc] is not a stop timeout"}},
        {"pre-shutdown timeout apart",
         wrapper + L" 1000 " + QuoteArgument(child),
         777,
         false,
         3,
         {L"Warning: The pre-shutdown timeout is 777 ms but the stop timeout is 1000 ms"}},
        {"pre-shutdown timeout longer",
         wrapper + L" 1000 " + QuoteArgument(child),
         5000,
         false,
         3,
         {L"Warning: The pre-shutdown timeout is 5000 ms but the stop timeout is 1000 ms"}},
        {"missing program, started",
         wrapper + L" 1000 " + QuoteArgument(missing),
         1000,
         true,
         3,
         {L"last exit code  2: the program was not found",
          L"Warning: The program [" + missing + L"] does not exist."}},
        {"missing program behind the launcher",
         wrapper + L" 1000 " + QuoteArgument(g_launcherPath) + L" -- " + QuoteArgument(missing),
         1000,
         false,
         3,
         {L"  2  launcher      [", L"Warning: The program [" + missing + L"] does not exist."}},
        {"not a wrapped service",
         L"\"C:\\windows\\system32\\cmd.exe\" /c exit",
         1000,
         false,
         0,
         {L"Note: This is not a wrapped service",
          L"  0  program       [C:\\windows\\system32\\cmd.exe]\n"}},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.what);
        InstallRaw(c.binaryPath, c.preshutdownMs);
        if (c.start) {
            Start();
            ASSERT_TRUE(WaitForState(SERVICE_STOPPED, 15000)) << Seen();
        }
        SetupRun run = Setup({L"show", name_});
        EXPECT_EQ(run.exitCode, c.exitCode) << Narrow(run.out);
        EXPECT_TRUE(Holds(run.out, L"The command line, as stored:\n  " + c.binaryPath + L"\n"));
        for (const std::wstring& phrase : c.phrases) EXPECT_TRUE(Holds(run.out, phrase));
        EXPECT_EQ(bool(Holds(run.out, L"Warning:")), c.exitCode != 0);
    }
    EndWatching();
    DeleteFileW(wrapperCopy.c_str());
}

TEST_F(SetupTool, PrintsUsageForHelpAndOnTheErrorStreamForAMistake) {
    const struct {
        std::vector<std::wstring> arguments;
        DWORD exitCode;
        std::wstring text;  // the start of what is printed
    } kCases[] = {
        {{}, 0, L"Usage:\n  service-wrapper-setup install <name>"},
        {{L"help"}, 0, L"Usage:\n  service-wrapper-setup install <name>"},
        {{L"--help"}, 0, L"Usage:\n  service-wrapper-setup install <name>"},
        {{L"/?"}, 0, L"Usage:\n  service-wrapper-setup install <name>"},
        {{L"help", L"remove"}, 0, L"Usage: service-wrapper-setup remove <name> [--no-wait]"},
        {{L"install", L"x", L"-h", L"--", L"p"}, 0, L"Usage: service-wrapper-setup install <name>"},
        {{L"--version"}, 0, L"service-wrapper-setup " + Widen(WRAPPER_VERSION_STRING) + L"\n"},
        {{L"frobnicate"}, 2,
         L"service-wrapper-setup: there is no command \"frobnicate\"; the commands are"},
        {{L"show"}, 2,
         L"service-wrapper-setup: show needs the service's name.\n"
         L"Run service-wrapper-setup help show for how to use it.\n"},
        {{L"install", L"x", L"--bogus", L"1", L"--", L"p"}, 2,
         L"service-wrapper-setup: install has no option --bogus.\n"
         L"Run service-wrapper-setup help install for how to use it.\n"},
        {{L"install", L"x", L"--bogus=1", L"--", L"p"}, 2,
         L"service-wrapper-setup: install has no option --bogus."},
        // -- is never taken as the service's name.
        {{L"install", L"--", L"p"}, 2, L"service-wrapper-setup: install needs the service's name."},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(testing::PrintToString(c.arguments));
        SetupRun run = Setup(c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode);
        const std::wstring& answerStream = c.exitCode == 0 ? run.out : run.err;
        const std::wstring& otherStream = c.exitCode == 0 ? run.err : run.out;
        EXPECT_EQ(answerStream.find(c.text), 0u) << Narrow(answerStream);
        // A mistake is one line and the pointer, not the whole usage.
        if (c.exitCode == 2) EXPECT_FALSE(Holds(answerStream, L"Exit codes:"));
        EXPECT_EQ(otherStream, L"");
    }
    json version = json::parse(Narrow(Setup({L"--version", L"--json"}).out));
    EXPECT_EQ(version["version"], WRAPPER_VERSION_STRING);
}

}  // namespace
