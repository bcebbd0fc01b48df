// What install, apply and set share: the checks made before anything is
// written, the service opened and read for a change, install's writing and
// report (which apply makes for a missing service), and the writing and
// report of changes.
#pragma once

#include <string>

#include "platform/platform.h"
#include "setup/model/service_config.h"
#include "setup/model/setup_options.h"

// Why the command cannot go ahead, and the Windows error behind it, if any.
struct CheckProblem {
    std::wstring why;  // empty: nothing stands in the way
    DWORD error = NO_ERROR;
};

// What this version cannot write yet: a user account and its password.
CheckProblem UnwritableOptions(const ConfigOptions& options);

// The program as the service will name it: a full path to an existing
// file, or a bare name resolved now, so that the service never searches.
CheckProblem ResolveProgram(const std::wstring& given, std::wstring& program);

// The wrapper given, or the one beside this program, as a full path to an
// existing file.
CheckProblem ResolveWrapper(const std::wstring& given, std::wstring& wrapper);

// The composed command line read back by the wrapper's splitting must give
// exactly the elements it was made from.
CheckProblem ReadBackProblem(const ServiceCommandLine& line);

// install's and apply's record: every check, then every option not given
// at its default.
CheckProblem DesiredFromOptions(const SetupCommand& command, DesiredConfig& desired);

// "Cannot install X: why\nNothing was installed." and the like, before
// anything was written. Gives kExitFailed.
int RefuseBeforeWriting(const SetupCommand& command, const CheckProblem& problem);

// The service of the command's name, opened to be changed and read as it
// is now. error is ERROR_SERVICE_DOES_NOT_EXIST for a missing name; any
// other failure comes with its words. Closed again by CloseOpenedService.
// With --restart, the handle may stop the service too.
struct OpenedService {
    SC_HANDLE manager;
    SC_HANDLE service;
    ServiceConfig current;
    SERVICE_STATUS_PROCESS status;
    DWORD error;
    std::wstring why;
};
OpenedService OpenForChange(const SetupCommand& command);
void CloseOpenedService(OpenedService& opened);

// A service that is there but is no wrapped service, or one whose command
// line does not read as the wrapper's: nothing of it is touched.
CheckProblem NotChangeable(const ServiceConfig& current, bool needsDecoded);

// Creates the service and prints what was written, or why it was not.
int InstallAndReport(const SetupCommand& command, const DesiredConfig& desired);

// Writes what differs between the service as it is and the record, and
// prints each change, or that nothing needed changing, or why it failed.
// With --restart, a running service whose changes wait for its next start
// is stopped and started again, each pending report printed as it comes.
int ChangeAndReport(const SetupCommand& command, OpenedService& opened,
                    const DesiredConfig& desired);
