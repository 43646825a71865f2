#include "app/CommandLine.h"
#include "base/Text.h"

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

}  // namespace
