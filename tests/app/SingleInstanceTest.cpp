// One instance per user and application name, and the command-line hand-over.
#include "app/SingleInstance.h"
#include "support/TempHome.h"

#include <atomic>
#include <cstdlib>
#include <future>
#include <glib.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

// A private runtime folder for the duration of a test.
struct RuntimeDir {
    TempHome home;
    std::string saved;
    bool had = false;
    RuntimeDir() {
        if (const char* old = getenv("XDG_RUNTIME_DIR")) {
            had = true;
            saved = old;
        }
        std::string run = home.file("run");
        mkdir(run.c_str(), 0700);
        setenv("XDG_RUNTIME_DIR", run.c_str(), 1);
    }
    ~RuntimeDir() {
        if (had)
            setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
        else
            unsetenv("XDG_RUNTIME_DIR");
    }
};

// Runs the main context until the future is ready.
template <class T>
T await(std::future<T>& future) {
    while (future.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready)
        g_main_context_iteration(nullptr, FALSE);
    return future.get();
}

}  // namespace

TEST(SingleInstanceTest, TheLockAllowsOneInstancePerName) {
    RuntimeDir run;
    SingleInstance first("tarn");
    SingleInstance second("tarn");
    SingleInstance other("tarnx");
    EXPECT_TRUE(first.acquire());
    EXPECT_FALSE(second.acquire());
    EXPECT_TRUE(other.acquire());
    EXPECT_EQ(first.socketPath(), run.home.file("run") + "/corvane.tarn.wndclass");
}

TEST(SingleInstanceTest, ASecondStartBeforeTheWindowHandsNothingOver) {
    RuntimeDir run;
    SingleInstance first("tarn");
    ASSERT_TRUE(first.acquire());
    SingleInstance second("tarn");
    EXPECT_FALSE(second.acquire());
    EXPECT_FALSE(second.handOver({"a.wav"}));
}

TEST(SingleInstanceTest, HandsTheCommandLineToTheRunningInstance) {
    RuntimeDir run;
    SingleInstance first("tarn");
    ASSERT_TRUE(first.acquire());
    std::vector<std::vector<std::string>> received;
    ASSERT_TRUE(first.listen([&](const std::vector<std::string>& args) { received.push_back(args); }));

    SingleInstance second("tarn");
    auto handed = std::async(std::launch::async, [&] { return second.handOver({"a b.wav", "-url", "x:y\r\n", ""}); });
    EXPECT_TRUE(await(handed));
    auto empty = std::async(std::launch::async, [&] { return second.handOver({}); });
    EXPECT_TRUE(await(empty));
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0], (std::vector<std::string>{"a b.wav", "-url", "x:y\r\n", ""}));
    EXPECT_TRUE(received[1].empty());
}

TEST(SingleInstanceTest, WireFormIgnoresAnUnterminatedTail) {
    EXPECT_EQ(SingleInstance::encode({"a", "", "b"}), std::string("a\0\0b\0", 5));
    EXPECT_EQ(SingleInstance::decode(std::string("a\0\0b\0c", 6)), (std::vector<std::string>{"a", "", "b"}));
}

TEST(SingleInstanceTest, ACommandRunsOnlyAloneAndIsKnownAsACommand) {
    RuntimeDir run;
    {
        SingleInstance window("tarn");
        ASSERT_TRUE(window.acquire());
        SingleInstance command("tarn");
        EXPECT_FALSE(command.acquireForCommand()) << "a window holds the lock";
        EXPECT_FALSE(SingleInstance("tarn").commandRunning()) << "the refused command left no mark";
    }
    SingleInstance command("tarn");
    ASSERT_TRUE(command.acquireForCommand());
    SingleInstance later("tarn");
    EXPECT_FALSE(later.acquire());
    EXPECT_TRUE(later.commandRunning());
    EXPECT_FALSE(SingleInstance("tarn").acquireForCommand()) << "another command";
    EXPECT_FALSE(SingleInstance("tarnx").commandRunning()) << "another application name";
}

TEST(SingleInstanceTest, TheLockIsFreeAgainOnceTheCommandEnds) {
    RuntimeDir run;
    {
        SingleInstance command("tarn");
        ASSERT_TRUE(command.acquireForCommand());
    }
    SingleInstance window("tarn");
    EXPECT_FALSE(window.commandRunning());
    EXPECT_TRUE(window.acquire());
}
