#include "base/Json.h"
#include "support/TempHome.h"
#include "sys/Settings.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <thread>

namespace {

// The folder's names without the lock file settings writers share.
std::vector<std::string> folderNames(const std::string& folder) {
    std::vector<std::string> names = namesIn(folder);
    names.erase(std::remove(names.begin(), names.end(), ".settings.lock"), names.end());
    return names;
}

TEST(SettingsTest, ValuesAreReadBackWithTheirTypeAndSectionsAreSeparate) {
    TempHome home;
    Settings shared(""), tarn("tarn"), other("other");
    EXPECT_FALSE(tarn.getString("pref"));
    ASSERT_TRUE(shared.setString("deviceId", "abc"));
    ASSERT_TRUE(tarn.setString("pref", "{\"x\":1}"));
    ASSERT_TRUE(tarn.setNumber("width", 1234));
    EXPECT_EQ(shared.getString("deviceId").value_or(""), "abc");
    EXPECT_EQ(tarn.getString("pref").value_or(""), "{\"x\":1}");
    EXPECT_EQ(tarn.getNumber("width").value_or(0), 1234u);
    EXPECT_FALSE(tarn.getString("width"));  // a number is not a string
    EXPECT_FALSE(tarn.getNumber("pref"));
    EXPECT_FALSE(other.getString("pref"));
    EXPECT_FALSE(tarn.getString("deviceId"));
    ASSERT_TRUE(shared.remove("deviceId"));
    EXPECT_FALSE(shared.getString("deviceId"));
    EXPECT_EQ(Settings::filePath(), home.path() + "/config/Corvane/settings.json");
}

TEST(SettingsTest, WritesLeaveOneWholeFileAndNoTemporaries) {
    TempHome home;
    std::vector<std::thread> writers;
    for (int t = 0; t < 4; ++t)
        writers.emplace_back([t] {
            Settings s("tarn");
            for (int i = 0; i < 25; ++i) s.setNumber("k" + std::to_string(t), static_cast<uint32_t>(i));
        });
    for (auto& w : writers) w.join();
    for (int t = 0; t < 4; ++t) EXPECT_EQ(Settings("tarn").getNumber("k" + std::to_string(t)).value_or(0), 24u);
    Json parsed = parseJson(readFile(Settings::filePath()));
    EXPECT_TRUE(parsed.is_object());
    EXPECT_EQ(folderNames(Settings::folder()), std::vector<std::string>{"settings.json"});
}

TEST(SettingsTest, ATornOrForeignFileReadsAsEmpty) {
    TempHome home;
    Settings tarn("tarn");
    ASSERT_TRUE(tarn.setString("pref", "x"));
    writeFile(Settings::filePath(), "{\"applications\": {\"tarn\": {\"pr");
    EXPECT_FALSE(tarn.getString("pref"));
    ASSERT_TRUE(tarn.setString("pref", "y"));
    EXPECT_EQ(tarn.getString("pref").value_or(""), "y");
}

}  // namespace
