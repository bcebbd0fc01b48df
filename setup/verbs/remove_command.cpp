// remove: the recovery settings cleared, the stop followed to its end, then
// the service deleted; nothing is deleted unless it has stopped.
#include "setup/verbs/commands.h"
#include "setup/console.h"
#include "setup/model/command_hints.h"
#include "setup/model/service_command_line.h"
#include "setup/model/state_report.h"
#include "setup/model/text.h"
#include "setup/manager/remove_service.h"
#include "setup/manager/service_lookup.h"
#include "setup/verbs/state_verbs.h"

static const char* RecoveryWord(RecoveryClearing recovery) {
    switch (recovery) {
    case RecoveryClearing::Cleared: return "cleared";
    case RecoveryClearing::NothingToClear: return "nothingToClear";
    case RecoveryClearing::NotCleared: return "notCleared";
    }
    return "unknown";
}

static const char* RestoreWord(RecoveryRestore restore) {
    switch (restore) {
    case RecoveryRestore::NotNeeded: return "notNeeded";
    case RecoveryRestore::WrittenBack: return "writtenBack";
    case RecoveryRestore::Unknown: return "unknown";
    case RecoveryRestore::Failed: return "failed";
    }
    return "unknown";
}

// What became of the recovery settings of a service that is still there.
static std::wstring RestoreText(const RemoveOutcome& outcome) {
    switch (outcome.restore) {
    case RecoveryRestore::NotNeeded: return L"";
    case RecoveryRestore::WrittenBack:
        return L" Its recovery settings were written back as they were.";
    case RecoveryRestore::Unknown:
        return L" Its recovery settings were cleared; the service control manager could not "
               L"report them beforehand, so they could not be written back.";
    case RecoveryRestore::Failed:
        return L" Its recovery settings were cleared and could not be written back (" +
               WindowsError(outcome.restoreError) + L").";
    }
    return L"";
}

// Sets the recovery words, whatever the outcome.
static void PutOutcome(VerbOutput& out, const RemoveOutcome& outcome) {
    out.document["recovery"] = RecoveryWord(outcome.recovery);
    out.document["recoveryRestore"] = RestoreWord(outcome.restore);
    out.document["removed"] = outcome.deleted || outcome.alreadyMarkedForDelete;
    out.document["alreadyMarkedForDelete"] = outcome.alreadyMarkedForDelete;
}

// Only a wrapped service is removed: any other is left exactly as it is,
// and one whose command line cannot be read may be any other. Gives the
// exit code of the refusal, or 0 to go on.
static int RefuseForeign(VerbOutput& out, DWORD readError, const std::wstring& commandLine) {
    const std::wstring nothing = L"\nNothing was changed.";
    out.document["removed"] = false;
    if (readError != NO_ERROR) {
        return Fail(out, L"remove",
                    L"cannot read its configuration, so whether it is a wrapped service is not "
                    L"known.",
                    readError, kExitFailed, nothing);
    }
    const std::wstring problem =
        NotWrappedProblem(out.name, DecodeServiceCommandLine(commandLine), L"removed");
    if (problem.empty()) return 0;
    return Fail(out, L"remove", problem, NO_ERROR, kExitFailed, nothing);
}

int RunRemove(const std::wstring& name, bool json, bool noWait) {
    VerbOutput out = NewOutput(json, name);
    ServiceHandles handles;
    if (auto failure = OpenServiceByName(name, kRemoveServiceAccess, handles)) {
        return Fail(out, L"remove", failure->problem, failure->error, kExitFailed);
    }
    std::wstring commandLine;
    const DWORD readError = ReadCommandLine(handles.service, commandLine);
    if (int refused = RefuseForeign(out, readError, commandLine)) {
        CloseServiceHandles(handles);
        return refused;
    }
    SERVICE_STATUS_PROCESS before = {};
    if (!noWait && ReadStatus(handles.service, before) == NO_ERROR &&
        before.dwCurrentState != SERVICE_STOPPED) {
        Say(out, L"Stopping the service " + Printable(name) + L"...\n");
    }

    nlohmann::json& stopPhase = out.document["stop"];
    nlohmann::json pending;
    const RemoveOutcome outcome =
        StopAndDeleteService(handles.service, PendingSink(out, pending), /*follow=*/!noWait);
    CloseServiceHandles(handles);
    stopPhase = {{"alreadyStopped", outcome.stop.stateBefore == SERVICE_STOPPED},
                 {"pendingReports", pending}};
    PutStatus(stopPhase, outcome.stop.status, commandLine);
    PutOutcome(out, outcome);
    if (outcome.recovery == RecoveryClearing::NotCleared) {
        Warn(out,
             L"The recovery settings of the service " + Printable(name) +
                 L" could not be cleared, so a restart Windows has already scheduled could start "
                 L"it again while it is removed.",
             outcome.recoveryError);
    }
    if (outcome.stopFailed) {
        return Fail(out, L"remove", outcome.stop.problem, outcome.stop.error, kExitFailed,
                    L" It was not deleted." + RestoreText(outcome));
    }
    const bool stopping = outcome.stop.status.dwCurrentState != SERVICE_STOPPED;
    if (outcome.stop.stateBefore != SERVICE_STOPPED && !stopping) {
        Say(out, L"  stopped, exit code " + ExplainedExitCode(outcome.stop.status, commandLine) +
                     L"\n");
    }
    if (outcome.deleteError != NO_ERROR) {
        return Fail(out, L"remove", L"cannot delete it.", outcome.deleteError, kExitFailed,
                    RestoreText(outcome));
    }
    if (outcome.deleted && stopping) {
        Say(out, L"Asked the service " + Printable(name) + L" to stop, and deleted it: Windows "
                 L"removes it once it has stopped.\n");
        return Finish(out, kExitDone);
    }
    Say(out, outcome.deleted ? L"Removed the service " + Printable(name) + L".\n"
                             : L"The service " + Printable(name) +
                                   L" was already deleted; Windows removes it once every program "
                                   L"that has it open lets go of it.\n");
    return Finish(out, kExitDone);
}
