// start, stop, restart, status, list and remove through the real setup
// program, as a script drives them: exit codes, the lines printed, and each
// --json document parsed back and its fields checked.
#include "e2e/setup_tool_fixture.h"

#include <algorithm>

#include <nlohmann/json.hpp>

namespace {

using nlohmann::json;

class SetupState : public SetupTool {
protected:
    // The run's JSON document; a failure if standard output is not one.
    json Document(const SetupRun& run) {
        json document = json::parse(Narrow(run.out), nullptr, /*allow_exceptions=*/false);
        EXPECT_FALSE(document.is_discarded()) << Narrow(run.out);
        EXPECT_EQ(run.err, L"") << "--json keeps the error stream empty";
        return document;
    }
};

TEST_F(SetupState, StartsStopsRestartsAndTellsTheStateWithExitCodesForScripts) {
    const std::wstring child = PrepareChild("run-forever");
    SetupRun installed = Setup({L"install", name_, L"--direct", L"--stop-timeout", L"1000", L"--start",
                                L"demand", L"--", child});
    ASSERT_EQ(installed.exitCode, 0u) << Narrow(installed.err);

    SetupRun status = Setup({L"status", name_});
    EXPECT_EQ(status.exitCode, 3u);
    EXPECT_TRUE(Holds(status.out, name_ + L": stopped; last exit code 1077"));

    SetupRun started = Setup({L"start", name_});
    EXPECT_EQ(started.exitCode, 0u) << Narrow(started.err);
    EXPECT_TRUE(Holds(started.out, L"Starting the service " + name_ + L"...\n"
                                   L"  start pending: checkpoint 1, wait hint 10000 ms\n"
                                   L"Started the service " + name_ + L": running, pid "));
    SetupRun again = Setup({L"start", name_});
    EXPECT_EQ(again.exitCode, 0u);
    EXPECT_TRUE(Holds(again.out, L"The service " + name_ + L" is already running, pid "));

    json running = Document(Setup({L"status", name_, L"--json"}));
    EXPECT_EQ(running["name"], Narrow(name_));
    EXPECT_EQ(running["status"]["state"], "running");
    const unsigned firstPid = running["status"]["pid"];
    EXPECT_NE(firstPid, 0u);
    EXPECT_EQ(Setup({L"status", name_}).out,
              name_ + L": running, pid " + std::to_wstring(firstPid) + L"\n");

    SetupRun restartRun = Setup({L"restart", name_, L"--json"});
    EXPECT_EQ(restartRun.exitCode, 0u);
    json restarted = Document(restartRun);
    EXPECT_EQ(restarted["stop"]["alreadyStopped"], false);
    EXPECT_EQ(restarted["stop"]["pendingReports"][0],
              json({{"state", "stopping"}, {"checkPoint", 1}, {"waitHintMs", 1000}}));
    EXPECT_EQ(restarted["stop"]["status"]["state"], "stopped");
    EXPECT_EQ(restarted["stop"]["status"]["exitCode"], 0);
    EXPECT_EQ(restarted["start"]["alreadyRunning"], false);
    EXPECT_EQ(restarted["start"]["pendingReports"][0]["state"], "starting");
    EXPECT_EQ(restarted["start"]["status"]["state"], "running");
    EXPECT_NE(restarted["start"]["status"]["pid"], firstPid);
    EXPECT_FALSE(restarted.contains("error"));

    // The program ignores the stop: the wrapper ends it after the timeout.
    SetupRun stopped = Setup({L"stop", name_});
    EXPECT_EQ(stopped.exitCode, 0u) << Narrow(stopped.err);
    EXPECT_TRUE(Holds(stopped.out, L"Stopping the service " + name_ + L"...\n"
                                   L"  stop pending: checkpoint 1, wait hint 1000 ms\n"));
    EXPECT_TRUE(Holds(stopped.out, L"  stopped, exit code 0: clean"));
    EXPECT_TRUE(Holds(stopped.out, L"Stopped the service " + name_ + L".\n"));
    EXPECT_TRUE(ProcessesNamed(FileName(child)).empty());

    SetupRun stopAgain = Setup({L"stop", name_, L"--json"});
    EXPECT_EQ(stopAgain.exitCode, 0u);
    json alreadyStopped = Document(stopAgain);
    EXPECT_EQ(alreadyStopped["alreadyStopped"], true);
    EXPECT_EQ(alreadyStopped["pendingReports"], json::array());
    EXPECT_EQ(Setup({L"status", name_}).exitCode, 3u);
}

TEST_F(SetupState, ReportsAMissingServiceAndAProgramThatCannotBeFound) {
    const struct {
        std::vector<std::wstring> arguments;
        DWORD exitCode;
    } kMissing[] = {
        {{L"status"}, 4}, {{L"start"}, 1}, {{L"stop"}, 1}, {{L"restart"}, 1}, {{L"remove"}, 1},
    };
    for (const auto& c : kMissing) {
        SCOPED_TRACE(Narrow(c.arguments[0]));
        std::vector<std::wstring> arguments = c.arguments;
        arguments.push_back(L"no-such-service-anywhere");
        SetupRun text = Setup(arguments);
        EXPECT_EQ(text.exitCode, c.exitCode);
        EXPECT_EQ(text.out, L"");
        EXPECT_TRUE(Holds(text.err, L"there is no service of that name. Windows error 1060"));
        arguments.push_back(L"--json");
        SetupRun run = Setup(arguments);
        EXPECT_EQ(run.exitCode, c.exitCode);
        json document = Document(run);
        EXPECT_EQ(document["name"], "no-such-service-anywhere");
        EXPECT_EQ(document["error"]["code"], 1060);
        EXPECT_EQ(document["error"]["message"], Narrow(text.err.substr(0, text.err.size() - 1)));
        EXPECT_TRUE(document["error"]["text"].is_string());
    }

    // A mistake in the command line, with --json: where to read on for the
    // person, the mistake as a document for the script.
    SetupRun mistake = Setup({L"status", L"--json"});
    EXPECT_EQ(mistake.exitCode, 2u);
    EXPECT_TRUE(Holds(mistake.err, L"Run service-wrapper-setup help status for how to use it."));
    json usage = json::parse(Narrow(mistake.out));
    EXPECT_TRUE(usage["error"]["code"].is_null());
    EXPECT_TRUE(usage["error"]["message"].is_string());

    Install({L"1000", folder_ + L"\\no such program.exe"});
    SetupRun started = Setup({L"start", name_});
    EXPECT_EQ(started.exitCode, 1u);
    EXPECT_TRUE(Holds(started.err, L"Cannot start the service " + name_ +
                                       L": it stopped again, with exit code 2: the program was "
                                       L"not found.\n"));
    json failed = Document(Setup({L"start", name_, L"--json"}));
    EXPECT_EQ(failed["status"]["state"], "stopped");
    EXPECT_EQ(failed["status"]["exitCode"], 2);
    EXPECT_EQ(failed["status"]["exitCodeText"], "2: the program was not found");
    EXPECT_EQ(failed["error"]["code"], 2);
    SetupRun status = Setup({L"status", name_});
    EXPECT_EQ(status.exitCode, 3u);
    EXPECT_EQ(status.out, name_ + L": stopped; last exit code 2: the program was not found\n");

    // Through the launcher the service runs before the program is looked
    // for: start waits for the program, and sees the service stop instead.
    InstallRaw(QuoteArgument(g_wrapperPath) + L" 1000 " + QuoteArgument(g_launcherPath) + L" -- " +
                   QuoteArgument(folder_ + L"\\no such program.exe"),
               1000);
    SetupRun launched = Setup({L"start", name_});
    EXPECT_EQ(launched.exitCode, 1u);
    EXPECT_TRUE(Holds(launched.err, L"it stopped again, with exit code 1066: the program, or the "
                                    L"launcher that runs it, ended with exit code 2"));

    // A batch file runs in the command interpreter: start finds it there and
    // says the service runs, long before the program behind it ends.
    const std::wstring batch = folder_ + L"\\runs a while.cmd";
    WriteTextFile(batch, "@" + Narrow(QuoteArgument(PrepareChild("exit-after 5000"))) + "\r\n");
    InstallRaw(QuoteArgument(g_wrapperPath) + L" 1000 " + QuoteArgument(g_launcherPath) + L" -- " +
                   QuoteArgument(batch),
               1000);
    SetupRun batchStarted = Setup({L"start", name_});
    EXPECT_EQ(batchStarted.exitCode, 0u) << Narrow(batchStarted.err);
    EXPECT_EQ(Setup({L"stop", name_}).exitCode, 0u);

    // A file that is no program: the platform's words name it in place of
    // their insert (Windows and Wine word them differently).
    const std::wstring notAProgram = folder_ + L"\\not a program.exe";
    WriteTextFile(notAProgram, "text");
    Install({L"1000", notAProgram});
    SetupRun bad = Setup({L"start", name_});
    EXPECT_EQ(bad.exitCode, 1u);
    EXPECT_TRUE(Holds(bad.err, L"it stopped again, with exit code 193: "));
    EXPECT_TRUE(Holds(bad.err, notAProgram));
    EXPECT_FALSE(Holds(bad.err, L"%1"));
    EXPECT_FALSE(Holds(bad.err, L".."));
    DeleteFileW(notAProgram.c_str());
}

TEST_F(SetupState, ListsWrappedServicesInAnyFolderAndLetterCaseAndNoOthers) {
    UseServices(3);
    const std::wstring child = PrepareChild("run-forever", 1);
    const std::wstring otherWrapper = folder_ + L"\\Other Folder\\SERVICE-WRAPPER.EXE";
    CreateDirectoryW((folder_ + L"\\Other Folder").c_str(), nullptr);
    ASSERT_TRUE(CopyFileW(g_wrapperPath.c_str(), otherWrapper.c_str(), FALSE));
    InstallRaw(BuildBinaryPath(otherWrapper, {L"1000", L"C:\\nowhere\\u.exe", L"-v"}), 1000, 0);
    Install({L"1000", child}, 1);
    InstallRaw(L"\"C:\\windows\\system32\\cmd.exe\" /c exit", 1000, 2);
    StartTogether({0, 1});  // service 0 stops at once: its program is missing
    ASSERT_TRUE(WaitForState(SERVICE_RUNNING, 15000, 1)) << Seen(1);

    SetupRun listed = Setup({L"list"});
    EXPECT_EQ(listed.exitCode, 0u) << Narrow(listed.err);
    EXPECT_TRUE(Holds(listed.out, L"NAME "));
    EXPECT_TRUE(Holds(listed.out, L"  STATE    PROGRAM\n"));
    EXPECT_TRUE(Holds(listed.out, ServiceName(0) + L"    stopped  C:\\nowhere\\u.exe\n"));
    EXPECT_TRUE(Holds(listed.out, ServiceName(1) + L"  running  " + child + L"\n"));
    EXPECT_FALSE(Holds(listed.out, ServiceName(2)));

    SetupRun run = Setup({L"list", L"--json"});
    EXPECT_EQ(run.exitCode, 0u);
    json document = Document(run);
    std::vector<std::string> names;
    for (const json& service : document["services"]) {
        names.push_back(service["name"]);
        if (service["name"] == Narrow(ServiceName(0))) {
            EXPECT_EQ(service["wrapperPath"], Narrow(otherWrapper));
            EXPECT_EQ(service["program"], "C:\\nowhere\\u.exe");
            EXPECT_EQ(service["arguments"], json({"-v"}));
            EXPECT_EQ(service["stopTimeoutMs"], 1000);
            EXPECT_EQ(service["state"], "stopped");
        }
        if (service["name"] == Narrow(ServiceName(1))) {
            EXPECT_EQ(service["state"], "running");
            EXPECT_NE(service["pid"], 0);
        }
    }
    std::sort(names.begin(), names.end());
    EXPECT_TRUE(std::binary_search(names.begin(), names.end(), Narrow(ServiceName(0))));
    EXPECT_TRUE(std::binary_search(names.begin(), names.end(), Narrow(ServiceName(1))));
    EXPECT_FALSE(std::binary_search(names.begin(), names.end(), Narrow(ServiceName(2))));
    EXPECT_EQ(document["unread"], json::array());
    EndWatching(0);
    DeleteFileW(otherWrapper.c_str());
}

TEST_F(SetupState, RemoveFollowsTheStopAndDeletesAsOneDocument) {
    PrepareChild("run-forever");
    Install({L"1000", childPath_});
    Start();
    ASSERT_TRUE(WaitForState(SERVICE_RUNNING, 15000)) << Seen();
    EndWatching();

    SetupRun run = Setup({L"remove", name_, L"--json"});
    EXPECT_EQ(run.exitCode, 0u);
    json document = Document(run);
    EXPECT_EQ(document["removed"], true);
    EXPECT_EQ(document["recovery"], "cleared");
    EXPECT_EQ(document["stop"]["alreadyStopped"], false);
    EXPECT_EQ(document["stop"]["pendingReports"][0]["checkPoint"], 1);
    EXPECT_EQ(document["stop"]["status"]["state"], "stopped");
    EXPECT_EQ(document["stop"]["status"]["exitCodeText"],
              "0: clean: the program ended by itself, or was stopped");
    EXPECT_TRUE(WaitUntilGone(5000)) << Narrow(StoredCommandLine());
    EXPECT_TRUE(ProcessesNamed(FileName(childPath_)).empty());
}

// Every value under a service's registry key and its subkeys, type and bytes,
// as one text: two equal snapshots mean nothing of the service changed.
static std::string RegistrySnapshot(HKEY parent, const std::wstring& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(parent, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return "absent";
    std::string snapshot;
    for (DWORD i = 0;; ++i) {
        wchar_t name[512];
        BYTE data[8192];
        DWORD nameLength = 512, type = 0, size = sizeof(data);
        if (RegEnumValueW(key, i, name, &nameLength, nullptr, &type, data, &size) != ERROR_SUCCESS) {
            break;
        }
        snapshot += Narrow(name) + ":" + std::to_string(type) + "=" +
                    std::string(reinterpret_cast<char*>(data), size) + "\n";
    }
    for (DWORD i = 0;; ++i) {
        wchar_t name[512];
        DWORD nameLength = 512;
        if (RegEnumKeyExW(key, i, name, &nameLength, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        snapshot += "[" + Narrow(name) + "]\n" + RegistrySnapshot(key, name);
    }
    RegCloseKey(key);
    return snapshot;
}

// A service that does not start service-wrapper.exe (here the wrapper under
// another name, running) is no service of this program: remove refuses it,
// says how to delete it on purpose, and leaves it as it was, running.
TEST_F(SetupState, RemoveRefusesAServiceItDidNotMakeAndLeavesItAsItWas) {
    PrepareChild("run-forever");
    const std::wstring other = folder_ + L"\\other service.exe";
    ASSERT_TRUE(CopyFileW(g_wrapperPath.c_str(), other.c_str(), FALSE));
    InstallRaw(BuildBinaryPath(other, {L"1000", childPath_}), 1000);
    Start();
    ASSERT_TRUE(WaitForState(SERVICE_RUNNING, 15000)) << Seen();
    const std::wstring key = L"SYSTEM\\CurrentControlSet\\Services\\" + name_;
    const std::string before = RegistrySnapshot(HKEY_LOCAL_MACHINE, key);
    ASSERT_NE(before, "absent");
    const DWORD pid = QueryStatus(manager_, name_).dwProcessId;

    SetupRun run = Setup({L"remove", name_});
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_EQ(run.out, L"");
    EXPECT_TRUE(Holds(run.err, L"Cannot remove the service " + name_ +
                                   L": it is not a wrapped service: the file it starts is [" +
                                   other + L"]"));
    EXPECT_TRUE(Holds(run.err, L"To delete it on purpose, run: sc.exe delete \"" + name_ +
                                   L"\"\nNothing was changed.\n"));
    json document = Document(Setup({L"remove", name_, L"--json"}));
    EXPECT_EQ(document["removed"], false);
    EXPECT_TRUE(Holds(Widen(document["error"]["message"].get<std::string>()), L"sc.exe delete"));
    EXPECT_EQ(RegistrySnapshot(HKEY_LOCAL_MACHINE, key), before);
    const SERVICE_STATUS_PROCESS after = QueryStatus(manager_, name_);
    EXPECT_EQ(after.dwCurrentState, DWORD(SERVICE_RUNNING));
    EXPECT_EQ(after.dwProcessId, pid);
    EXPECT_FALSE(ProcessesNamed(FileName(childPath_)).empty());
    // stop, which destroys nothing, works on any service.
    EXPECT_EQ(Setup({L"stop", name_}).exitCode, 0u);
    EndWatching();
    DeleteFileW(other.c_str());
}

// A configuration written while the service runs waits for its next start:
// status and show say so, and apply --restart restarts it even when it has
// nothing left to write.
TEST_F(SetupState, SaysWhenItRunsAnOlderConfigurationAndRestartsItWhenAsked) {
    const std::wstring child = PrepareChild("run-forever");
    const std::vector<std::wstring> apply = {L"apply", name_, L"--start", L"demand",
                                             L"--stop-timeout", L"1000", L"--", child, L"-n",
                                             L"602"};
    std::vector<std::wstring> before = apply;
    before.back() = L"601";
    ASSERT_EQ(Setup(before).exitCode, 0u);
    ASSERT_EQ(Setup({L"start", name_}).exitCode, 0u);
    json fresh = Document(Setup({L"status", name_, L"--json"}));
    EXPECT_EQ(fresh["configurationChangedSinceStart"], false);
    const unsigned pid = fresh["status"]["pid"];

    SetupRun changed = Setup(apply);
    EXPECT_EQ(changed.exitCode, 0u) << Narrow(changed.err);
    SetupRun status = Setup({L"status", name_});
    EXPECT_EQ(status.exitCode, 0u);
    EXPECT_TRUE(Holds(status.out, L"  Note: its configuration was written after it started"));
    SetupRun shown = Setup({L"show", name_});
    EXPECT_TRUE(Holds(shown.out, L"The service runs, and its configuration was written after it "
                                 L"started"));
    EXPECT_EQ(Document(Setup({L"show", name_, L"--json"}))["status"]
                      ["configurationChangedSinceStart"],
              true);

    std::vector<std::wstring> restart = apply;
    restart.insert(restart.begin() + 2, L"--restart");
    SetupRun restarted = Setup(restart);
    EXPECT_EQ(restarted.exitCode, 0u) << Narrow(restarted.err);
    EXPECT_TRUE(Holds(restarted.out, L"already as asked; nothing was changed"));
    EXPECT_TRUE(Holds(restarted.out, L"Restarted the service " + name_));
    json after = Document(Setup({L"status", name_, L"--json"}));
    EXPECT_NE(after["status"]["pid"], pid);
    EXPECT_EQ(after["configurationChangedSinceStart"], false);
    EXPECT_EQ(Setup({L"stop", name_}).exitCode, 0u);
}

// stop and remove --no-wait ask and return; the manager finishes the work.
// The program ignores the stop: a setup that waited would return only once
// the wrapper had ended it, 30 s on.
TEST_F(SetupState, StopAndRemoveWithoutWaitingAskAndReturn) {
    PrepareChild("run-forever");
    Install({L"30000", childPath_});
    for (const wchar_t* verb : {L"stop", L"remove"}) {
        SCOPED_TRACE(Narrow(verb));
        Start();
        ASSERT_TRUE(WaitForState(SERVICE_RUNNING, 15000)) << Seen();
        EndWatching();
        const ULONGLONG began = GetTickCount64();
        SetupRun run = Setup({verb, name_, L"--no-wait"});
        EXPECT_EQ(run.exitCode, 0u) << Narrow(run.err);
        EXPECT_TRUE(Holds(run.out, L"Asked the service " + name_ + L" to stop"));
        EXPECT_LT(GetTickCount64() - began, 20000u);
        EXPECT_FALSE(ProcessesNamed(FileName(childPath_)).empty()) << "setup waited for the program's end";
        EndProcessesNamed(FileName(childPath_));  // the stop then finishes at once
        // Stopped, or (remove) gone, which reads as no state at all.
        const auto ended = [&] {
            const DWORD state = QueryStatus(manager_, name_).dwCurrentState;
            return state == SERVICE_STOPPED || state == 0;
        };
        const ULONGLONG deadline = GetTickCount64() + 15000;
        while (!ended() && GetTickCount64() < deadline) Sleep(50);
        EXPECT_TRUE(ended());
    }
    EXPECT_TRUE(WaitUntilGone(15000)) << Narrow(StoredCommandLine());
}

}  // namespace
