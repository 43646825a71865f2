#include "app/CommandHost.h"
#include "app/CommandLine.h"
#include "base/Text.h"

#include <glib.h>
#include <gtest/gtest.h>

namespace {

std::string command(const std::string& verb, const std::string& value) { return makeEvent({"app", "command", verb, value}); }

TEST(CommandLineTest, FilesOpenAndAddressesAfterUrlAreUrlCommands) {
    std::vector<std::string> events = commandLineEvents({"a.wav", "-url", "corvane-auth://cb?code=1", "b"});
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0], command("open", "a.wav"));
    EXPECT_EQ(events[1], command("url", "corvane-auth://cb?code=1"));
    EXPECT_EQ(events[2], command("url", "b"));
}

TEST(CommandLineTest, AddressesFromTheLauncherBecomeFilesOrUrlCommands) {
    // Exec=tarn %U: local files arrive as file:// addresses, a scheme handler's as its address.
    std::vector<std::string> events = commandLineEvents(
        {"file:///home/u/My%20Loops/a%23.wav", "corvane-tarn://signin?x=1", "notes: a.wav", "file://remote/x.wav", "c:/x.wav"});
    ASSERT_EQ(events.size(), 5u);
    EXPECT_EQ(events[0], command("open", "/home/u/My Loops/a#.wav"));
    EXPECT_EQ(events[1], command("url", "corvane-tarn://signin?x=1"));
    EXPECT_EQ(events[2], command("open", "notes: a.wav"));  // a file name with a colon stays a file
    EXPECT_EQ(events[3], command("open", "file://remote/x.wav"));  // not a local file: passed as it came
    EXPECT_EQ(events[4], command("open", "c:/x.wav"));
}

TEST(CommandLineTest, AMistypedCommandOrUnknownOptionIsRefusedAndFilesAndAddressesPass) {
    EXPECT_EQ(unusableFirstArgument({"lst"}), "lst");
    EXPECT_EQ(unusableFirstArgument({"--headles"}), "--headles");
    EXPECT_EQ(unusableFirstArgument({"lst", "/tmp"}), "lst");  // only the first argument decides
    // Files (even missing ones that look like files) and addresses go on to the page.
    for (const char* fine : {"/tmp", "a.wav", "My Loops/take", "file:///tmp/a.wav", "-url", "-", "2026", "x:y"})
        EXPECT_EQ(unusableFirstArgument({fine}), "") << fine;
    EXPECT_EQ(unusableFirstArgument({}), "");
}

TEST(CommandLineTest, ExistingRelativeFilesGetTheirWholePathForTheWindowThatTakesThem) {
    gchar* here = g_get_current_dir();
    std::string cwd = here;
    g_free(here);
    std::vector<std::string> args = {".", "missing.wav", "/tmp", "-url", "."};
    absoluteFileArguments(args);
    EXPECT_EQ(args[0], cwd);
    EXPECT_EQ(args[1], "missing.wav");
    EXPECT_EQ(args[2], "/tmp");
    EXPECT_EQ(args[4], ".");  // an address, not a file
}

TEST(CommandLineTest, TheNearestCommandIsSuggestedOnlyWhenClose) {
    EXPECT_EQ(nearestCommandName("lst"), "ls");
    EXPECT_EQ(nearestCommandName("improt"), "import");
    EXPECT_EQ(nearestCommandName("devics"), "devices");
    EXPECT_EQ(nearestCommandName("ab"), "");  // two edits from "ls" and "rm": no guess
    EXPECT_EQ(nearestCommandName("window"), "");
}

}  // namespace
