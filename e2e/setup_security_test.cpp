// The setup program's checks of what a service runs, and its accounts,
// through the real executable and Wine's manager: install refuses a program
// or a folder that everyone may write unless told to go on, show reports
// one, a batch file whose arguments cmd.exe would act on and a file that is
// no program are refused, and the accounts are written and read back, a
// user account's password nowhere in what is printed.
#include "e2e/setup_tool_fixture.h"

#include <nlohmann/json.hpp>

namespace {

using nlohmann::json;

// Copies of the test child, made with these Unix modes by writable_paths.cmake.
const std::wstring kAuditFolder = L"C:\\wrapper-e2e-audit";
const std::wstring kInOpenFolder = kAuditFolder + L"\\open folder\\program.exe";  // folder 777
const std::wstring kOpenProgram = kAuditFolder + L"\\open file\\program.exe";     // file 666
const std::wstring kClosedProgram = kAuditFolder + L"\\closed\\program.exe";      // 755, 755

const std::wstring kEveryone =
    L"Warning: Everyone (every account, guests included) may replace or change what the "
    L"service runs, with the service's account, through:\n";

class SetupSecurity : public SetupTool {
protected:
    DWORD QueryStartType() {
        SC_HANDLE service = OpenServiceW(manager_, name_.c_str(), SERVICE_QUERY_CONFIG);
        std::vector<BYTE> buffer(8192);
        DWORD needed = 0;
        auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
        const bool read = service && QueryServiceConfigW(service, config, 8192, &needed);
        if (service) CloseServiceHandle(service);
        return read ? config->dwStartType : DWORD(-1);
    }

    void SetUp() override {
        SetupTool::SetUp();
        ASSERT_NE(GetFileAttributesW(kClosedProgram.c_str()), INVALID_FILE_ATTRIBUTES)
            << "the e2e_writable_paths fixture makes it: run the tests through ctest";
    }

    SetupRun Install(const std::wstring& program, std::vector<std::wstring> options = {},
                     const std::vector<std::wstring>& arguments = {}) {
        options.insert(options.begin(), {L"install", name_, L"--direct", L"--start", L"demand"});
        options.push_back(L"--");
        options.push_back(program);
        options.insert(options.end(), arguments.begin(), arguments.end());
        return Setup(options);
    }
};

TEST_F(SetupSecurity, InstallRefusesWhatEveryoneMayChangeUnlessToldToGoOn) {
    const struct {
        std::wstring program;
        std::wstring finding;
    } kRefused[] = {
        {kInOpenFolder, L"  the folder [" + kAuditFolder +
                            L"\\open folder], which holds the file: add files to it, "},
        {kOpenProgram, L"  the file [" + kOpenProgram + L"]: write its data, append to it"},
        // Judged as the manager will start it, its reference replaced.
        {L"%SystemDrive%" + kOpenProgram.substr(2),
         L"  the file [" + kOpenProgram + L"]: write its data, append to it"},
    };
    for (const auto& c : kRefused) {
        SCOPED_TRACE(Narrow(c.program));
        SetupRun run = Install(c.program);
        EXPECT_EQ(run.exitCode, 1u) << Narrow(run.out);
        EXPECT_TRUE(Holds(run.err, L"Cannot install " + name_ + L": broad groups of accounts, "
                                   L"such as Everyone or Users, may replace or change the files"));
        EXPECT_TRUE(Holds(run.err, kEveryone + c.finding));
        EXPECT_TRUE(Holds(run.err, L"\nNothing was installed.\n"));
        EXPECT_EQ(run.out, L"");
        EXPECT_EQ(StoredCommandLine(), L"");
    }

    // The same program where only its owner may write it.
    SetupRun run = Install(kClosedProgram);
    EXPECT_EQ(run.exitCode, 0u) << Narrow(run.err);
    EXPECT_FALSE(Holds(run.out, L"Warning: Everyone"));
    EXPECT_TRUE(RemoveService(manager_, name_, 15000));

    // Told to go on: installed, with the warnings printed.
    run = Install(kOpenProgram, {L"--accept-writable-paths"});
    EXPECT_EQ(run.exitCode, 0u) << Narrow(run.err);
    EXPECT_TRUE(Holds(run.out, kEveryone + kRefused[1].finding));
    EXPECT_TRUE(Holds(StoredCommandLine(), L"\"" + kOpenProgram + L"\""));
}

TEST_F(SetupSecurity, ShowWarnsOfAProgramEveryoneMayChangeAndExitsWithThree) {
    InstallRaw(BuildBinaryPath(g_wrapperPath, {L"1000", kOpenProgram}), 1000);
    SetupRun run = Setup({L"show", name_});
    EXPECT_EQ(run.exitCode, 3u) << Narrow(run.out);
    EXPECT_TRUE(Holds(run.out, kEveryone + L"  the file [" + kOpenProgram + L"]: write its data"));

    run = Setup({L"show", name_, L"--json"});
    EXPECT_EQ(run.exitCode, 3u);
    json document = json::parse(Narrow(run.out));
    json found;
    for (const json& finding : document["accessFindings"]) {
        if (finding["kind"] == "file" && finding["level"] == "warning") found = finding;
    }
    ASSERT_FALSE(found.is_null()) << document["accessFindings"].dump(2);
    EXPECT_EQ(found["object"], Narrow(kOpenProgram));
    EXPECT_EQ(found["sid"], "S-1-1-0");
    EXPECT_EQ(found["principal"], "Everyone");
    EXPECT_NE(found["rights"].get<DWORD>() & FILE_WRITE_DATA, 0u);
    EXPECT_TRUE(Holds(Widen(document["warnings"].dump()), L"write its data"));
}

// The launcher's environment file holds what is too secret for the command
// line: one that everyone may change is refused like the program, one that
// everyone may read is warned of, by install and show.
TEST_F(SetupSecurity, JudgesTheEnvironmentFileLikeTheProgramAndWarnsWhenEveryoneMayReadIt) {
    auto install = [&](const std::wstring& envFile) {
        return Setup({L"install", name_, L"--start", L"demand", L"--log-dir", L"none",
                      L"--env-file", envFile, L"--", kClosedProgram});
    };
    SetupRun run = install(kOpenProgram);
    EXPECT_EQ(run.exitCode, 1u) << Narrow(run.out);
    EXPECT_TRUE(Holds(run.err, kEveryone + L"  the file [" + kOpenProgram + L"]: write its data"));
    EXPECT_EQ(StoredCommandLine(), L"");

    // Wine lets everyone read every file of mode 755.
    run = install(kClosedProgram);
    EXPECT_EQ(run.exitCode, 0u) << Narrow(run.err);
    const std::wstring readable = L"The environment file [" + kClosedProgram +
                                  L"] may be read by Everyone (every account, guests included)";
    EXPECT_TRUE(Holds(run.out, readable));
    EXPECT_TRUE(Holds(Setup({L"show", name_}).out, readable));
}

// A log folder runs nothing, but one that everyone may write lets anyone
// plant links the service writes through; a working folder is where a batch
// file's commands and a missing library are looked for first. Each is
// refused unless told to go on, and named as what it is by install and show.
TEST_F(SetupSecurity, RefusesALogOrWorkingFolderEveryoneMayWriteUnlessToldToGoOn) {
    const std::wstring open = kAuditFolder + L"\\open folder";
    const std::wstring everyone = L"Warning: Everyone (every account, guests included) may ";
    const struct {
        const wchar_t* option;
        std::wstring refusal;
        std::wstring finding;
        const char* kind;
    } kCases[] = {
        {L"--log-dir", L"may write its log folder [" + open + L"]",
         everyone + L"make the service overwrite other files through links planted in its log "
                    L"folder, with the service's account, through:\n  the log folder [" +
             open + L"], which the service writes into: add files to it, ",
         "logFolder"},
        {L"--working-dir", L"may replace or change the files it would run or read",
         everyone + L"replace or change what the service runs, with the service's account, "
                    L"through:\n  the working folder [" + open +
             L"], which the program runs in: add files to it, ",
         "workingFolder"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(Narrow(c.option));
        std::vector<std::wstring> install = {L"install", name_, L"--start", L"demand",
                                             c.option, open, L"--", kClosedProgram};
        SetupRun run = Setup(install);
        EXPECT_EQ(run.exitCode, 1u) << Narrow(run.out);
        EXPECT_TRUE(Holds(run.err, L"Cannot install " + name_ + L": broad groups of accounts, "
                                   L"such as Everyone or Users, " + c.refusal));
        EXPECT_TRUE(Holds(run.err, c.finding)) << Narrow(run.err);
        EXPECT_EQ(StoredCommandLine(), L"");

        install.insert(install.begin() + 2, L"--accept-writable-paths");
        run = Setup(install);
        EXPECT_EQ(run.exitCode, 0u) << Narrow(run.err);
        EXPECT_TRUE(Holds(run.out, c.finding)) << Narrow(run.out);
        run = Setup({L"show", name_, L"--json"});
        EXPECT_EQ(run.exitCode, 3u);
        const json shown = json::parse(Narrow(run.out));
        bool named = false;
        for (const json& found : shown["accessFindings"]) {
            named = named || (found["kind"] == c.kind && found["object"] == Narrow(open) &&
                              found["level"] == "warning");
        }
        EXPECT_TRUE(named) << Narrow(run.out);
        EXPECT_TRUE(RemoveService(manager_, name_, 15000));
    }
}

// A log or working folder under one that everyone may rename is no safer,
// even one made with its own access list: a folder of theirs, or a link,
// could take its place.
TEST_F(SetupSecurity, RefusesALogOrWorkingFolderUnderOneEveryoneMayRename) {
    const std::wstring above = kAuditFolder + L"\\open folder";
    const std::wstring below = above + L"\\logs";
    const struct {
        const wchar_t* option;
        const wchar_t* what;
        std::wstring refusal;  // the log folder itself is not there to be written
    } kCases[] = {
        {L"--log-dir", L"log folder", L"may rename a folder above its log folder [" + below + L"]"},
        {L"--working-dir", L"working folder", L"may replace or change the files it would run"},
    };
    for (const auto& [option, what, refusal] : kCases) {
        SCOPED_TRACE(Narrow(option));
        const SetupRun run = Setup({L"install", name_, L"--start", L"demand", option, below,
                                    L"--", kClosedProgram});
        EXPECT_EQ(run.exitCode, 1u) << Narrow(run.out);
        EXPECT_TRUE(Holds(run.err, L"Cannot install " + name_ + L": broad groups of accounts, "
                                   L"such as Everyone or Users, " + refusal))
            << Narrow(run.err);
        EXPECT_TRUE(Holds(run.err, L"  the folder [" + above + L"], on the " + what +
                                       L"'s path: delete or rename what it holds"))
            << Narrow(run.err);
        EXPECT_EQ(StoredCommandLine(), L"");
        EXPECT_EQ(GetFileAttributesW(below.c_str()), INVALID_FILE_ATTRIBUTES);
    }
}

// The argument from the injection that made a batch service write a file.
TEST_F(SetupSecurity, RefusesProgramsThatCannotWorkAsWritten) {
    const std::wstring batch = folder_ + L"\\task.bat";
    const std::wstring text = folder_ + L"\\not a program.exe";
    for (const std::wstring& path : {batch, text}) WriteTextFile(path, "@echo off\r\n");
    const std::wstring injection = L"x\\\"&echo INJECTED>C:\\rec\\inj.txt&rem \\\"";
    const struct {
        std::wstring program;
        std::wstring argument;
        DWORD exitCode;
        std::wstring phrase;
    } kCases[] = {
        {batch, injection, 1,
         L"is a batch file, which Windows runs through cmd.exe; cmd.exe reads its command line "
         L"by its own rules, not by the quoting the wrapper writes: argument 1 [" + injection +
             L"] holds a quotation mark (\"), an ampersand (&) and a greater-than sign (>)"},
        {batch, L"--plain", 0,
         L"Note: The program [" + batch + L"] is a batch file, which Windows runs through "
         L"cmd.exe; cmd.exe reads its command line by its own rules, not by the quoting the "
         L"wrapper writes. None of its arguments holds a character cmd.exe would act on.\n"},
        {text, L"x", 1,
         L"Cannot install " + name_ + L": The program [" + text +
             L"] is not a Windows program: it does not start with MZ.\nNothing was installed."},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(Narrow(c.program + L" " + c.argument));
        SetupRun run = Install(c.program, {}, {c.argument});
        EXPECT_EQ(run.exitCode, c.exitCode) << Narrow(run.out + run.err);
        EXPECT_TRUE(Holds(c.exitCode == 0 ? run.out : run.err, c.phrase));
        EXPECT_EQ(StoredCommandLine().empty(), c.exitCode != 0);
        if (c.exitCode == 0) EXPECT_TRUE(RemoveService(manager_, name_, 15000));
    }
}

TEST_F(SetupSecurity, WritesAndReadsBackAVirtualAndAUserAccount) {
    const std::wstring child = PrepareChild("exit-now");
    const std::wstring virtualAccount = L"NT SERVICE\\" + name_;
    SetupRun run = Install(child, {L"--account", virtualAccount});
    EXPECT_EQ(run.exitCode, 0u) << Narrow(run.err);
    json shown = json::parse(Narrow(Setup({L"show", name_, L"--json"}).out));
    EXPECT_EQ(shown["account"], Narrow(virtualAccount));
    EXPECT_EQ(shown["accountKind"], "virtual");
    EXPECT_TRUE(Holds(Setup({L"show", name_}).out,
                      L"  account         " + virtualAccount + L" (the service's virtual account)\n"));
    EXPECT_TRUE(RemoveService(manager_, name_, 15000));

    // Wine's own user; its security policy takes the right and keeps nothing,
    // so the right is given each time.
    wchar_t user[256];
    DWORD length = 256;
    ASSERT_TRUE(GetUserNameW(user, &length)) << GetLastError();
    const std::wstring account = L".\\" + std::wstring(user);
    const std::string kPasswords[] = {"e2e-Pa55-word", "other-Pa55-word"};
    run = Setup({L"install", name_, L"--direct", L"--account", account, L"--password-stdin", L"--start",
                 L"demand", L"--", child},
                kPasswords[0] + "\r\nnot read\r\n");
    EXPECT_EQ(run.exitCode, 0u) << Narrow(run.err);
    EXPECT_TRUE(Holds(run.out, L"  account         " + account + L" (a user account)\n"));
    EXPECT_TRUE(Holds(run.out, L"Gave the account " + account + L" the right to log on as a "
                               L"service (SeServiceLogonRight), which it lacked.\n"));
    // A new password alone, through set: named as changed, never shown.
    SetupRun set = Setup({L"set", name_, L"--password-stdin", L"--json"}, kPasswords[1]);
    EXPECT_EQ(set.exitCode, 0u) << Narrow(set.out);
    json changed = json::parse(Narrow(set.out));
    EXPECT_EQ(changed["changes"],
              json::parse(R"([{"field": "password", "old": null, "new": null,
                              "needsRestart": true}])"));
    EXPECT_EQ(changed["logonRightGranted"], true);
    for (const SetupRun& printed : {run, set}) {
        for (const std::string& password : kPasswords) {
            EXPECT_FALSE(Holds(printed.out + printed.err, Widen(password)));
        }
    }
    shown = json::parse(Narrow(Setup({L"show", name_, L"--json"}).out));
    EXPECT_EQ(shown["accountKind"], "user");
}

// A file an argument names is audited like the program (an interpreter's
// script); a folder it names is only noted. A change that only lessens
// what runs goes through the audit with its findings as warnings.
TEST_F(SetupSecurity, AuditsFilesArgumentsNameAndLetsLesseningChangesThrough) {
    const std::wstring cmd = L"C:\\windows\\system32\\cmd.exe";
    SetupRun run = Install(cmd, {}, {L"/c", kOpenProgram});
    EXPECT_EQ(run.exitCode, 1u) << Narrow(run.out);
    EXPECT_TRUE(Holds(run.err, kEveryone + L"  the file [" + kOpenProgram + L"]: write its data"));
    EXPECT_EQ(StoredCommandLine(), L"");

    const std::wstring openFolder = kAuditFolder + L"\\open folder";
    run = Install(kClosedProgram, {L"--json"}, {L"--data", openFolder});
    EXPECT_EQ(run.exitCode, 0u) << Narrow(run.out);
    std::wstring notes;
    const json installed = json::parse(Narrow(run.out));
    for (const json& note : installed["notes"]) {
        notes += Widen(note.get<std::string>()) + L"\n";
    }
    EXPECT_TRUE(Holds(notes, L"may write the folder [" + openFolder + L"], which argument 2 names"));
    EXPECT_TRUE(RemoveService(manager_, name_, 15000));

    run = Install(kOpenProgram, {L"--accept-writable-paths"});
    ASSERT_EQ(run.exitCode, 0u) << Narrow(run.err);
    const std::wstring written = StoredCommandLine();
    run = Setup({L"set", name_, L"--stop-timeout", L"999999"});
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_TRUE(Holds(run.err, L"Nothing was changed."));
    EXPECT_EQ(StoredCommandLine(), written);
    // Installed to start on demand: disabled, then a shorter stop timeout.
    const std::pair<const wchar_t*, const wchar_t*> kLessening[] = {
        {L"--start", L"disabled"}, {L"--stop-timeout", L"1"}};
    for (const auto& option : kLessening) {
        SCOPED_TRACE(Narrow(option.first));
        run = Setup({L"set", name_, option.first, option.second});
        EXPECT_EQ(run.exitCode, 0u) << Narrow(run.err);
        EXPECT_TRUE(Holds(run.out, kEveryone + L"  the file [" + kOpenProgram + L"]"));
        EXPECT_TRUE(Holds(run.out, L"only lessens what the service runs"));
    }
    EXPECT_EQ(QueryStartType(), DWORD(SERVICE_DISABLED));
}

// Accounts are looked up: a group is refused, SYSTEM is LocalSystem with no
// password asked, and a name of no account is refused before anything is
// written.
TEST_F(SetupSecurity, LooksUpAccountsAndRefusesGroupsAndNamesOfNoAccount) {
    const std::wstring child = PrepareChild("exit-now");
    const struct {
        const wchar_t* account;
        const wchar_t* phrase;
    } kRefused[] = {
        {L"BUILTIN\\Users", L"is a group (an alias, such as the computer's own groups)"},
        {L".\\no-such-account-here", L"does not exist on this computer or in its domain"},
    };
    for (const auto& c : kRefused) {
        SCOPED_TRACE(Narrow(c.account));
        SetupRun run = Install(child, {L"--account", c.account});
        EXPECT_EQ(run.exitCode, 1u);
        EXPECT_TRUE(Holds(run.err, c.phrase));
        EXPECT_TRUE(Holds(run.err, L"Nothing was installed."));
        EXPECT_EQ(StoredCommandLine(), L"");
    }
    // No standard input: a password asked for would fail the install.
    SetupRun run = Install(child, {L"--account", L"NT AUTHORITY\\SYSTEM", L"--json"});
    ASSERT_EQ(run.exitCode, 0u) << Narrow(run.out);
    EXPECT_EQ(json::parse(Narrow(run.out))["service"]["account"], "LocalSystem");
}

}  // namespace
