#include "setup/model/setup_options.h"

#include <gtest/gtest.h>

namespace {

const wchar_t* VerbWord(Verb verb) {
    switch (verb) {
    case Verb::Help: return L"help";
    case Verb::Version: return L"version";
    case Verb::Install: return L"install";
    case Verb::Apply: return L"apply";
    case Verb::Set: return L"set";
    case Verb::Show: return L"show";
    case Verb::Remove: return L"remove";
    case Verb::Start: return L"start";
    case Verb::Stop: return L"stop";
    case Verb::Restart: return L"restart";
    case Verb::Status: return L"status";
    case Verb::List: return L"list";
    case Verb::Logs: return L"logs";
    }
    return L"?";
}

std::wstring Names(const std::vector<std::wstring>& names) {
    std::wstring s;
    for (const std::wstring& name : names) s += L" [" + name + L"]";
    return s;
}

// One line per parsed command with every option that was given, so that a
// table row pins all of them at once.
std::wstring Summary(const SetupCommand& c) {
    std::wstring s = VerbWord(c.verb);
    if (!c.name.empty()) s += L" [" + c.name + L"]";
    if (c.json) s += L" json";
    const ConfigOptions& o = c.options;
    if (o.stopTimeoutMs) s += L" stop " + std::to_wstring(*o.stopTimeoutMs);
    if (o.displayName) s += L" display [" + *o.displayName + L"]";
    if (o.description) s += L" description [" + *o.description + L"]";
    if (o.start) s += std::wstring(L" start ") + StartTypeName(o.start->startType, o.start->delayedAutoStart);
    if (o.account) s += L" account [" + *o.account + L"]";
    if (o.passwordStdin) s += L" password-stdin";
    if (o.wrapperPath) s += L" wrapper [" + *o.wrapperPath + L"]";
    if (o.dependencies) s += L" depends" + Names(*o.dependencies);
    if (o.restartDelaysMs) {
        s += L" recovery";
        for (DWORD ms : *o.restartDelaysMs) s += L" " + std::to_wstring(ms);
        if (o.restartDelaysMs->empty()) s += L" none";
    }
    if (o.resetPeriodSeconds) s += L" reset " + std::to_wstring(*o.resetPeriodSeconds);
    if (o.sidType) s += std::wstring(L" sid ") + SidTypeName(*o.sidType);
    if (o.requiredPrivileges) s += L" privileges" + Names(*o.requiredPrivileges);
    if (o.acceptWritablePaths) s += L" accept-writable";
    if (o.restart) s += L" restart";
    if (o.program) s += L" program [" + *o.program + L"]" + Names(o.arguments);
    if (c.noWait) s += L" no-wait";
    if (c.helpOn) s += std::wstring(L" on ") + VerbWord(*c.helpOn);
    return s;
}

struct CommandCase {
    std::vector<std::wstring> arguments;
    std::wstring expected;  // the summary, or the error message
};

const std::wstring kLong(257, L'n');

const CommandCase kCommandCases[] = {
    {{}, L"help"},
    {{L"help"}, L"help"},
    {{L"--help"}, L"help"},
    {{L"HELP"}, L"help"},
    {{L"show", L"My Updater"}, L"show [My Updater]"},
    {{L"remove", L"MyUpdater"}, L"remove [MyUpdater]"},
    {{L"install", L"U", L"--", L"C:\\p.exe"}, L"install [U] program [C:\\p.exe]"},
    // Everything after -- belongs to the program, options and -- included.
    {{L"install", L"U", L"--stop-timeout", L"30000", L"--", L"p", L"--mode", L"", L"--", L"--start"},
     L"install [U] stop 30000 program [p] [--mode] [] [--] [--start]"},
    {{L"install", L"U", L"--stop-timeout", L"0", L"--display-name", L"Mein Dienst \u00fc",
      L"--description", L"", L"--start", L"delayed-auto", L"--account", L"networkservice",
      L"--wrapper", L"D:\\w\\service-wrapper.exe", L"--", L"p"},
     L"install [U] stop 0 display [Mein Dienst \u00fc] description [] start delayed-auto account "
     L"[NT AUTHORITY\\NetworkService] wrapper [D:\\w\\service-wrapper.exe] program [p]"},
    {{L"install", L"U", L"--stop-timeout", L"4294967295", L"--start", L"disabled", L"--account",
      L"LocalService", L"--", L"p"},
     L"install [U] stop 4294967295 start disabled account [NT AUTHORITY\\LocalService] program [p]"},
    {{L"install", L"U", L"--start", L"demand", L"--", L"p"}, L"install [U] start demand program [p]"},

    // Every verb, and keywords in any case.
    {{L"INSTALL", L"U", L"--START", L"Demand", L"--Account", L"LOCALSYSTEM", L"--", L"p"},
     L"install [U] start demand account [LocalSystem] program [p]"},
    {{L"Apply", L"U", L"--restart", L"--json", L"--", L"p", L"a"}, L"apply [U] json restart program [p] [a]"},
    {{L"set", L"U", L"--stop-timeout", L"60000"}, L"set [U] stop 60000"},
    {{L"set", L"U", L"--", L"p", L"x"}, L"set [U] program [p] [x]"},
    {{L"start", L"U"}, L"start [U]"},
    {{L"stop", L"--json", L"U"}, L"stop [U] json"},
    {{L"restart", L"U"}, L"restart [U]"},
    {{L"status", L"U", L"--JSON"}, L"status [U] json"},
    {{L"list"}, L"list"},
    {{L"list", L"--json"}, L"list json"},
    // --option=value is --option value.
    {{L"install", L"U", L"--stop-timeout=5000", L"--display-name=a=b", L"--description=", L"--", L"p"},
     L"install [U] stop 5000 display [a=b] description [] program [p]"},
    // The options of issues on recovery, accounts and hardening.
    {{L"install", L"U", L"--depends-on", L"Tcpip", L"--depends-on=+Network Group", L"--", L"p"},
     L"install [U] depends [Tcpip] [+Network Group] program [p]"},
    {{L"set", L"U", L"--depends-on", L"NONE"}, L"set [U] depends"},
    {{L"install", L"U", L"--restart-on-failure", L"5000", L"--", L"p"}, L"install [U] recovery 5000 program [p]"},
    {{L"install", L"U", L"--restart-on-failure", L"0,1,4294967295", L"--reset-failures-after", L"0", L"--", L"p"},
     L"install [U] recovery 0 1 4294967295 reset 0 program [p]"},
    {{L"install", L"U", L"--restart-on-failure", L"None", L"--", L"p"}, L"install [U] recovery none program [p]"},
    {{L"install", L"U", L"--sid-type", L"Restricted", L"--required-privileges",
      L"SeChangeNotifyPrivilege,seimpersonateprivilege", L"--", L"p"},
     L"install [U] sid restricted privileges [SeChangeNotifyPrivilege] [seimpersonateprivilege] program [p]"},
    {{L"install", L"U", L"--sid-type", L"NONE", L"--accept-writable-paths", L"--", L"p"},
     L"install [U] sid none accept-writable program [p]"},
    {{L"install", L"My Svc", L"--account", L"nt service\\my svc", L"--", L"p"},
     L"install [My Svc] account [NT SERVICE\\My Svc] program [p]"},
    {{L"install", L"U", L"--account", L"CORP\\updater$", L"--", L"p"}, L"install [U] account [CORP\\updater$] program [p]"},
    {{L"install", L"U", L"--account", L".\\svcuser", L"--password-stdin", L"--", L"p"},
     L"install [U] account [.\\svcuser] password-stdin program [p]"},
    {{L"install", L"U", L"--account", L"nt authority\\localservice", L"--", L"p"},
     L"install [U] account [NT AUTHORITY\\LocalService] program [p]"},

    {{L"frobnicate"}, L"there is no command \"frobnicate\"; the commands are install, apply, set, "
                      L"show, remove, start, stop, restart, status, list, logs and help."},
    {{L"show"}, L"show needs the service's name."},
    {{L"remove", L"--force"}, L"remove has no option --force."},
    {{L"show", L""}, L"the service's name is empty."},
    {{L"show", L"a", L"b"}, L"show takes only the service's name; \"b\" is one argument too many."},
    {{L"install"}, L"install needs the service's name."},
    {{L"install", L"--stop-timeout", L"5", L"--", L"p"}, L"install needs the service's name."},
    {{L"install", L"U"}, L"install needs -- and then the program to run, with its arguments."},
    {{L"install", L"U", L"C:\\p.exe"},
     L"\"C:\\p.exe\" is not an option of install; the program and its arguments come after --."},
    {{L"install", L"U", L"--"}, L"install needs the program to run after --."},
    {{L"install", L"U", L"--", L""}, L"the program after -- is empty."},
    {{L"install", L"U", L"--timeout", L"5", L"--", L"p"}, L"install has no option --timeout."},
    {{L"install", L"U", L"--start", L"auto", L"--start", L"demand", L"--", L"p"}, L"--start is given twice."},
    {{L"install", L"U", L"--stop-timeout"}, L"--stop-timeout needs a value."},
    {{L"install", L"U", L"--display-name", L"--", L"p"}, L"--display-name needs a value."},
    {{L"install", L"U", L"--display-name", L"", L"--", L"p"}, L"--display-name needs a text."},
    {{L"install", L"U", L"--wrapper", L"", L"--", L"p"}, L"--wrapper needs the path of service-wrapper.exe."},
    {{L"install", L"U", L"--start", L"Automatic", L"--", L"p"},
     L"--start takes auto, delayed-auto, demand or disabled, not \"Automatic\"."},
    {{L"install", L"U", L"--account", L"Administrator", L"--", L"p"},
     L"--account takes LocalSystem, LocalService, NetworkService, NT SERVICE\\<name> (the "
     L"service's virtual account), DOMAIN\\name$ (a group managed service account), or "
     L"DOMAIN\\user or .\\user (a user account), not \"Administrator\"."},

    // What a new user ran into: an option with "=" named as unknown, or
    // taken; -- never a name; names refused with the rule.
    {{L"install", L"U", L"--bogus=1", L"--", L"p"}, L"install has no option --bogus."},
    {{L"install", L"U", L"--json=yes", L"--", L"p"}, L"--json takes no value."},
    {{L"show", L"U", L"--stop-timeout", L"5"}, L"show has no option --stop-timeout."},
    {{L"install", L"U", L"--restart", L"--", L"p"}, L"install has no option --restart."},
    {{L"list", L"U"}, L"list takes no arguments."},
    {{L"show", L"--"}, L"show needs the service's name."},
    {{L"remove", L"--", L"U"}, L"remove needs the service's name."},
    {{L"show", L"U", L"--"}, L"show takes only the service's name; \"--\" is one argument too many."},
    {{L"install", L"--", L"p"}, L"install needs the service's name."},
    {{L"set", L"U", L"--"}, L"set needs the program to run after --."},
    {{L"install", kLong, L"--", L"p"}, L"the service's name is 257 characters long; Windows takes at most 256."},
    {{L"show", kLong}, L"the service's name is 257 characters long; Windows takes at most 256."},
    {{L"install", L"a/b", L"--", L"p"},
     L"the service's name \"a/b\" holds a / or \\, which Windows does not allow in a service's name."},
    {{L"remove", L"a\\b"},
     L"the service's name \"a\\b\" holds a / or \\, which Windows does not allow in a service's name."},
    {{L"install", L"a\nb", L"--", L"p"}, L"the service's name \"a<LF>b\" holds a control character."},
    {{L"apply", L"a\"b", L"--", L"p"},
     L"the service's name \"a\"b\" holds a quotation mark, which no command line can pass on to "
     L"sc.exe or to this program as it is."},
    {{L"install", L" U", L"--", L"p"},
     L"the service's name \" U\" starts or ends with a blank, which is easily lost when typed."},
    {{L"install", L"U ", L"--", L"p"},
     L"the service's name \"U \" starts or ends with a blank, which is easily lost when typed."},
    // A service made by hand with such a name can still be shown and removed.
    {{L"remove", L" odd\"name"}, L"remove [ odd\"name]"},
    {{L"install", L"U", L"--display-name", std::wstring(257, L'd'), L"--", L"p"},
     L"the display name is 257 characters long; Windows takes at most 256."},
    {{L"install", L"U", L"--display-name", std::wstring(256, L'd'), L"--", L"p"},
     L"install [U] display [" + std::wstring(256, L'd') + L"] program [p]"},
    {{L"install", L"U", L"--password", L"hunter2", L"--", L"p"},
     L"--password is refused: a password on the command line can be read by other users and is "
     L"kept in logs. Give --password-stdin and the password on standard input, or nothing and "
     L"type it when asked."},
    {{L"set", L"U", L"--PASSWORD=hunter2"},
     L"--password is refused: a password on the command line can be read by other users and is "
     L"kept in logs. Give --password-stdin and the password on standard input, or nothing and "
     L"type it when asked."},
    {{L"install", L"U", L"--password-stdin", L"--", L"p"},
     L"--password-stdin is for a user account given with --account (DOMAIN\\user or .\\user); "
     L"the other accounts have no password to give."},
    {{L"install", L"U", L"--account", L"CORP\\gmsa$", L"--password-stdin", L"--", L"p"},
     L"--password-stdin is for a user account given with --account (DOMAIN\\user or .\\user); "
     L"the other accounts have no password to give."},
    {{L"set", L"U", L"--password-stdin"}, L"set [U] password-stdin"},
    {{L"set", L"U", L"--account", L"LocalService", L"--password-stdin"},
     L"--password-stdin is for a user account given with --account (DOMAIN\\user or .\\user); "
     L"the other accounts have no password to give."},
    {{L"install", L"U", L"--account", L"NT SERVICE\\Other", L"--", L"p"},
     L"the virtual account \"NT SERVICE\\Other\" is another service's; this service's own is "
     L"NT SERVICE\\U."},
    {{L"install", L"U", L"--account", L".\\gmsa$", L"--", L"p"},
     L"\".\\gmsa$\" names a group managed service account, which belongs to a domain: give the "
     L"domain's name instead of \".\"."},
    {{L"install", L"U", L"--account", L"CORP\\a\\b", L"--", L"p"},
     L"--account takes LocalSystem, LocalService, NetworkService, NT SERVICE\\<name> (the "
     L"service's virtual account), DOMAIN\\name$ (a group managed service account), or "
     L"DOMAIN\\user or .\\user (a user account), not \"CORP\\a\\b\"."},
    {{L"install", L"U", L"--account", L"user@corp.example", L"--", L"p"},
     L"--account takes LocalSystem, LocalService, NetworkService, NT SERVICE\\<name> (the "
     L"service's virtual account), DOMAIN\\name$ (a group managed service account), or "
     L"DOMAIN\\user or .\\user (a user account), not \"user@corp.example\"."},
    {{L"install", L"U", L"--wrapper", L"C:\\w\\other.exe", L"--", L"p"},
     L"--wrapper names a file called service-wrapper.exe, which is how a wrapped service is "
     L"known; \"C:\\w\\other.exe\" is not one."},
    {{L"install", L"U", L"--depends-on", L"A", L"--depends-on", L"a", L"--", L"p"}, L"--depends-on names a twice."},
    {{L"install", L"U", L"--depends-on", L"u", L"--", L"p"},
     L"--depends-on names the service itself, which could then never start."},
    {{L"set", L"U", L"--depends-on", L"none", L"--depends-on", L"Tcpip"},
     L"--depends-on none means no dependencies at all; it cannot be given with a service to "
     L"depend on."},
    {{L"set", L"U", L"--depends-on", L"Tcpip", L"--depends-on=None"},
     L"--depends-on none means no dependencies at all; it cannot be given with a service to "
     L"depend on."},
    {{L"install", L"U", L"--depends-on", L"a/b", L"--", L"p"},
     L"--depends-on: the service's name \"a/b\" holds a / or \\, which Windows does not allow in "
     L"a service's name."},
    {{L"install", L"U", L"--restart-on-failure", L"none", L"--reset-failures-after", L"60", L"--", L"p"},
     L"--reset-failures-after means nothing with --restart-on-failure none."},
    {{L"install", L"U", L"--reset-failures-after", L"1d", L"--", L"p"},
     L"--reset-failures-after takes a whole number of seconds from 0 to 4294967295, in the "
     L"digits 0-9 alone; \"1d\" is not one."},
    {{L"install", L"U", L"--sid-type", L"full", L"--", L"p"},
     L"--sid-type takes none, unrestricted or restricted, not \"full\"."},

    // A value that begins with -- only after =: else the value was left out.
    {{L"install", L"U", L"--description", L"--start", L"auto", L"--", L"p"},
     L"--description needs a value; one that begins with -- is taken only as "
     L"--description=--start."},
    {{L"install", L"U", L"--description=--start", L"--", L"p"},
     L"install [U] description [--start] program [p]"},
    {{L"set", L"U", L"--display-name", L"-x"}, L"set [U] display [-x]"},
    {{L"set", L"U", L"--start", L"Manual"}, L"set [U] start demand"},
    {{L"stop", L"U", L"--no-wait"}, L"stop [U] no-wait"},
    {{L"remove", L"--no-wait", L"U", L"--json"}, L"remove [U] json no-wait"},
    {{L"start", L"U", L"--no-wait"}, L"start has no option --no-wait."},
    // Asking how to use it is an answer, wherever the question stands
    // before --.
    {{L"-h"}, L"help"},
    {{L"/?"}, L"help"},
    {{L"help", L"--json"}, L"help json"},
    {{L"help", L"Install"}, L"help on install"},
    {{L"install", L"--help"}, L"help on install"},
    {{L"remove", L"U", L"-h"}, L"help on remove"},
    {{L"set", L"U", L"--description", L"/?"}, L"help on set"},
    {{L"install", L"U", L"--", L"p", L"--help"}, L"install [U] program [p] [--help]"},
    {{L"--version"}, L"version"},
    {{L"--VERSION", L"--json"}, L"version json"},
    {{L"help", L"frob"},
     L"help takes one of the commands install, apply, set, show, remove, start, stop, restart, "
     L"status, list and logs, or nothing."},
    {{L"--version", L"show"}, L"there is no command \"--version\"; the commands are install, "
                               L"apply, set, show, remove, start, stop, restart, status, list, "
                               L"logs and help."},
    // Names that mean something else, or hide a character; one-line texts.
    {{L"install", L".", L"--", L"p"},
     L"the service's name \".\" names a folder itself to every file tool."},
    {{L"install", L"..", L"--", L"p"},
     L"the service's name \"..\" names a folder itself to every file tool."},
    {{L"install", L"Nul", L"--", L"p"},
     L"the service's name \"Nul\" is the name of a device (Nul), which Windows opens in place "
     L"of any file or folder of that name."},
    {{L"apply", L"com1.log", L"--", L"p"},
     L"the service's name \"com1.log\" is the name of a device (com1), which Windows opens in "
     L"place of any file or folder of that name."},
    {{L"install", L"Updater\u200B", L"--", L"p"},
     L"the service's name \"Updater\u200B\" holds the invisible character U+200B, so that it "
     L"looks like another name."},
    {{L"install", L"a\u202Eb", L"--", L"p"},
     L"the service's name \"a\u202Eb\" holds the invisible character U+202E, so that it looks "
     L"like another name."},
    {{L"install", L"Console", L"--", L"p"}, L"install [Console] program [p]"},
    {{L"show", L"NUL"}, L"show [NUL]"},
    {{L"set", L"U", L"--display-name", L"a\nb"},
     L"the display name holds a line break, which the services list cannot show."},
    {{L"set", L"U", L"--description", L"one\r\ntwo"},
     L"the description holds a line break, which the services list and sc.exe show as one line "
     L"run together; give it as one line."},
    {{L"set", L"U", L"--description", L"tab\there"}, L"set [U] description [tab\there]"},
};

const wchar_t* const kBadDelays[] = {L"", L"1,2,3,4", L"1,,2", L"1,", L",1", L"5s", L" 5",
                                     L"4294967296", L"-1", L"1;2", L"nothing"};
const wchar_t* const kBadPrivileges[] = {L"", L"SeBackup", L"BackupPrivilege", L"SePrivilege",
                                         L"Se Backup Privilege", L"SeA,", L"SeAPrivilege,,SeBPrivilege",
                                         L"SeAPrivilege,SEAPRIVILEGE"};

TEST(ParseSetupCommand, ReadsEachCommandOrSaysWhatIsWrong) {
    for (const CommandCase& c : kCommandCases) {
        SCOPED_TRACE(testing::PrintToString(c.arguments));
        ParsedCommand parsed = ParseSetupCommand(c.arguments);
        EXPECT_EQ(parsed.command ? Summary(*parsed.command) : parsed.error, c.expected);
        EXPECT_EQ(parsed.command.has_value(), parsed.error.empty());
    }
}

TEST(ParseSetupCommand, RefusesBadRecoveryDelaysAndPrivilegesByTheirRule) {
    for (const wchar_t* delays : kBadDelays) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(delays)));
        ParsedCommand parsed =
            ParseSetupCommand({L"install", L"U", L"--restart-on-failure", delays, L"--", L"p"});
        EXPECT_NE(parsed.error.find(L"--restart-on-failure takes one to three delays"), std::wstring::npos)
            << testing::PrintToString(parsed.error);
    }
    for (const wchar_t* privileges : kBadPrivileges) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(privileges)));
        ParsedCommand parsed =
            ParseSetupCommand({L"set", L"U", L"--required-privileges", privileges});
        EXPECT_EQ(parsed.error.find(L"--required-privileges "), 0u) << testing::PrintToString(parsed.error);
    }
}

// Every option a verb does not take is refused by name, whatever its value.
TEST(ParseSetupCommand, EachVerbTakesOnlyItsOwnOptions) {
    const std::vector<std::wstring> kConfigOptions = {
        L"--stop-timeout=1", L"--display-name=d", L"--description=d", L"--start=auto",
        L"--account=LocalService", L"--wrapper=C:\\service-wrapper.exe", L"--depends-on=x",
        L"--restart-on-failure=1", L"--reset-failures-after=1", L"--sid-type=none",
        L"--required-privileges=SeAPrivilege", L"--accept-writable-paths"};
    for (const wchar_t* verb : {L"show", L"remove", L"start", L"stop", L"restart", L"status"}) {
        std::vector<std::wstring> options = kConfigOptions;
        options.push_back(L"--restart");
        for (const std::wstring& option : options) {
            SCOPED_TRACE(testing::PrintToString(std::wstring(verb) + L" " + option));
            ParsedCommand parsed = ParseSetupCommand({verb, L"U", option});
            EXPECT_EQ(parsed.error, std::wstring(verb) + L" has no option " +
                                        option.substr(0, option.find(L'=')) + L".");
        }
    }
    for (const wchar_t* verb : {L"install", L"apply", L"set"}) {
        for (const std::wstring& option : kConfigOptions) {
            SCOPED_TRACE(testing::PrintToString(std::wstring(verb) + L" " + option));
            EXPECT_TRUE(ParseSetupCommand({verb, L"U", option, L"--", L"p"}).command);
        }
    }
}

// Stricter than the wrapper's own reading, which would take all of the
// refused ones but the empty text and the one past 32 bits.
TEST(ParseWholeNumber, TakesPlainDecimalDigitsWithin32Bits) {
    const std::pair<const wchar_t*, std::optional<DWORD>> kCases[] = {
        {L"0", 0u},          {L"30000", 30000u},       {L"007", 7u},
        {L"4294967295", 4294967295u},                  {L"00000000004294967295", 4294967295u},
        {L"4294967296", std::nullopt},                 {L"18446744073709551616", std::nullopt},
        {L"", std::nullopt}, {L" 5", std::nullopt},    {L"5 ", std::nullopt},
        {L"+5", std::nullopt}, {L"-1", std::nullopt},  {L"5000ms", std::nullopt},
        {L"0x10", std::nullopt}, {L"\u0663\u0664", std::nullopt}, {L"\uFF11", std::nullopt},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.first)));
        EXPECT_EQ(ParseWholeNumber(c.first), c.second);
    }
    ParsedCommand parsed = ParseSetupCommand({L"install", L"U", L"--stop-timeout", L"5000ms", L"--", L"p"});
    EXPECT_EQ(parsed.error, L"--stop-timeout takes a whole number of milliseconds from 0 to "
                            L"4294967295, in the digits 0-9 alone; \"5000ms\" is not one.");
}

TEST(ServiceStartName, GivesTheAccountAsTheManagerNamesIt) {
    EXPECT_EQ(ServiceStartName(L"LocalSystem"), nullptr);
    EXPECT_EQ(ServiceStartName(L""), nullptr);
    const std::wstring localService = kLocalServiceAccount;
    EXPECT_EQ(ServiceStartName(localService), localService.c_str());
    EXPECT_STREQ(kLocalServiceAccount, L"NT AUTHORITY\\LocalService");
    EXPECT_STREQ(kNetworkServiceAccount, L"NT AUTHORITY\\NetworkService");
}

}  // namespace

// The manager keeps the delayed flag of a service that was once delayed-auto
// and is set to another start type afterwards; it heeds it only for auto.
TEST(StartTypeName, NamesTheStartTheManagerWillMake) {
    struct StartCase {
        DWORD startType;
        bool delayed;
        const wchar_t* name;
    };
    const StartCase kCases[] = {
        {SERVICE_AUTO_START, false, L"auto"},      {SERVICE_AUTO_START, true, L"delayed-auto"},
        {SERVICE_DEMAND_START, true, L"demand"},   {SERVICE_DISABLED, true, L"disabled"},
        {SERVICE_DEMAND_START, false, L"demand"},  {0, false, L"boot"},
    };
    for (const StartCase& c : kCases) {
        EXPECT_EQ(std::wstring(StartTypeName(c.startType, c.delayed)), c.name)
            << c.startType << " " << c.delayed;
    }
}
