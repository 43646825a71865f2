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

namespace {

// An installed layout: <prefix>/bin/tarn and <prefix>/share/applications/<id>.desktop.
std::string installAt(const TempHome& home, const std::string& tryExec) {
    std::string prefix = home.path() + "/prefix";
    makeFolders(prefix + "/bin");
    makeFolders(prefix + "/share/applications");
    writeFile(prefix + "/bin/tarn", "#!/bin/sh\n");
    writeFile(prefix + "/share/applications/com.corvane.Tarn.desktop",
              "[Desktop Entry]\nType=Application\nName=Tarn\nExec=tarn %U\nTryExec=" + tryExec + "\n");
    return prefix;
}

TEST(DesktopTest, AnInstalledProgramIsRegisteredThroughItsOwnDesktopEntry) {
    TempHome home;
    std::string prefix = installAt(home, "tarn");
    EXPECT_EQ(installedDesktopEntry(prefix + "/bin/tarn"), prefix + "/share/applications/com.corvane.Tarn.desktop");
    std::string entry = registerUrlScheme("tarn", "corvane-auth", prefix + "/bin/tarn");
    EXPECT_EQ(entry, prefix + "/share/applications/com.corvane.Tarn.desktop");
    // No entry of its own is written, and the default handler is the installed entry.
    EXPECT_FALSE(fileExists(home.path() + "/data/applications/corvane-tarn-url-corvane-auth.desktop"));
    std::string defaults = readFile(home.path() + "/config/mimeapps.list");
    EXPECT_NE(defaults.find("x-scheme-handler/corvane-auth=com.corvane.Tarn.desktop\n"), std::string::npos) << defaults;
    EXPECT_NE(defaults.find("x-scheme-handler/corvane-auth=com.corvane.Tarn.desktop;\n"), std::string::npos) << defaults;
}

TEST(DesktopTest, AProgramOutsideAnInstalledLayoutKeepsWritingItsOwnEntry) {
    TempHome home;
    std::string prefix = installAt(home, "someone-else");
    // An entry beside the program that starts another program is not this program's.
    EXPECT_EQ(installedDesktopEntry(prefix + "/bin/tarn"), "");
    // A build folder is no bin/ folder.
    EXPECT_EQ(installedDesktopEntry(home.path() + "/build/tarn"), "");
    EXPECT_EQ(installedDesktopEntry("tarn"), "");
    std::string entry = registerUrlScheme("tarn", "corvane-auth", prefix + "/bin/tarn");
    EXPECT_EQ(entry, home.path() + "/data/applications/corvane-tarn-url-corvane-auth.desktop");
}

}  // namespace
