#include "setup/setup_options.h"

#include <gtest/gtest.h>

namespace {

// One line per parsed command, every field in it, so that a table row pins
// all of them at once.
std::wstring Summary(const SetupCommand& c) {
    switch (c.verb) {
    case Verb::Help: return L"help";
    case Verb::Show: return L"show [" + c.name + L"]";
    case Verb::Remove: return L"remove [" + c.name + L"]";
    case Verb::Install: break;
    }
    const InstallOptions& o = c.install;
    std::wstring s = L"install [" + o.name + L"] " + std::to_wstring(o.stopTimeoutMs) + L" ms";
    s += L" display [" + o.displayName + L"]";
    s += o.description ? L" description [" + *o.description + L"]" : L" description default";
    s += std::wstring(L" start ") + StartTypeName(o.startType, o.delayedAutoStart);
    s += L" account " + o.account + L" wrapper [" + o.wrapperPath + L"] program [" + o.program +
         L"]";
    for (const std::wstring& a : o.arguments) s += L" [" + a + L"]";
    return s;
}

struct CommandCase {
    std::vector<std::wstring> arguments;
    std::wstring expected;  // the summary, or the error message
};

const std::wstring kDefaults = L" display [] description default start auto account LocalSystem wrapper []";

const CommandCase kCommandCases[] = {
    {{}, L"help"},
    {{L"help"}, L"help"},
    {{L"--help"}, L"help"},
    {{L"show", L"My Updater"}, L"show [My Updater]"},
    {{L"remove", L"MyUpdater"}, L"remove [MyUpdater]"},
    {{L"install", L"U", L"--", L"C:\\p.exe"}, L"install [U] 120000 ms" + kDefaults + L" program [C:\\p.exe]"},
    // Everything after -- belongs to the program, options and -- included.
    {{L"install", L"U", L"--stop-timeout", L"30000", L"--", L"p", L"--mode", L"", L"--", L"--start"},
     L"install [U] 30000 ms" + kDefaults + L" program [p] [--mode] [] [--] [--start]"},
    {{L"install", L"U", L"--stop-timeout", L"0", L"--display-name", L"Mein Dienst \u00fc",
      L"--description", L"", L"--start", L"delayed-auto", L"--account", L"networkservice",
      L"--wrapper", L"D:\\w\\service-wrapper.exe", L"--", L"p"},
     L"install [U] 0 ms display [Mein Dienst \u00fc] description [] start delayed-auto account "
     L"NetworkService wrapper [D:\\w\\service-wrapper.exe] program [p]"},
    {{L"install", L"U", L"--stop-timeout", L"4294967295", L"--start", L"disabled", L"--account",
      L"LocalService", L"--", L"p"},
     L"install [U] 4294967295 ms display [] description default start disabled account "
     L"LocalService wrapper [] program [p]"},
    {{L"install", L"U", L"--start", L"demand", L"--", L"p"},
     L"install [U] 120000 ms display [] description default start demand account LocalSystem "
     L"wrapper [] program [p]"},

    {{L"frobnicate"}, L"there is no command \"frobnicate\"; the commands are install, show, remove and help."},
    {{L"Install", L"U"}, L"there is no command \"Install\"; the commands are install, show, remove and help."},
    {{L"show"}, L"show needs the service's name."},
    {{L"remove", L"--force"}, L"remove needs the service's name."},
    {{L"show", L""}, L"the service's name is empty."},
    {{L"show", L"a", L"b"}, L"show takes only the service's name; \"b\" is one argument too many."},
    {{L"install"}, L"install needs the service's name first."},
    {{L"install", L"--stop-timeout", L"5", L"--", L"p"}, L"install needs the service's name first."},
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
    {{L"install", L"U", L"--start", L"Auto", L"--", L"p"},
     L"--start takes auto, delayed-auto, demand or disabled, not \"Auto\"."},
    {{L"install", L"U", L"--account", L"Administrator", L"--", L"p"},
     L"--account takes LocalSystem, LocalService or NetworkService, not \"Administrator\". Other "
     L"accounts need a password, which this program does not take: set the account in the "
     L"service's properties afterwards."},
};

TEST(ParseSetupCommand, ReadsEachCommandOrSaysWhatIsWrong) {
    for (const CommandCase& c : kCommandCases) {
        SCOPED_TRACE(testing::PrintToString(c.arguments));
        ParsedCommand parsed = ParseSetupCommand(c.arguments);
        EXPECT_EQ(parsed.command ? Summary(*parsed.command) : parsed.error, c.expected);
        EXPECT_EQ(parsed.command.has_value(), parsed.error.empty());
    }
}

// Stricter than the wrapper's own reading, which would take all of the
// refused ones but the empty text and the one past 32 bits.
TEST(ParseInstallStopTimeout, TakesPlainDecimalDigitsWithin32Bits) {
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
        EXPECT_EQ(ParseInstallStopTimeout(c.first), c.second);
    }
    ParsedCommand parsed = ParseSetupCommand({L"install", L"U", L"--stop-timeout", L"5000ms", L"--", L"p"});
    EXPECT_EQ(parsed.error, L"--stop-timeout takes a whole number of milliseconds from 0 to "
                            L"4294967295, in the digits 0-9 alone; \"5000ms\" is not one.");
}

TEST(ServiceStartName, GivesTheAccountAsTheManagerNamesIt) {
    EXPECT_EQ(ServiceStartName(L"LocalSystem"), nullptr);
    EXPECT_STREQ(ServiceStartName(L"LocalService"), L"NT AUTHORITY\\LocalService");
    EXPECT_STREQ(ServiceStartName(L"NetworkService"), L"NT AUTHORITY\\NetworkService");
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
