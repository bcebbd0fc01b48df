#include "setup/model/launcher_text.h"

#include <gtest/gtest.h>

#include "tests/setup_test_paths.h"

namespace {

using setup_test::kWrapper;

ServiceCommandLine Line(const std::optional<LauncherPart>& launcher) {
    return DecodeServiceCommandLine(
        ComposeCommandLine(kWrapper, 5, L"C:\\P\\u.exe", {L"a"}, launcher).text);
}

LauncherPart Part() {
    LauncherPart part{L"C:\\W\\service-wrapper-launcher.exe", DefaultLauncherOptions()};
    part.options.serviceName = L"U";
    part.options.logDir = L"C:\\logs\\U";
    return part;
}

std::string FieldsAndWhen(const std::vector<ConfigChange>& changes) {
    std::string fields;
    for (const ConfigChange& change : changes) {
        fields += std::string(change.field) + (change.needsRestart ? "" : "(now)") + " ";
    }
    return fields;
}

// Each setting that differs is its own change, and waits for the next
// start; gaining or losing the launcher is one change.
TEST(CompareLaunchers, GivesOneChangePerSettingThatDiffers) {
    LauncherPart changed = Part();
    changed.options.logKeep = 2;
    changed.options.env = {L"A=1"};
    changed.options.stopSignal = StopSignal::kNone;
    LauncherPart noLog = Part();
    noLog.options.logDir.clear();
    LauncherPart otherCase = Part();
    otherCase.options.logDir = L"c:\\LOGS\\u";
    otherCase.options.serviceName = L"u";
    LauncherPart watchesAnother = Part();  // a line copied from another service
    watchesAnother.options.serviceName = L"V";
    const struct {
        const char* what;
        std::optional<LauncherPart> was, becomes;
        std::string fields;
    } kCases[] = {
        {"same", Part(), Part(), ""},
        {"direct gains it", std::nullopt, Part(), "launcher "},
        {"goes direct", Part(), std::nullopt, "launcher "},
        {"settings", Part(), changed, "logKeep env stopSignal "},
        {"log none", Part(), noLog, "logDir "},
        {"log folder and service in another case", Part(), otherCase, ""},
        {"watches another service", watchesAnother, Part(), "service "},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.what);
        std::vector<ConfigChange> changes;
        CompareLaunchers(Line(c.was), Line(c.becomes), changes);
        EXPECT_EQ(FieldsAndWhen(changes), c.fields);
    }
}

TEST(LauncherJson, CarriesEachSettingOrNullWithoutTheLauncher) {
    EXPECT_TRUE(LauncherJson(Line(std::nullopt)).is_null());
    const nlohmann::json j = LauncherJson(Line(Part()));
    EXPECT_EQ(j["path"], "C:\\W\\service-wrapper-launcher.exe");
    EXPECT_EQ(j["service"], "U");
    EXPECT_EQ(j["logDir"], "C:\\logs\\U");
    EXPECT_EQ(j["logSizeBytes"], 10485760u);
    EXPECT_EQ(j["logKeep"], 5u);
    EXPECT_EQ(j["workingDir"], nullptr);
    EXPECT_EQ(j["envFile"], nullptr);
    EXPECT_EQ(j["stopSignal"], "ctrl-c");
    EXPECT_NE(LauncherText(Line(std::nullopt)).find(L"none (--direct)"), std::wstring::npos);
    EXPECT_NE(LauncherText(Line(Part())).find(L"  log folder      [C:\\logs\\U]\n"),
              std::wstring::npos);
}

}  // namespace
