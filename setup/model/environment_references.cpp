#include "setup/model/environment_references.h"

#include <optional>

#include "setup/audit/access_review.h"
#include "setup/model/text.h"

static std::optional<std::wstring> ValueOf(const std::wstring& name,
                                           const std::vector<std::wstring>& variables) {
    for (const std::wstring& entry : variables) {
        const std::size_t equals = entry.find(L'=', 1);  // "=C:=C:\..." names begin with "="
        if (equals != std::wstring::npos && SameIgnoringCase(entry.substr(0, equals), name)) {
            return entry.substr(equals + 1);
        }
    }
    return std::nullopt;
}

Expansion ExpandReferences(const std::wstring& text, const std::vector<std::wstring>& variables) {
    Expansion expansion;
    std::size_t at = 0;
    for (;;) {
        const std::size_t open = text.find(L'%', at);
        const std::size_t close = open == std::wstring::npos ? open : text.find(L'%', open + 1);
        if (close == std::wstring::npos) break;
        expansion.text += text.substr(at, open - at);
        const std::wstring name = text.substr(open + 1, close - open - 1);
        const std::optional<std::wstring> value =
            name.empty() ? std::nullopt : ValueOf(name, variables);
        if (value) {
            expansion.text += *value;
        } else {
            // Left as written, closing mark and all; the search goes on after it.
            expansion.text += text.substr(open, close - open + 1);
            if (!name.empty()) expansion.unknownNames.push_back(name);
        }
        at = close + 1;
    }
    expansion.text += text.substr(at);
    return expansion;
}

std::wstring ReferencedPathProblem(const wchar_t* what, const std::wstring& given,
                                   const Expansion& expansion) {
    const std::wstring path = std::wstring(L"the ") + what + L" " + Bracketed(given);
    if (!expansion.unknownNames.empty()) {
        return path + L" names %" + expansion.unknownNames[0] +
               L"%, which is no variable of the system's: the service control manager leaves "
               L"such a reference as written, and no file of that name would be found.";
    }
    if (!IsAbsolutePath(expansion.text)) {
        return path + L" is " + Bracketed(expansion.text) +
               L" once the service control manager replaces its %NAME% references, which is "
               L"not a full path.";
    }
    return L"";
}

ServiceCommandLine AsStarted(const ServiceCommandLine& line,
                             const std::vector<std::wstring>& variables) {
    return DecodeServiceCommandLine(ExpandReferences(line.text, variables).text);
}

std::wstring StartedLogDir(const ServiceCommandLine& line,
                           const std::vector<std::wstring>& variables) {
    const ServiceCommandLine started = AsStarted(line, variables);
    if (!started.launcher) return L"";
    return WithoutTrailingSeparators(started.launcher->options.logDir);
}

std::wstring NamedAsStarted(const std::wstring& started, const std::wstring& written) {
    if (started == WithoutTrailingSeparators(written)) return Bracketed(started);
    return Bracketed(started) + L" (written as " + Bracketed(written) + L")";
}

std::wstring StartedSplitProblem(const ServiceCommandLine& line,
                                 const std::vector<std::wstring>& variables) {
    std::vector<std::wstring> expected;
    for (const std::wstring& element : line.elements) {
        expected.push_back(ExpandReferences(element, variables).text);
    }
    const std::wstring problem =
        CompareSplit(ExpandReferences(line.text, variables).text, expected);
    if (problem.empty()) return L"";
    return L"once the service control manager replaces the %NAME% references in the command "
           L"line, the wrapper would read it otherwise: " + problem + L".";
}
