#include "setup/verbs/verb_output.h"

#include "setup/console.h"
#include "setup/model/config_json.h"
#include "setup/verbs/state_verbs.h"

int ReportFailure(bool json, const std::wstring& message, std::optional<DWORD> error,
                  nlohmann::json document, int exitCode) {
    if (!json) {
        PrintError(message);
        return exitCode;
    }
    std::wstring sentence = message;
    while (!sentence.empty() && sentence.back() == L'\n') sentence.pop_back();
    document["error"] = ErrorJson(sentence, error, error ? SystemMessage(*error) : L"")["error"];
    PrintJson(document);
    return exitCode;
}
