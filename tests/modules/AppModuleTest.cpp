#include "base/Json.h"
#include "support/TempHome.h"
#include "sys/Paths.h"
#include "sys/Settings.h"
#include "sys/SystemInfo.h"
#include "webview/TarnAppWebViewController.h"

#include <gtest/gtest.h>
#include <regex>

namespace {

class AppModuleTest : public ::testing::Test {
protected:
    AppModuleTest() { controller.setAppName("tarn"); }
    std::string call(std::vector<std::string> args) { return controller.invokeNative(args); }
    TempHome home;
    TarnAppWebViewController controller;
};

TEST_F(AppModuleTest, DeviceIdIsStableAndRecreatedAfterDeletion) {
    Json first = parseJson(call({"$$app_device"}).substr(1));
    Json second = parseJson(call({"$$app_device"}).substr(1));
    std::string id = first["id"];
    EXPECT_TRUE(std::regex_match(id, std::regex("[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}")));
    EXPECT_EQ(second["id"], id);
    EXPECT_EQ(Settings("").getString("deviceId").value_or(""), id);
    EXPECT_EQ(first["os"].get<std::string>().rfind("Linux ", 0), 0u);
    EXPECT_FALSE(first["model"].get<std::string>().empty());

    Settings("").remove("deviceId");
    std::string fresh = parseJson(call({"$$app_device"}).substr(1))["id"];
    EXPECT_NE(fresh, id);
    EXPECT_EQ(Settings("").getString("deviceId").value_or(""), fresh);
}

TEST_F(AppModuleTest, DeviceKeepsItsMembersInTheirFixedOrder) {
    std::string text = call({"$$app_device"});
    EXPECT_EQ(text.rfind("s{\"model\":", 0), 0u);
    EXPECT_LT(text.find("\"os\":"), text.find("\"id\":"));
}

TEST_F(AppModuleTest, VersionCarriesTheFourthComponentAndUtcTimes) {
    Json version = parseJson(call({"$$app_version"}).substr(1));
    EXPECT_EQ(version["name"], programVersion());
    EXPECT_EQ(version["code"], programVersionCode());
    std::regex stamp("\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}Z");
    EXPECT_TRUE(std::regex_match(version["ctime"].get<std::string>(), stamp));
    EXPECT_TRUE(std::regex_match(version["mtime"].get<std::string>(), stamp));
    EXPECT_EQ(utcTimestamp(0, 7000000), "1970-01-01T00:00:00.007Z");
}

TEST_F(AppModuleTest, LocaleNamesFollowBcp47) {
    EXPECT_EQ(userLocaleName("de_DE.UTF-8"), "de-DE");
    EXPECT_EQ(userLocaleName("ja_JP"), "ja-JP");
    EXPECT_EQ(userLocaleName("sr_RS@latin"), "sr-RS");
    EXPECT_EQ(userLocaleName("C"), "en-US");
    EXPECT_EQ(call({"$$app_locale"}).substr(0, 1), "s");
}

TEST_F(AppModuleTest, StorageIsAStringEvenWhenEmpty) {
    EXPECT_EQ(call({"$$app_storage"}), "s");
    EXPECT_EQ(call({"$$app_storage", "{\"a\":1}"}), "v");
    EXPECT_EQ(call({"$$app_storage"}), "s{\"a\":1}");
    EXPECT_EQ(Settings("tarn").getString("pref").value_or(""), "{\"a\":1}");
}

TEST_F(AppModuleTest, Storage2WritesUtf8BytesUnderThePrefFolder) {
    EXPECT_EQ(call({"$$app_storage2", "never"}), "s");
    EXPECT_EQ(call({"$$app_storage2", "k", "\xC3\xA4" "b"}), "s");
    EXPECT_EQ(readFile(home.path() + "/data/Corvane/tarn/pref/k"), "\xC3\xA4" "b");
    EXPECT_EQ(call({"$$app_storage2", "k"}), "s\xC3\xA4" "b");
    EXPECT_EQ(call({"$$app_storage2"}), "s");
}

TEST_F(AppModuleTest, Storage2RefusesKeysThatAreNotPlainNames) {
    makeFolders(home.path() + "/data/Corvane/tarn");
    writeFile(home.path() + "/data/Corvane/tarn/secret", "keep");
    for (const char* key : {"../secret", "a/b", ".", "..", "../../../config/x", ""}) {
        EXPECT_EQ(call({"$$app_storage2", key, "overwrite"}), "s") << key;
        EXPECT_EQ(call({"$$app_storage2", key}), "s") << key;
    }
    EXPECT_EQ(readFile(home.path() + "/data/Corvane/tarn/secret"), "keep");
    EXPECT_FALSE(fileExists(home.path() + "/data/Corvane/tarn/pref/a"));
    EXPECT_FALSE(fileExists(home.path() + "/config/x"));
}

TEST_F(AppModuleTest, SmallCallsAnswerAsTheyShould) {
    EXPECT_EQ(call({"$$app_clipboard"}), "s");
    EXPECT_EQ(call({"$$app_clipboard", "copied"}), "v");
    EXPECT_EQ(call({"$$app_clipboard"}), "scopied");
    EXPECT_EQ(call({"$$app_importfile", "[]", "true"}), "v");
    EXPECT_EQ(call({"$$app_exportfile", "x"}), "v");
    EXPECT_EQ(call({"$$app_dropfiles"}), "s[]");
    controller.nativeObjects().droppedFiles = {"/a/b.wav", "c"};
    EXPECT_EQ(call({"$$app_dropfiles"}), "s[\"\\/a\\/b.wav\",\"c\"]");
    EXPECT_EQ(call({"$$app_dragdrop", "true"}), "v");
    EXPECT_TRUE(controller.dragDropEnabled());
    EXPECT_EQ(call({"$$app_startevent"}), "b1");
    EXPECT_FALSE(controller.started());
    EXPECT_EQ(call({"$$app_getevent"}), "s");
    controller.postEvent("app\fcommand\fopen\fx");
    EXPECT_EQ(call({"$$app_getevent"}), "sapp\fcommand\fopen\fx");
    EXPECT_EQ(call({"$$app_locate"}), "esystem exception");
}

TEST_F(AppModuleTest, UtilConvertsTextAndBytes) {
    EXPECT_EQ(call({"$$util_bytes", "abc"}), "s616263");
    EXPECT_EQ(call({"$$util_text", "616263"}), "sabc");
    EXPECT_EQ(call({"$$util_text", "610062"}), "sa");
    EXPECT_EQ(call({"$$util_text", "6G"}), "s`");
    EXPECT_EQ(call({"$$util_bytes", ""}), "s");
}

}  // namespace
