// The text and JSON of start, stop, restart, status and list: JSON parsed
// back as a script reads it, the text as a person reads it.
#include "setup/model/state_report.h"

#include <gtest/gtest.h>

namespace {

using nlohmann::json;

ListedService Listed(const std::wstring& name, DWORD state, DWORD pid,
                     const std::wstring& commandLine) {
    return {name, name + L" shown", {state, pid, NO_ERROR, 0},
            DecodeServiceCommandLine(commandLine)};
}

std::wstring Denied(DWORD code) {
    return code == ERROR_ACCESS_DENIED ? L"Access is denied." : L"";
}

TEST(StateReport, PendingReportsAreNamedByTheirState) {
    const struct {
        DWORD state;
        const wchar_t* line;
        const char* word;
    } kCases[] = {
        {SERVICE_START_PENDING, L"  start pending: checkpoint 2, wait hint 10000 ms\n", "starting"},
        {SERVICE_STOP_PENDING, L"  stop pending: checkpoint 2, wait hint 10000 ms\n", "stopping"},
        {SERVICE_PAUSE_PENDING, L"  pausing: checkpoint 2, wait hint 10000 ms\n", "pausing"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.word);
        SERVICE_STATUS_PROCESS status = {};
        status.dwCurrentState = c.state;
        status.dwCheckPoint = 2;
        status.dwWaitHint = 10000;
        EXPECT_EQ(PendingLine(status), c.line);
        const json j = json::parse(JsonDocument(PendingJson(status)));
        EXPECT_EQ(j, json({{"state", c.word}, {"checkPoint", 2}, {"waitHintMs", 10000}}));
    }
}

TEST(StateReport, ListsEachServiceOnALineInColumns) {
    const std::vector<ListedService> services = {
        Listed(L"Up", SERVICE_RUNNING, 40, L"\"C:\\W\\service-wrapper.exe\" 1000 \"C:\\P\\u.exe\""),
        Listed(L"Fetch\tMail", SERVICE_STOPPED, 0,
               L"\"C:\\W\\service-wrapper.exe\" 1000 \"C:\\P\\line\nbreak.exe\""),
        Listed(L"Bad", SERVICE_START_PENDING, 8, L"C:\\Program Files\\service-wrapper.exe 1 x.exe"),
    };
    EXPECT_EQ(RenderListText(services),
              L"NAME            STATE     PROGRAM\n"
              L"Up              running   C:\\P\\u.exe\n"
              L"Fetch<TAB>Mail  stopped   C:\\P\\line<LF>break.exe\n"
              L"Bad             starting  (the command line does not read as the wrapper's; see show) "
              L"C:\\Program Files\\service-wrapper.exe 1 x.exe\n");
    EXPECT_EQ(RenderListText({}), L"No wrapped service is installed.\n");

    const json j = json::parse(
        JsonDocument(ListJson(services, {{L"Locked", ERROR_ACCESS_DENIED}}, Denied)));
    ASSERT_EQ(j["services"].size(), 3u);
    const json& second = j["services"][1];
    EXPECT_EQ(second["name"], "Fetch\tMail");
    EXPECT_EQ(second["displayName"], "Fetch\tMail shown");
    EXPECT_EQ(second["state"], "stopped");
    EXPECT_EQ(second["pid"], 0);
    EXPECT_EQ(second["program"], "C:\\P\\line\nbreak.exe");
    EXPECT_EQ(second["wrapperPath"], "C:\\W\\service-wrapper.exe");
    EXPECT_EQ(second["stopTimeoutMs"], 1000);
    EXPECT_EQ(second["arguments"], json::array());
    EXPECT_EQ(j["services"][0]["pid"], 40);
    const json& undecoded = j["services"][2];
    EXPECT_EQ(undecoded["commandLine"], "C:\\Program Files\\service-wrapper.exe 1 x.exe");
    for (const char* field : {"wrapperPath", "stopTimeoutMs", "program", "arguments"}) {
        EXPECT_TRUE(undecoded[field].is_null()) << field;
    }
    ASSERT_EQ(j["unread"].size(), 1u);
    EXPECT_EQ(j["unread"][0]["name"], "Locked");
    EXPECT_EQ(j["unread"][0]["error"]["code"], 5);
    EXPECT_EQ(j["unread"][0]["error"]["text"], "Access is denied.");
    EXPECT_EQ(RenderUnreadText({{L"Locked", ERROR_ACCESS_DENIED}}, Denied),
              L"Note: The configuration of the service Locked could not be read, so it is not "
              L"known whether it is a wrapped service. Windows error 5: Access is denied.\n");
}

}  // namespace
