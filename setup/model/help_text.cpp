#include "setup/model/help_text.h"

namespace {

const wchar_t kUsageLines[] = LR"(Usage:
  service-wrapper-setup install <name> [options] -- <program> [arguments...]
  service-wrapper-setup apply <name> [options] -- <program> [arguments...]
  service-wrapper-setup set <name> [options] [-- <program> [arguments...]]
  service-wrapper-setup show|start|restart|status <name>
  service-wrapper-setup stop|remove <name> [--no-wait]
  service-wrapper-setup list
  service-wrapper-setup logs <name> [--lines <n>] [--follow]
  service-wrapper-setup help [<command>]
  service-wrapper-setup --version
Every command but logs takes --json: the outcome as one JSON document.
<command> --help (or -h, or /?) prints the usage of that command alone.
)";

const wchar_t kConfigText[] = LR"(
install creates the service <name>, which runs <program> with its arguments
through service-wrapper.exe, and prints what it wrote. apply makes the service
so: it installs it, or changes what differs from what install would write.
set changes only what is given; the program and its arguments only after --.
Options (--option value or --option=value; a value that begins with -- only
in the second form):
  --stop-timeout <ms>    how long the program may take to end by itself when
                         the service stops: 0 to 4294967295 (default 120000).
                         The wrapper looks once a second whether it has
                         ended, so the grace is in whole seconds, rounded up
  --display-name <text>  the name the services list shows (default: <name>)
  --description <text>   the description the services list shows
  --start auto|delayed-auto|demand|disabled
                         when Windows starts the service (default: auto);
                         manual is taken as demand
  --account <account>    the account the service runs under: LocalSystem
                         (default), LocalService, NetworkService,
                         NT SERVICE\<name>, DOMAIN\name$ (group managed), or
                         DOMAIN\user or .\user, whose password is asked for;
                         a group is refused, and SYSTEM is LocalSystem
  --password-stdin       read that password from standard input instead
  --wrapper <path>       the service-wrapper.exe to run (default: the one in
                         this program's folder)
  --depends-on <service> a service that must run first (repeatable), or none
  --restart-on-failure <ms>[,<ms>[,<ms>]] | none
                         restart after the first, second and later failures
                         (default: 10000,30000,60000)
  --reset-failures-after <seconds>
                         count failures anew after this long (default: 86400)
  --sid-type none|unrestricted|restricted
  --required-privileges <name>[,<name>...]
                         the privileges the service keeps, such as
                         SeChangeNotifyPrivilege
  --accept-writable-paths
                         write even where broad groups such as Everyone or
                         Users may change the files and folders listed
                         below (the findings are printed)
  --restart              (apply, set) restart the service if a change needs
                         it, or if it runs with a configuration changed
                         since it started
The program runs through service-wrapper-launcher.exe, beside the wrapper:
  --log-dir <folder>|none  where its output is kept (default: %ProgramData%\
                         Service Wrapper\logs\<name>, made for the service)
  --log-size <bytes>     rotate past this size; K, M or G (default: 10M)
  --log-keep <n>         rotated files kept, 0 to 999 (default: 5)
  --log-timestamps       each line with its time and stream (set: also
                         --no-log-timestamps)
  --working-dir <folder>|none   its current folder (default: its own)
  --env NAME=VALUE       a variable for it (repeatable; set: --unset-env NAME)
  --env-file <file>|none NAME=VALUE lines, for secrets
  --stop-signal ctrl-c|none     sent when the service stops (default: ctrl-c)
  --direct               no launcher: the program is the wrapper's own child
<program> is a full path, or a name found as the service will find it: in the
wrapper's folder, the system folders, then the system's search path (never
the current folder); the full path is what gets written. Each argument
reaches the program as given here, except that Windows replaces a %NAME%
reference with the value of the system's variable each time it starts the
service. A path with such references is written as given and judged as it
will then read: a name of no variable, or what is then no full path to a
file, is refused.
Before writing anything, install, apply and set refuse a program that cannot
work as written (not a Windows program this system runs, a batch file whose
arguments cmd.exe would act on, a command line too long to start), and files
and folders that broad groups such as Everyone or Users may change: the
wrapper, the launcher, the program, its environment file, each file an
argument names by its full path, the log folder the launcher writes into, the
working folder given with --working-dir, and every folder above any of them.
A change that only lessens what runs (a start type of demand or disabled, fewer
dependencies, a shorter stop timeout, no recovery) is made all the same, with
the findings printed as warnings. A password is never taken from the command
line or the environment.
)";

const wchar_t kShowText[] = LR"(
show prints the service's state, configuration and command line, each element
as the wrapper will read it, and warns about what cannot work or is unsafe.
It and status say when the configuration was changed after the running
program started, so that it runs with the one before.
)";

const wchar_t kStateText[] = LR"(
start, stop and restart follow the service to its new state; stop --no-wait
asks for the stop and returns. They, show and status work on any service.
status prints one line. list prints every wrapped service.
)";

const wchar_t kLogsText[] = LR"(
logs prints the last lines of the service's log (default 50); --follow keeps
printing.
)";

const wchar_t kRemoveText[] = LR"(
remove deletes a wrapped service, and refuses any other. It clears the
service's recovery settings, so that Windows cannot start it again
meanwhile, stops it if it runs, following the stop to its end, and then
deletes it. With --no-wait it asks for the stop and the deletion and returns:
Windows deletes the service once it has stopped.
)";

const wchar_t kExitCodesText[] = LR"(
Exit codes: 0 done, 1 failed, 2 a mistake in the command line, 3 show found
something to warn about; status: 0 running, 3 not running, 4 no such service.
)";

struct VerbHelp {
    Verb verb;
    const wchar_t* usage;
    const wchar_t* text;
};
const VerbHelp kVerbHelp[] = {
    {Verb::Install, L"install <name> [options] -- <program> [arguments...]", kConfigText},
    {Verb::Apply, L"apply <name> [options] -- <program> [arguments...]", kConfigText},
    {Verb::Set, L"set <name> [options] [-- <program> [arguments...]]", kConfigText},
    {Verb::Show, L"show <name>", kShowText},
    {Verb::Remove, L"remove <name> [--no-wait]", kRemoveText},
    {Verb::Start, L"start <name>", kStateText},
    {Verb::Stop, L"stop <name> [--no-wait]", kStateText},
    {Verb::Restart, L"restart <name>", kStateText},
    {Verb::Status, L"status <name>", kStateText},
    {Verb::List, L"list", kStateText},
    {Verb::Logs, L"logs <name> [--lines <n>] [--follow]", kLogsText},
    {Verb::Help, L"help [<command>]", L"\nhelp prints how to use the setup program, or one command.\n"},
};

}  // namespace

std::wstring UsageText() {
    return std::wstring(kUsageLines) + kConfigText + kShowText + kStateText + kRemoveText +
           kLogsText + kExitCodesText;
}

std::wstring VerbHelpText(Verb verb) {
    for (const VerbHelp& help : kVerbHelp) {
        if (help.verb != verb) continue;
        return L"Usage: service-wrapper-setup " + std::wstring(help.usage) +
               (TakesJson(verb) ? L" [--json]\n" : L"\n") + help.text + kExitCodesText;
    }
    return UsageText();
}

std::wstring HelpPointer(const std::wstring& verbWord) {
    const std::wstring help =
        verbWord.empty() ? L"service-wrapper-setup help" : L"service-wrapper-setup help " + verbWord;
    return L"Run " + help + L" for how to use it.\n";
}
