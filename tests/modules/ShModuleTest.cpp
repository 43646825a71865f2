#include "base/Text.h"
#include "support/EventCollector.h"
#include "support/TempHome.h"
#include "sys/Process.h"
#include "webview/TarnAppWebViewController.h"

#include <atomic>
#include <csignal>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>

using namespace std::chrono_literals;

namespace {

const std::string kEuro = "\xE2\x82\xAC";

TEST(OutputTextTest, HoldsBackCharactersAndLineEndsSplitBetweenBlocks) {
    OutputText text;
    std::string a511(511, 'a');
    // The euro sign's first byte ends the first block.
    EXPECT_EQ(text.next((a511 + kEuro.substr(0, 1)).data(), 512), a511);
    EXPECT_EQ(text.next(kEuro.substr(1).data(), 2), kEuro);
    // One byte at a time: nothing until the character is whole.
    EXPECT_EQ(text.next("\xF0", 1), "");
    EXPECT_EQ(text.next("\x9F", 1), "");
    EXPECT_EQ(text.next("\x8E\xB5x", 3), "\xF0\x9F\x8E\xB5x");
    // "\r\n" across the boundary becomes one "\n"; a lone "\r" stays.
    EXPECT_EQ(text.next("one\r", 4), "one");
    EXPECT_EQ(text.next("\ntwo\rthree\r\n", 12), "\ntwo\rthree\n");
    EXPECT_EQ(text.next("end\r", 4), "end");
    EXPECT_EQ(text.rest(), "\r");
    // Broken bytes are replaced, never passed on.
    EXPECT_EQ(text.next("\xE2\x82", 2), "");
    std::string repaired = text.next("z", 1);
    EXPECT_EQ(repaired.rfind("\xEF\xBF\xBD", 0), 0u);
    EXPECT_EQ(repaired.back(), 'z');
    EXPECT_EQ(utf8Sanitize(repaired), repaired);
    EXPECT_EQ(text.next("\xC3", 1), "");
    EXPECT_EQ(text.rest(), "\xEF\xBF\xBD");
}

TEST(ProcessTest, CommandThatCannotStartGivesZeroAndOneEmptyReport) {
    std::mutex mutex;
    std::vector<std::pair<uint32_t, std::string>> reports;
    std::atomic<bool> ended{false};
    uint32_t pid = Process::exec("echo hi", [&](uint32_t id, const std::string& text) {
        std::lock_guard<std::mutex> lock(mutex);
        reports.emplace_back(id, text);
        if (text.empty()) ended = true;
    }, "/nonexistent/shell");
    EXPECT_EQ(pid, 0u);
    for (int i = 0; i < 2000 && !ended; ++i) std::this_thread::sleep_for(5ms);
    std::this_thread::sleep_for(50ms);
    std::lock_guard<std::mutex> lock(mutex);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0], std::make_pair(0u, std::string()));
}

class ShModuleTest : public ::testing::Test {
protected:
    std::string call(std::vector<std::string> args) { return controller.invokeNative(args); }
    std::string exec(const std::string& words) {
        std::string result = call({"$$sh_exec", words});
        EXPECT_EQ(result.substr(0, 1), "d") << result;
        return result.substr(1);
    }
    // Waits for the end of the output and returns the texts of its events, the end excluded.
    std::vector<std::string> output(const std::string& pid) {
        EXPECT_TRUE(events.waitFor([&](const EventCollector::Event& e) {
            return e.size() == 4 && e[0] == "sh" && e[2] == pid && e[3].empty();
        }, 20s));
        std::vector<std::string> texts;
        for (const auto& e : events.of("sh", pid)) {
            EXPECT_EQ(e.size(), 4u);
            EXPECT_EQ(e[1], "stdout");
            if (!e[3].empty()) texts.push_back(e[3]);
        }
        return texts;
    }

    TempHome home;
    TarnAppWebViewController controller;
    EventCollector events{controller};
};

TEST_F(ShModuleTest, EchoGivesItsLineThenTheEmptyEnd) {
    std::string pid = exec("[\"echo\",\"hi\"]");
    EXPECT_NE(pid, "0");
    EXPECT_EQ(output(pid), std::vector<std::string>{"hi\n"});
    auto all = events.of("sh", pid);
    EXPECT_TRUE(all.back()[3].empty());
    // Words go to the shell as they are: quoting and expansion are the page's business.
    std::string quoted = exec("[\"printf\",\"'%s|%s\\\\r\\\\n'\",\"a b\",\"$((6*7))\"]");
    std::string joined;
    for (const std::string& piece : output(quoted)) joined += piece;
    EXPECT_EQ(joined, "a|b\n42|\n");
}

TEST_F(ShModuleTest, ArgumentsOtherThanAnArrayOfStringsStartNothing) {
    for (std::string bad : {"\"echo hi\"", "[\"echo\",1]", "{\"0\":\"echo\"}", "[\"echo\"", ""}) {
        EXPECT_EQ(call({"$$sh_exec", bad}), "esystem exception") << bad;
    }
    EXPECT_EQ(call({"$$sh_exec"}), "esystem exception");
    events.drainFor(100ms);
    EXPECT_TRUE(events.all().empty());
}

TEST_F(ShModuleTest, KillEndsTheChildAndItsChildren) {
    // The background sleep reports its id, and keeps the output open while it lives.
    std::string pid = exec("[\"sleep\",\"60\",\"&\",\"echo\",\"$!;\",\"sleep\",\"60\"]");
    ASSERT_TRUE(events.waitFor([&](const EventCollector::Event& e) {
        return e.size() == 4 && e[2] == pid && !e[3].empty();
    }, 10s));
    pid_t grandchild = std::stoi(events.of("sh", pid).front()[3]);
    EXPECT_EQ(::kill(grandchild, 0), 0);

    EXPECT_EQ(call({"$$sh_kill", "0"}), "v");
    EXPECT_EQ(call({"$$sh_kill", "nonsense"}), "esystem exception");
    EXPECT_EQ(call({"$$sh_kill", pid}), "v");
    // The end of the output means every holder of it is gone.
    ASSERT_TRUE(events.waitFor("sh", "stdout", pid, 10s) && !output(pid).empty());
    // Gone, or a zombie waiting for whoever adopted it.
    auto ended = [](pid_t pid) {
        std::string stat = readFile("/proc/" + std::to_string(pid) + "/stat");
        size_t paren = stat.rfind(')');
        return stat.empty() || (paren != std::string::npos && stat.substr(paren + 2, 1) == "Z");
    };
    bool gone = false;
    for (int i = 0; i < 400 && !gone; ++i) {
        gone = ended(grandchild);
        if (!gone) std::this_thread::sleep_for(5ms);
    }
    EXPECT_TRUE(gone);
}

TEST_F(ShModuleTest, MultiByteOutputArrivesWholeAcrossBlocks) {
    std::string expected = std::string(511, 'a');
    for (int i = 0; i < 700; ++i) expected += kEuro + (i % 50 == 0 ? "\r\n" : "");
    writeFile(home.file("out.txt"), expected);
    std::string pid = exec("[\"cat\",\"'" + home.file("out.txt") + "'\"]");
    std::string joined;
    std::vector<std::string> pieces = output(pid);
    EXPECT_GT(pieces.size(), 1u);
    for (const std::string& piece : pieces) {
        EXPECT_LE(piece.size(), 512u + 3u);
        EXPECT_EQ(piece.find("\xEF\xBF\xBD"), std::string::npos);
        joined += piece;
    }
    std::string lf;
    for (size_t i = 0; i < expected.size(); ++i)
        if (!(expected[i] == '\r' && expected[i + 1] == '\n')) lf += expected[i];
    EXPECT_EQ(joined, lf);
}

}  // namespace
