// remove: a wrapped service only; its recovery settings cleared, the stop
// followed to its end, then the service deleted; nothing is deleted unless
// it has stopped (or, with --no-wait, has been asked to).
#include "setup/verbs/commands.h"
#include "setup/windows_messages.h"
#include "setup/model/command_hints.h"
#include "setup/model/environment_references.h"
#include "setup/model/service_command_line.h"
#include "setup/model/state_report.h"
#include "setup/model/text.h"
#include "setup/manager/remove_service.h"
#include "setup/manager/service_lookup.h"
#include "setup/system_variables.h"
#include "setup/verbs/follow_output.h"

// The document's stop phase and recovery words, whatever the outcome.
static void PutOutcome(VerbOutput& out, const RemoveOutcome& outcome, const nlohmann::json& pending,
                       const std::wstring& commandLine) {
    nlohmann::json& stopPhase = out.document["stop"];
    stopPhase = {{"alreadyStopped", outcome.stop.stateBefore == SERVICE_STOPPED},
                 {"pendingReports", pending}};
    PutStatus(stopPhase, outcome.stop.status, commandLine);
    out.document["recovery"] = RecoveryClearingWord(outcome.recovery);
    out.document["recoveryRestore"] = RecoveryRestoreWord(outcome.restore);
    out.document["removed"] = outcome.deleted || outcome.alreadyMarkedForDelete;
    out.document["alreadyMarkedForDelete"] = outcome.alreadyMarkedForDelete;
}

// remove leaves the launcher's log behind, for whoever must read it later:
// in the folder the launcher wrote, its %NAME% references replaced.
static void SayWhereTheLogIs(VerbOutput& out, const std::wstring& commandLine) {
    const ServiceCommandLine line = DecodeServiceCommandLine(commandLine);
    const bool kept = line.launcher && !line.launcher->options.logDir.empty();
    if (!kept) {
        out.document["logDir"] = nullptr;
        return;
    }
    const std::wstring& written = line.launcher->options.logDir;
    std::wstring folder = StartedLogDir(line, SystemVariables());
    // A line that no longer reads as the wrapper's once they are replaced
    // names no other folder.
    if (folder.empty()) folder = written;
    out.document["logDir"] = ToUtf8(folder);
    Say(out, L"Its log is left in " + NamedAsStarted(folder, written) +
                 L"; delete that folder once it is no longer needed.\n");
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

// The service deleted: gone, or (after a stop asked for and not followed)
// gone once it has stopped, or deleted already by someone else.
static int SayDeleted(VerbOutput& out, const RemoveOutcome& outcome,
                      const std::wstring& commandLine) {
    const std::wstring name = Printable(out.name);
    if (outcome.deleted && outcome.stop.status.dwCurrentState != SERVICE_STOPPED) {
        Say(out, L"Asked the service " + name + L" to stop, and deleted it: Windows removes it "
                 L"once it has stopped.\n");
    } else {
        Say(out, outcome.deleted ? L"Removed the service " + name + L".\n"
                                 : L"The service " + name +
                                       L" was already deleted; Windows removes it once every "
                                       L"program that has it open lets go of it.\n");
    }
    SayWhereTheLogIs(out, commandLine);
    return Finish(out, kExitDone);
}

// The outcome in words: recovery settings left in place, a stop or a
// deletion that failed, or the service removed.
static int ReportOutcome(VerbOutput& out, const RemoveOutcome& outcome,
                         const std::wstring& commandLine) {
    const std::wstring name = Printable(out.name);
    if (outcome.recovery == RecoveryClearing::NotCleared) {
        Warn(out,
             L"The recovery settings of the service " + name +
                 L" could not be cleared, so a restart Windows has already scheduled could start "
                 L"it again while it is removed.",
             outcome.recoveryError);
    }
    const std::wstring restored =
        RecoveryRestoreText(outcome.restore, outcome.restoreError, SystemMessageTemplate);
    if (outcome.stopFailed) {
        return Fail(out, L"remove", outcome.stop.problem, outcome.stop.error, kExitFailed,
                    L" It was not deleted." + restored);
    }
    if (outcome.stop.stateBefore != SERVICE_STOPPED &&
        outcome.stop.status.dwCurrentState == SERVICE_STOPPED) {
        Say(out, L"  stopped, exit code " + ExplainedExitCode(outcome.stop.status, commandLine) +
                     L"\n");
    }
    if (outcome.deleteError != NO_ERROR) {
        return Fail(out, L"remove", L"cannot delete it.", outcome.deleteError, kExitFailed,
                    restored);
    }
    return SayDeleted(out, outcome, commandLine);
}

int RunRemove(const std::wstring& name, bool json, bool noWait) {
    VerbOutput out = NewOutput(json, name);
    ServiceHandles handles;
    if (auto failure = OpenServiceByName(name, kRemoveServiceAccess, handles)) {
        return Fail(out, L"remove", failure->problem, failure->error, kExitFailed);
    }
    std::wstring commandLine;
    const DWORD readError = ReadCommandLine(handles.service.handle, commandLine);
    if (int refused = RefuseForeign(out, readError, commandLine)) return refused;
    SERVICE_STATUS_PROCESS before = {};
    if (!noWait && ReadStatus(handles.service.handle, before) == NO_ERROR &&
        before.dwCurrentState != SERVICE_STOPPED) {
        Say(out, L"Stopping the service " + Printable(name) + L"...\n");
    }
    nlohmann::json pending;
    const RemoveOutcome outcome =
        StopAndDeleteService(handles.service.handle, PendingSink(out, pending),
                             /*follow=*/!noWait);
    CloseServiceHandles(handles);
    PutOutcome(out, outcome, pending, commandLine);
    return ReportOutcome(out, outcome, commandLine);
}
