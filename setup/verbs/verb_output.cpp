#include "setup/verbs/verb_output.h"

#include "setup/console.h"
#include "setup/model/config_json.h"

// The document as UTF-16 for PrintOut, which writes UTF-8 to a file or a
// pipe and UTF-16 to a console.
static std::wstring FromUtf8(const std::string& text) {
    if (text.empty()) return L"";
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                           nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &wide[0], length);
    return wide;
}

void PrintJson(const nlohmann::json& document) {
    PrintOut(FromUtf8(JsonDocument(document)));
}

int PrintReport(const VerbReport& report, bool json, int exitCode) {
    if (json) {
        PrintJson(report.document);
    } else if (report.failed) {
        PrintError(report.text);
    } else {
        PrintOut(report.text);
    }
    return exitCode;
}
