#include "setup/verb_output.h"

#include "setup/console.h"
#include "setup/model/config_json.h"

void PrintJson(const nlohmann::json& document) {
    const std::string text = JsonDocument(document);
    // Back to UTF-16 for the one writer that knows consoles, files and pipes.
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                           nullptr, 0);
    if (length <= 0) return;
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &wide[0], length);
    PrintOut(wide);
}

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
