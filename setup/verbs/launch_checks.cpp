// What install, apply and set check and prepare for the launcher: that it is
// there beside the wrapper, which files it reads, and the log folder, made
// with its own access list when missing and audited when it is there.
#include <algorithm>
#include <optional>

#include "launcher/log_folder_access.h"
#include "setup/audit/access_review.h"
#include "setup/audit/security_reading.h"
#include "setup/windows_messages.h"
#include "setup/files.h"
#include "setup/manager/account_reading.h"
#include "setup/manager/log_folder.h"
#include "setup/manager/service_lookup.h"
#include "setup/model/configuration_review.h"
#include "setup/model/environment_references.h"
#include "setup/model/launch_values.h"
#include "setup/model/service_sid.h"
#include "setup/model/text.h"
#include "setup/system_variables.h"
#include "setup/verbs/config_verbs.h"

std::wstring DefaultLogDirOf(const std::wstring& serviceName) {
    return DefaultLogDir(ProgramDataFolder(), serviceName);
}

CheckProblem LauncherProblem(const ServiceCommandLine& line) {
    if (!line.launcher) return {};
    const std::wstring& path = line.launcher->path;
    const DWORD error = CheckFile(path);
    if (error == NO_ERROR) return {};
    return {L"the launcher " + Bracketed(path) + L" cannot be found beside the wrapper. " +
                WindowsError(error) +
                L" Put service-wrapper-launcher.exe there, or give --direct to run the program "
                L"as the wrapper's own child.",
            error};
}

std::vector<std::wstring> LaunchFilesToAudit(const ServiceCommandLine& line) {
    std::vector<std::wstring> files;
    if (!line.launcher) return files;
    files.push_back(line.launcher->path);
    if (!line.launcher->options.envFile.empty()) files.push_back(line.launcher->options.envFile);
    return files;
}

// The file exists to keep values out of the command line, which every user
// may read: one that a broad group may read keeps nothing secret.
void WarnReadableEnvFile(const ServiceConfig& started, CheckFindings& checks) {
    const ServiceCommandLine& line = started.commandLine;
    if (!line.launcher || line.launcher->options.envFile.empty()) return;
    const std::wstring& file = line.launcher->options.envFile;
    AccessList list;
    if (CheckFile(file) != NO_ERROR || ReadFileAccess(file, list) != NO_ERROR) return;
    const std::vector<std::wstring> readers = BroadReaders(list, AccountName);
    if (readers.empty()) return;
    checks.warnings.push_back(L"The environment file " + Bracketed(file) + L" may be read by " +
                              JoinWords(readers) +
                              L": the values in it are no more secret than the command line. "
                              L"Let only the administrators and the service's account read it "
                              L"(icacls can).");
}

// A working folder or environment file that is not there fails every start:
// the launcher stops with the Windows error before the program runs. Either
// may be made once the service is installed, so this is a warning.
static void WarnIfMissing(const wchar_t* what, const std::wstring& started,
                          const std::wstring& written, DWORD expected, CheckFindings& checks) {
    if (started.empty()) return;
    const DWORD found = CheckFile(started);
    if (found == expected) return;
    const bool missing = found == ERROR_FILE_NOT_FOUND || found == ERROR_PATH_NOT_FOUND;
    const std::wstring why = found == NO_ERROR        ? L"is a file"
                             : found == ERROR_DIRECTORY ? L"is a folder"
                             : missing                  ? L"cannot be found"
                                                        : L"cannot be looked at (" + WindowsError(found) + L")";
    checks.warnings.push_back(std::wstring(L"The ") + what + L" " +
                              NamedAsStarted(started, written) + L" " + why +
                              L": the launcher would fail at each start of the service, before "
                              L"the program runs, until it is there.");
}

void WarnOfMissingLaunchPaths(const ServiceConfig& started, const ServiceConfig& config,
                              CheckFindings& checks) {
    const std::optional<LauncherPart>& launcher = started.commandLine.launcher;
    const std::optional<LauncherPart>& written = config.commandLine.launcher;
    if (!launcher || !written) return;
    WarnIfMissing(L"working folder", launcher->options.workingDir, written->options.workingDir,
                  ERROR_DIRECTORY, checks);
    WarnIfMissing(L"environment file", launcher->options.envFile, written->options.envFile,
                  NO_ERROR, checks);
    // A missing log folder is made at the start; a file of its name fails it.
    if (!launcher->options.logDir.empty() && CheckFile(launcher->options.logDir) == NO_ERROR) {
        WarnIfMissing(L"log folder", launcher->options.logDir, written->options.logDir,
                      ERROR_DIRECTORY, checks);
    }
}

void RefuseLaunchPathsNotFull(const ServiceConfig& config, CheckFindings& checks) {
    if (!config.commandLine.launcher) return;
    const LauncherOptions& options = config.commandLine.launcher->options;
    const std::pair<const wchar_t*, std::wstring> paths[] = {
        {L"log folder", options.logDir}, {L"working folder", options.workingDir},
        {L"environment file", options.envFile}};
    for (const auto& [what, written] : paths) {
        if (written.empty() || IsAbsolutePath(written)) continue;
        const std::wstring problem =
            ReferencedPathProblem(what, written, ExpandReferences(written, SystemVariables()));
        if (!problem.empty()) checks.refusals.push_back(L"T" + problem.substr(1));
    }
}

std::wstring WatchedServiceProblem(const ServiceConfig& started) {
    const std::optional<LauncherPart>& launcher = started.commandLine.launcher;
    if (!launcher || SameIgnoringCase(launcher->options.serviceName, started.name)) return L"";
    const std::wstring& watched = launcher->options.serviceName;
    const std::wstring what =
        watched.empty() ? L"The launcher is given no service to watch (--service)"
                        : L"The launcher would watch the service " + Bracketed(watched) +
                              L", not this one";
    const std::wstring how =
        HoldsEnvironmentReference(started.name)
            ? L"the service control manager replaces the %NAME% references of the service's name "
              L"in its command line. Give --direct, or name the service without them."
            : L"apply writes the command line anew with this service's name.";
    return what + L": a stop would not send the program Ctrl+C, and would end it only when the "
                  L"stop timeout runs out; " + how;
}

// A folder this program made for another account (the service's account
// was changed, or a service of the same name had it before) lets only that
// one write: the launcher could not, and the output would be lost unsaid.
// sid: the service account's.
static void WarnOfFolderMadeForAnother(const ServiceConfig& config, const std::wstring& sid,
                                       const std::wstring& folder, const AccessList& list,
                                       CheckFindings& checks) {
    const std::optional<std::wstring> madeFor = LogFolderAccount(list);
    if (!madeFor || *madeFor == sid || *madeFor == ServiceSidOf(config.name)) return;
    const std::wstring name = AccountName(*madeFor);
    checks.warnings.push_back(
        L"The log folder " + Bracketed(folder) + L" was made for the account " +
        (name.empty() ? *madeFor : name + L" (" + *madeFor + L")") + L", which alone may write "
        L"there besides SYSTEM and the administrators, not for the service's account " +
        Printable(config.account) + L" (" + sid + L"): unless that is an administrator's account, the "
        L"program's output would be lost. Remove the "
        L"folder so that it is made again for this account, or let the account write there "
        L"(icacls can).");
}

// A write-restricted service writes only where its service SID may write
// too: a folder made for it before its SID type became restricted lacks
// that entry, and the launcher would write no line there. sid: the service
// account's.
static void WarnOfFolderMadeBeforeRestricted(const ServiceConfig& config, const std::wstring& sid,
                                             const std::wstring& folder, const AccessList& list,
                                             CheckFindings& checks) {
    if (config.sidType != SidType::Restricted) return;
    if (!MadeWithoutServiceSid(list, sid, ServiceSidOf(config.name))) return;
    const std::wstring account = L"NT SERVICE\\" + Printable(config.name);
    checks.warnings.push_back(
        L"The log folder " + Bracketed(folder) + L" was made before the service's SID type "
        L"became restricted, and does not let the service's own SID (" + account +
        L") write there: a write-restricted service may write only where that SID may, so the "
        L"program's output would be lost. Remove the folder so that it is made again, or let " +
        account + L" write there (icacls can).");
}

static std::wstring LogFolderOf(const ServiceCommandLine& started) {
    if (!started.launcher) return L"";
    return WithoutTrailingSeparators(started.launcher->options.logDir);
}

// A folder Windows cannot make as written: the default one when the
// service's name holds what no folder's name may.
void RefuseUnnamableLogFolder(const ServiceConfig& started, CheckFindings& checks) {
    const std::wstring folder = LogFolderOf(started.commandLine);
    const std::wstring problem = FolderPathProblem(folder);
    if (folder.empty() || problem.empty()) return;
    const bool byDefault = SameIgnoringCase(folder, DefaultLogDirOf(started.name));
    checks.refusals.push_back(
        std::wstring(byDefault ? L"The default log folder " : L"The log folder ") +
        Bracketed(folder) + L" cannot be made: " + problem + L"." +
        (byDefault ? L" It is named after the service. Give --log-dir another folder, or none."
                   : L" Give --log-dir another folder."));
}

// Two launchers logging into one folder write over each other's output.log
// and move each other's files when they rotate. Folders are compared by the
// full path Windows makes of each (. and .. steps, doubled separators), in
// the spellings Windows reads as one, and, when both exist, by identity
// (short names). A listing that fails refuses nothing: the check is a help,
// not a condition.
void RefuseSharedLogFolder(const ServiceConfig& started, CheckFindings& checks) {
    const std::wstring folder = LogFolderOf(started.commandLine);
    if (folder.empty()) return;
    std::vector<ListedService> services;
    std::vector<UnreadService> unread;
    if (ListWrappedServices(services, unread)) return;
    const std::vector<std::wstring> variables = SystemVariables();
    // Only a folder that is there has an identity to compare: no other
    // service's folder is opened for one that is not (a share out of reach
    // would hold the command up).
    const bool there = CheckFile(folder) == ERROR_DIRECTORY;
    const std::wstring full = FullPathOf(folder);
    for (const ListedService& other : services) {
        if (SameIgnoringCase(other.name, started.name)) continue;
        const std::wstring otherFolder = LogFolderOf(AsStarted(other.commandLine, variables));
        if (otherFolder.empty()) continue;
        if (!SameFolderPath(FullPathOf(otherFolder), full) &&
            !(there && SameFileOnDisk(otherFolder, folder))) {
            continue;
        }
        checks.refusals.push_back(L"The log folder " + Bracketed(folder) +
                                  L" is already the log folder of the service " + Printable(other.name) +
                                  L": two launchers writing one output.log would write over "
                                  L"each other's output. Give --log-dir a folder of its own.");
        return;
    }
}

// An existing folder is judged with the rights that count on the folder that
// holds the program, and stops the write like a writable program where a
// broad group has them. The folders above it that are there are judged as
// those above the program, whether it is there or not: whoever may rename one
// may put a folder or a link of their own in its place. The folder's access
// list is given back when it could be read.
static std::optional<AccessList> AuditFolder(AuditedKind kind, AuditedKind aboveKind,
                                             const wchar_t* what, const std::wstring& folder,
                                             CheckFindings& checks) {
    if (folder.empty()) return std::nullopt;
    const std::vector<AccessFinding> above = AuditFoldersAbove(aboveKind, folder);
    checks.access.insert(checks.access.end(), above.begin(), above.end());
    if (CheckFile(folder) != ERROR_DIRECTORY) return std::nullopt;
    AccessList list;
    const DWORD error = ReadFileAccess(folder, list);
    if (error != NO_ERROR) {
        checks.notes.push_back(std::wstring(L"The access list of the ") + what + L" " +
                               Bracketed(folder) + L" cannot be read. " + WindowsError(error));
        return std::nullopt;
    }
    const std::vector<AccessFinding> findings = ReviewAccess(kind, folder, list, AccountName);
    checks.access.insert(checks.access.end(), findings.begin(), findings.end());
    return list;
}

// Others who may write the log folder can plant links the service follows.
// The working folder stands in for the program's own: cmd.exe looks there
// first for each command a batch file runs, Windows there for a library
// found nowhere else, and the program there for what it reads by relative
// paths.
void AuditLaunchFolders(const ServiceConfig& started, CheckFindings& checks) {
    if (!started.commandLine.launcher) return;
    AuditFolder(AuditedKind::WorkingFolder, AuditedKind::WorkingFolderAbove, L"working folder",
                started.commandLine.launcher->options.workingDir, checks);
    const std::wstring folder = LogFolderOf(started.commandLine);
    const std::optional<AccessList> read = AuditFolder(
        AuditedKind::LogFolder, AuditedKind::LogFolderAbove, L"log folder", folder, checks);
    if (!read) return;
    const AccessList& list = *read;
    // Both judge the list against the account, looked up once.
    std::wstring sid;
    if (AccountSidOf(started.account, sid) != NO_ERROR) return;
    WarnOfFolderMadeForAnother(started, sid, folder, list, checks);
    WarnOfFolderMadeBeforeRestricted(started, sid, folder, list, checks);
}

CheckProblem PrepareLogFolder(const ServiceConfig& started, const ServiceConfig& config,
                              CheckFindings& checks) {
    const std::wstring folder = LogFolderOf(started.commandLine);
    if (folder.empty() || CheckFile(folder) == ERROR_DIRECTORY) return {};
    std::wstring sid;
    DWORD error = AccountSidOf(started.account, sid);
    if (error != NO_ERROR) {
        return {L"the SID of the account " + Printable(started.account) + L", which is to write the log "
                L"folder, cannot be found. " + WindowsError(error), error};
    }
    std::vector<std::wstring> made;
    // A write-restricted service writes only where its own SID may write too.
    const std::wstring serviceSid =
        started.sidType == SidType::Restricted ? ServiceSidOf(started.name) : L"";
    error = MakeLogFolder(folder, sid, serviceSid, made);
    if (error != NO_ERROR) {
        return {L"the log folder " + Bracketed(folder) + L" cannot be made. " +
                    WindowsError(error),
                error};
    }
    if (!made.empty()) {
        checks.madeLogFolders = made;
        checks.notes.push_back(L"Made the log folder " +
                               NamedAsStarted(folder, LogFolderOf(config.commandLine)) +
                               L", which only SYSTEM, the administrators and the service's "
                               L"account (" + sid + L") may write.");
    }
    return {};
}

CheckFindings UndoLogFolder(const CheckFindings& checks) {
    CheckFindings undone = checks;
    if (checks.madeLogFolders.empty()) return undone;
    const std::wstring& folder = checks.madeLogFolders.back();
    const std::wstring made = L"Made the log folder " + Bracketed(folder);
    std::vector<std::wstring>& notes = undone.notes;
    notes.erase(std::remove_if(notes.begin(), notes.end(),
                               [&made](const std::wstring& note) {
                                   return note.compare(0, made.size(), made) == 0;
                               }),
                notes.end());
    // RemoveDirectoryW removes only an empty folder: what was put in it stays.
    if (RemoveMadeFolders(checks.madeLogFolders)) {
        notes.push_back(L"The log folder " + Bracketed(folder) + L" made for it was removed again.");
    } else {
        notes.push_back(L"The log folder " + Bracketed(folder) + L" made for it is left: it could "
                        L"not be removed. " + WindowsError(GetLastError()));
    }
    undone.madeLogFolders.clear();
    return undone;
}
