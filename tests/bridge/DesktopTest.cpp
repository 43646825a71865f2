#include "support/TempHome.h"
#include "sys/Desktop.h"
#include "sys/Paths.h"

#include <gtest/gtest.h>

namespace {

TEST(DesktopTest, SchemeNamesAreCheckedBeforeAnythingIsWritten) {
    EXPECT_TRUE(isValidSchemeName("corvane-auth"));
    EXPECT_TRUE(isValidSchemeName("x.y+z"));
    for (const char* bad : {"", "1abc", "a b", "a/b", "a\nExec=rm", "a;b"}) EXPECT_FALSE(isValidSchemeName(bad)) << bad;
    TempHome home;
    EXPECT_EQ(registerUrlScheme("tarn", "a\nExec=evil", "/usr/bin/tarn"), "");
    EXPECT_FALSE(fileExists(home.path() + "/data/applications"));
}

TEST(DesktopTest, ASchemeIsRegisteredAsADesktopEntryThatStartsTheProgramWithUrl) {
    TempHome home;
    std::string entry = registerUrlScheme("tarn", "corvane-auth", "/opt/my tools/tarn");
    ASSERT_EQ(entry, home.path() + "/data/applications/corvane-tarn-url-corvane-auth.desktop");
    std::string text = readFile(entry);
    EXPECT_NE(text.find("Exec=\"/opt/my tools/tarn\" -url %u\n"), std::string::npos);
    EXPECT_NE(text.find("MimeType=x-scheme-handler/corvane-auth;\n"), std::string::npos);
    std::string defaults = readFile(home.path() + "/config/mimeapps.list");
    EXPECT_NE(defaults.find("x-scheme-handler/corvane-auth=corvane-tarn-url-corvane-auth.desktop"), std::string::npos);
}

}  // namespace
