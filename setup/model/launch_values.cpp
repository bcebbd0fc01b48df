#include "setup/model/launch_values.h"

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

std::wstring CurrentLogPath(const std::wstring& logDir) {
    return logDir + L"\\output.log";
}

std::wstring RotatedLogPath(const std::wstring& logDir, unsigned n) {
    return logDir + L"\\output." + std::to_wstring(n) + L".log";
}
