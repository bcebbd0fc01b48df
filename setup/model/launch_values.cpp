#include "setup/model/launch_values.h"

#include <algorithm>

#include "launcher/environment.h"
#include "setup/audit/access_review.h"
#include "setup/model/configuration_review.h"
#include "setup/model/service_command_line.h"
#include "setup/model/text.h"

static const wchar_t* const kSecretWords[] = {L"password", L"secret", L"token", L"key",
                                              L"credential"};

bool LooksSecret(const std::wstring& name) {
    const std::wstring lower = LowerAscii(name);
    for (const wchar_t* word : kSecretWords) {
        if (lower.find(word) != std::wstring::npos) return true;
    }
    return false;
}

std::wstring EnvName(const std::wstring& entry) {
    return entry.substr(0, entry.find(L'='));
}

std::wstring EnvEntryProblem(const std::wstring& entry) {
    const std::size_t equals = entry.find(L'=');
    if (equals == std::wstring::npos || equals == 0) {
        return L"--env takes NAME=VALUE, with a name before the =; \"" + Printable(entry) +
               L"\" is not one.";
    }
    if (NameHasBlankAround(entry)) {
        return L"--env takes NAME=VALUE with nothing around the name; \"" + Printable(entry) +
               L"\" names a variable with a blank in its name, which no program asks for.";
    }
    const std::wstring name = EnvName(entry);
    if (LooksSecret(name)) {
        return L"--env " + Printable(name) +
               L" looks like a secret, and the service's command line can be read by every "
               L"user of the machine. Put it in a file that only administrators and the "
               L"service's account may read, and give that file with --env-file.";
    }
    return L"";
}

std::optional<unsigned> ParseLogKeep(const std::wstring& text) {
    if (text.empty() || text.size() > 3) return std::nullopt;
    unsigned keep = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') return std::nullopt;
        keep = keep * 10 + static_cast<unsigned>(c - L'0');
    }
    return keep;
}

std::wstring DefaultLogDir(const std::wstring& programData, const std::wstring& serviceName) {
    std::wstring folder = programData;
    if (!folder.empty() && folder.back() != L'\\') folder += L'\\';
    return folder + L"Service Wrapper\\logs\\" + serviceName;
}

// The characters no file or folder name may hold, beyond the separators.
static const wchar_t* NameCharacterWord(wchar_t c) {
    switch (c) {
    case L'<': return L"a less-than sign (<)";
    case L'>': return L"a greater-than sign (>)";
    case L':': return L"a colon (:)";
    case L'|': return L"a vertical bar (|)";
    case L'?': return L"a question mark (?)";
    case L'*': return L"an asterisk (*)";
    case L'"': return L"a quotation mark (\")";
    default: return c < 0x20 ? L"a control character" : nullptr;
    }
}

std::wstring FolderPathProblem(const std::wstring& path) {
    std::size_t start = 0;
    const bool literal = TakenAsWritten(path);
    if (literal || path.compare(0, 4, L"\\\\.\\") == 0) start = 4;
    if (path.size() >= start + 2 && path[start + 1] == L':') start += 2;
    // Windows takes a slash for a backslash, except after \\?\.
    const wchar_t* const separators = literal ? L"\\" : L"\\/";
    while (start < path.size()) {
        std::size_t end = path.find_first_of(separators, start);
        if (end == std::wstring::npos) end = path.size();
        const std::wstring name = path.substr(start, end - start);
        for (wchar_t c : name) {
            if (const wchar_t* word = NameCharacterWord(c)) {
                return L"the name " + Bracketed(name) + L" in it holds " + word +
                       L", which no folder's name may hold";
            }
        }
        // . and .. are steps within the path; a name of more dots is dropped whole.
        const bool step = name.empty() || name == L"." || name == L"..";
        if (!literal && !step && (name.back() == L'.' || name.back() == L' ')) {
            return L"the name " + Bracketed(name) + L" in it ends in " +
                   (name.back() == L'.' ? L"a dot" : L"a blank") +
                   L", which Windows drops, so that a folder of another name would be made";
        }
        start = end + 1;
    }
    return L"";
}

// The path in one spelling of the many Windows reads as the same.
static std::wstring FolderSpelling(const std::wstring& path) {
    std::wstring folder = WithoutTrailingSeparators(path);
    const bool literal = TakenAsWritten(folder);
    const bool beforeDrive = folder.size() >= 6 && folder[5] == L':';
    if (literal && beforeDrive) return folder.substr(4);
    // \\.\ before a drive names the drive's own path, read as Windows reads one.
    if (beforeDrive && folder.compare(0, 4, L"\\\\.\\") == 0) folder = folder.substr(4);
    if (!literal) std::replace(folder.begin(), folder.end(), L'/', L'\\');
    return folder;
}

bool SameFolderPath(const std::wstring& a, const std::wstring& b) {
    return SameIgnoringCase(FolderSpelling(a), FolderSpelling(b));
}

std::wstring CurrentLogPath(const std::wstring& logDir) {
    return logDir + L"\\output.log";
}

std::wstring RotatedLogPath(const std::wstring& logDir, unsigned n) {
    return logDir + L"\\output." + std::to_wstring(n) + L".log";
}

// A full path, or none for the launcher's default. One that holds a %NAME%
// reference (%ProgramData%\logs) is judged once it is replaced, as the
// manager replaces it, by the checks before the service is written.
static std::wstring TakePath(const std::wstring& option, const std::wstring& value,
                             std::optional<std::wstring>& path) {
    if (SameIgnoringCase(value, L"none")) {
        path = L"";
        return L"";
    }
    if (!IsAbsolutePath(value) && !HoldsEnvironmentReference(value)) {
        return option + L" takes a full path, from the drive or share, or none; \"" +
               Printable(value) + L"\" is not one.";
    }
    path = value;
    return L"";
}

static std::wstring TakeSize(const std::wstring& value, LaunchOptions& launch) {
    launch.logSizeBytes = ParseByteSize(value);
    if (!launch.logSizeBytes || *launch.logSizeBytes == 0) {
        return L"--log-size takes a number of bytes above 0, with K, M or G for 1024 times as "
               L"many, such as 10M; \"" + Printable(value) + L"\" is not one.";
    }
    return L"";
}

static std::wstring TakeStopSignal(const std::wstring& value, LaunchOptions& launch) {
    if (SameIgnoringCase(value, L"ctrl-c")) {
        launch.stopSignal = StopSignal::kCtrlC;
    } else if (SameIgnoringCase(value, L"none")) {
        launch.stopSignal = StopSignal::kNone;
    } else {
        return L"--stop-signal takes ctrl-c or none, not \"" + Printable(value) + L"\".";
    }
    return L"";
}

std::wstring TakeLaunchOption(const std::wstring& option, const std::wstring& value,
                              LaunchOptions& launch) {
    if (option == L"--direct") launch.direct = true;
    if (option == L"--log-timestamps" || option == L"--no-log-timestamps") {
        if (launch.logTimestamps) return L"--log-timestamps and --no-log-timestamps are both given.";
        launch.logTimestamps = option == L"--log-timestamps";
    }
    if (option == L"--log-dir") {
        // The folder is made, stored and compared by its name, without a
        // separator after it.
        const std::wstring problem = TakePath(option, value, launch.logDir);
        if (problem.empty()) launch.logDir = WithoutTrailingSeparators(*launch.logDir);
        return problem;
    }
    if (option == L"--working-dir") return TakePath(option, value, launch.workingDir);
    if (option == L"--env-file") return TakePath(option, value, launch.envFile);
    if (option == L"--log-size") return TakeSize(value, launch);
    if (option == L"--stop-signal") return TakeStopSignal(value, launch);
    if (option == L"--log-keep") {
        launch.logKeep = ParseLogKeep(value);
        if (!launch.logKeep) {
            return L"--log-keep takes a number of old log files from 0 to 999, in the digits "
                   L"0-9 alone; \"" + Printable(value) + L"\" is not one.";
        }
    }
    if (option == L"--env") {
        launch.env.push_back(value);
        return EnvEntryProblem(value);
    }
    if (option == L"--unset-env") {
        if (value.empty() || value.find(L'=') != std::wstring::npos) {
            return L"--unset-env takes the NAME of a variable, not \"" + Printable(value) + L"\".";
        }
        launch.unsetEnv.push_back(value);
    }
    return L"";
}

std::wstring LaunchOptionsProblem(const LaunchOptions& launch) {
    if (launch.direct && GivesLauncherOption(launch)) {
        return L"--direct runs the program as the wrapper's own child, without the launcher, so "
               L"none of its options that ask for something (--log-dir, --log-size, --log-keep, "
               L"--log-timestamps, --working-dir, --env, --env-file, --stop-signal ctrl-c) can be "
               L"given with it.";
    }
    for (const std::wstring& name : launch.unsetEnv) {
        for (const std::wstring& entry : launch.env) {
            if (SameIgnoringCase(EnvName(entry), name)) {
                return L"--env and --unset-env both name " + Printable(name) + L".";
            }
        }
    }
    return L"";
}
