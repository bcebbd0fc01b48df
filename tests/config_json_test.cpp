// Every JSON document is parsed back and its fields checked, as a script
// reading the output would.
#include "setup/model/config_json.h"

#include <gtest/gtest.h>

#include "setup/model/compose_config.h"
#include "setup/model/config_text.h"
#include "setup/model/text.h"

namespace {

using nlohmann::json;

json Parsed(const json& document) {
    return json::parse(JsonDocument(document));
}

TEST(ConfigJson, CarriesTheWholeRecordWithTheElementsDecoded) {
    ConfigOptions options;
    options.stopTimeoutMs = 30000;
    options.arguments = {L"a\tb", L"\u00e9\U0001F600", L""};
    options.launch.direct = true;
    DesiredConfig desired =
        ComposeInstallConfig(L"U", options, L"C:\\W\\service-wrapper.exe", L"C:\\P\\u.exe");
    desired.config.dependencies = {L"Tcpip"};
    desired.config.sidType = SidType::Restricted;
    const json j = Parsed(ConfigJson(desired.config));
    EXPECT_EQ(j["name"], "U");
    EXPECT_EQ(j["commandLine"], ToUtf8(desired.config.commandLine.text));
    EXPECT_EQ(j["elements"].size(), 6u);
    EXPECT_EQ(j["wrapped"], true);
    EXPECT_EQ(j["wrapperPath"], "C:\\W\\service-wrapper.exe");
    EXPECT_EQ(j["stopTimeoutMs"], 30000);
    EXPECT_EQ(j["program"], "C:\\P\\u.exe");
    EXPECT_EQ(j["arguments"], json({"a\tb", "\xc3\xa9\xf0\x9f\x98\x80", ""}));
    EXPECT_EQ(j["displayName"], "U");
    EXPECT_EQ(j["description"], "Runs C:\\P\\u.exe as a service.");
    EXPECT_EQ(j["startType"], "auto");
    EXPECT_EQ(j["delayedAutoStart"], false);
    EXPECT_EQ(j["account"], "LocalSystem");
    EXPECT_EQ(j["accountKind"], "localSystem");
    EXPECT_EQ(j["preshutdownTimeoutMs"], 30000);
    EXPECT_EQ(j["recovery"]["resetPeriodSeconds"], 86400);
    EXPECT_EQ(j["recovery"]["actions"][2]["type"], "restart");
    EXPECT_EQ(j["recovery"]["actions"][2]["delayMs"], 60000);
    EXPECT_EQ(j["failureOnNonZeroExit"], true);
    EXPECT_EQ(j["dependencies"], json({"Tcpip"}));
    EXPECT_EQ(j["sidType"], "restricted");
    EXPECT_TRUE(j["requiredPrivileges"].is_null());

    // What could not be read, or decoded, is null, never a made-up value.
    ServiceConfig unread = desired.config;
    unread.commandLine = DecodeServiceCommandLine(L"C:\\Program Files\\service-wrapper.exe 1 p");
    unread.recovery.reset();
    unread.failureOnNonZeroExit.reset();
    unread.delayedAutoStart.reset();
    unread.description.reset();
    const json u = Parsed(ConfigJson(unread));
    for (const char* field : {"wrapperPath", "stopTimeoutMs", "program", "arguments", "recovery",
                              "failureOnNonZeroExit", "delayedAutoStart", "description"}) {
        EXPECT_TRUE(u[field].is_null()) << field;
    }
    EXPECT_EQ(u["wrapped"], true);
    EXPECT_EQ(u["elements"][0], "C:\\Program");
}

TEST(StatusJson, GivesStatePidAndExitCodes) {
    const json j = Parsed(StatusJson(StatusReport{SERVICE_STOPPED, 0, 1066, 7}, L"1066: the program ended"));
    EXPECT_EQ(j, json::parse(R"({"state": "stopped", "pid": 0, "exitCode": 1066,
                                 "serviceSpecificExitCode": 7, "exitCodeText": "1066: the program ended"})"));
}

TEST(ErrorJson, GivesTheMessageCodeAndText) {
    EXPECT_EQ(Parsed(ErrorJson(L"Cannot show U: access denied.", 5u, L"Access is denied.")),
              json::parse(R"({"error": {"message": "Cannot show U: access denied.", "code": 5,
                                        "text": "Access is denied."}})"));
    EXPECT_EQ(Parsed(ErrorJson(L"show needs the service's name.", std::nullopt, L"")),
              json::parse(R"({"error": {"message": "show needs the service's name.", "code": null,
                                        "text": null}})"));
}

TEST(ToUtf8, EncodesEveryPlaneAndReplacesALoneSurrogate) {
    EXPECT_EQ(ToUtf8(L"a\u00e9\u4e2d"), "a\xc3\xa9\xe4\xb8\xad");
    EXPECT_EQ(ToUtf8(L"\U0001F600"), "\xf0\x9f\x98\x80");
    std::wstring lone(1, static_cast<wchar_t>(0xD800));
    EXPECT_EQ(ToUtf8(lone + L"x"), "\xef\xbf\xbdx");
    std::wstring swapped = {static_cast<wchar_t>(0xDE00), static_cast<wchar_t>(0xD83D)};
    EXPECT_EQ(ToUtf8(swapped), "\xef\xbf\xbd\xef\xbf\xbd");
}

}  // namespace
