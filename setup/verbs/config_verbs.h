// What install, apply and set share: the checks made before anything is
// written, the service opened and read for a change, install's writing and
// report (which apply makes for a missing service), and the writing and
// report of changes.
#pragma once

#include <string>

#include "platform/platform.h"
#include "setup/manager/service_reading.h"
#include "setup/audit/findings_report.h"
#include "setup/model/service_config.h"
#include "setup/model/setup_options.h"
#include "setup/password_input.h"

// Why the command cannot go ahead, and the Windows error behind it, if any.
struct CheckProblem {
    std::wstring why;  // empty: nothing stands in the way
    DWORD error = NO_ERROR;
};

// The program as the service will name it: a full path to an existing
// file, or a bare name resolved now where the service with this wrapper
// would find it, so that it never searches; where is a note in checks. A
// path with %NAME% references is judged with them replaced by the system's
// variables, as the manager will replace them, and written as given.
CheckProblem ResolveProgram(const std::wstring& given, const std::wstring& wrapper,
                            std::wstring& program, CheckFindings& checks);

// The wrapper given, or the one beside this program, as a full path to an
// existing file (references judged as for the program).
CheckProblem ResolveWrapper(const std::wstring& given, std::wstring& wrapper,
                            CheckFindings& checks);

// A composed command line must run: the launcher it names is there, and
// the wrapper's splitting reads back exactly the elements it was made
// from, before and after the manager replaces its %NAME% references.
CheckProblem ComposedLineProblem(const ServiceCommandLine& line);

// install's and apply's record: every check, then every option not given
// at its default.
CheckProblem DesiredFromOptions(const SetupCommand& command, DesiredConfig& desired,
                                CheckFindings& checks);

// What the record's program is to Windows and to the wrapper: a Windows
// program this system runs (a batch file is judged by its arguments
// instead), and the rules of program_rules.h. Nothing for a service that is
// not wrapped. Each finding goes to its level in checks.
void CheckProgram(const ServiceConfig& config, ReviewFor reviewFor, CheckFindings& checks);

// install's, apply's and set's checks of the record they are about to
// write: the program's, then who may change the wrapper, the program and
// the folders above them. Gives the problem that stops the write; checks
// holds every finding, which is printed in any case. A change that only
// lessens what runs (see lessening_change.h) is never stopped.
CheckProblem CheckBeforeWriting(const SetupCommand& command, const ServiceConfig& config,
                                CheckFindings& checks, bool onlyLessens = false);

// A user account (DOMAIN\user, .\user) looked up: SYSTEM, LocalService
// and NetworkService however spelt become the names the manager takes for
// them, and a group, an alias or a name of no account is refused.
CheckProblem CheckUserAccount(ServiceConfig& config);

// The log folder a service gets unless told otherwise, under %ProgramData%.
std::wstring DefaultLogDirOf(const std::wstring& serviceName);

// A line that runs the launcher needs it beside the wrapper.
CheckProblem LauncherProblem(const ServiceCommandLine& line);

// The files the launcher brings that the audit judges like the program:
// the launcher itself and the environment file it reads.
std::vector<std::wstring> LaunchFilesToAudit(const ServiceCommandLine& line);

// The launcher's files and folders are judged, made and named as it will
// use them: started is the record with its %NAME% references replaced, as
// the manager replaces them at each start.

// A refusal for each of the launcher's folders and file written with a
// %NAME% reference in front that is no full path once it is replaced, or
// names no variable of the system's (one written as a full path is taken).
void RefuseLaunchPathsNotFull(const ServiceConfig& config, CheckFindings& checks);

// Why the launcher would watch another service than this one for its stop
// (the manager replaces %NAME% references in the name it is given), or
// empty.
std::wstring WatchedServiceProblem(const ServiceConfig& started);

// A warning for each of the launcher's working folder and environment file
// that is not there as what it must be.
void WarnOfMissingLaunchPaths(const ServiceConfig& started, const ServiceConfig& config,
                              CheckFindings& checks);

// A warning when the launcher's environment file is there and a broad group
// may read it: its values are meant to be secret.
void WarnReadableEnvFile(const ServiceConfig& started, CheckFindings& checks);

// The log folder and the working folder of the line's launcher, when they
// are there, audited like the program's folder: their findings join
// checks.access, so that a folder a broad group may write is refused like
// the program's.
void AuditLaunchFolders(const ServiceConfig& started, CheckFindings& checks);

// A refusal in checks when another wrapped service's launcher logs into the
// same folder.
void RefuseSharedLogFolder(const ServiceConfig& started, CheckFindings& checks);
// A log folder whose path Windows cannot make as written is refused.
void RefuseUnnamableLogFolder(const ServiceConfig& started, CheckFindings& checks);

// The log folder made if missing, with a note that it was, which names it
// as written in config too when that differs.
CheckProblem PrepareLogFolder(const ServiceConfig& started, const ServiceConfig& config,
                              CheckFindings& checks);

// When nothing was written after all: the log folder made for it removed
// again if it is still empty, and the findings saying so instead of that it
// was made.
CheckFindings UndoLogFolder(const CheckFindings& checks);

// The user account's password, read as the options say. Gives the problem.
CheckProblem ReadPasswordOf(const SetupCommand& command, const std::wstring& account,
                            Password& password);

// "Cannot install X: why", what the checks found, "Nothing was installed."
// and the like, before anything was written. Gives kExitFailed.
int RefuseBeforeWriting(const SetupCommand& command, const CheckProblem& problem,
                        const CheckFindings& checks = {});

// The service of the command's name, opened to be changed and read as it
// is now. error is ERROR_SERVICE_DOES_NOT_EXIST for a missing name; any
// other failure comes with its words. With --restart, the handle may stop
// the service too.
struct ServiceToChange {
    OpenedService opened;
    ServiceConfig current;
    DWORD error;
    std::wstring why;
    // It runs with a configuration written since it started.
    bool changedSinceStart = false;
};
ServiceToChange OpenForChange(const SetupCommand& command);

// A service that is there but is no wrapped service, or one whose command
// line does not read as the wrapper's: nothing of it is touched.
CheckProblem NotChangeable(const ServiceConfig& current, bool needsDecoded);

// Creates the service and prints what was written and what the checks
// found, or why it was not. password: a user account's, else null.
int InstallAndReport(const SetupCommand& command, const DesiredConfig& desired,
                     const CheckFindings& checks, LPCWSTR password);

// Writes what differs between the service as it is and the record, and a
// new password when one is given, and prints each change (the password as
// changed, never itself), or that nothing needed changing, or why it
// failed. With --restart, a running service whose changes wait for its
// next start is stopped and started again, each pending report printed as
// it comes.
int ChangeAndReport(const SetupCommand& command, const ServiceToChange& service,
                    const DesiredConfig& desired, const CheckFindings& checks, LPCWSTR password);
