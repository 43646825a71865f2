// SIGINT and SIGTERM in the window and the headless host: the page is asked to exit, and a
// second signal, or the grace time, closes the host in order.
#include "app/InterruptSignals.h"
#include "app/SignalQuit.h"
#include "bridge/JavaScriptInterface.h"

#include <chrono>
#include <csignal>
#include <functional>
#include <glib.h>
#include <gtest/gtest.h>

namespace {

class QuietPage : public JavaScriptInterface {
public:
    void openURL(const std::string&, const std::string&) override {}
    void navigate(const std::string&) override {}
    void processEvent() override {}
    void closeWindow() override {}
};

// Runs the main loop until done says so (false when it never does, within a generous cap).
bool runUntil(const std::function<bool()>& done) {
    auto cap = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!done()) {
        if (std::chrono::steady_clock::now() > cap) return false;
        g_main_context_iteration(nullptr, FALSE);
        g_usleep(1000);
    }
    return true;
}

TEST(SignalQuitTest, FirstSignalAsksThePageSecondClosesOnce) {
    QuietPage page;
    page.startEvent(true);
    int closed = 0;
    {
        SignalQuit quit(page, [&] { ++closed; });
        raise(SIGTERM);
        ASSERT_TRUE(runUntil([&] { return page.queuedEvents() > 0; }));
        EXPECT_EQ(page.takeEvent(), "app\fcommand\fexit\f");
        EXPECT_EQ(closed, 0);

        raise(SIGINT);
        ASSERT_TRUE(runUntil([&] { return closed > 0; }));
        // A third signal finds the host closing already: nothing more happens.
        raise(SIGINT);
        for (int i = 0; i < 10; ++i) g_main_context_iteration(nullptr, FALSE);
    }
    EXPECT_EQ(closed, 1);
    EXPECT_EQ(page.queuedEvents(), 0u);
}

TEST(SignalQuitTest, AnExitCommandNoPageTakesClosesTheHostWithoutASecondSignal) {
    // A page started delivery, then went (its tab closed) or stopped pulling (frozen).
    QuietPage page;
    page.startEvent(true);
    int closed = 0;
    SignalQuit quit(page, [&] { ++closed; });
    raise(SIGTERM);
    ASSERT_TRUE(runUntil([&] { return closed > 0; }));
    EXPECT_EQ(page.takeEvent(), "app\fcommand\fexit\f");
    EXPECT_EQ(closed, 1);
}

TEST(SignalQuitTest, WithoutAStartedPageTheHostClosesAtOnce) {
    QuietPage page;
    int closed = 0;
    SignalQuit quit(page, [&] { ++closed; });
    raise(SIGINT);
    ASSERT_TRUE(runUntil([&] { return closed > 0; }));
    EXPECT_EQ(page.queuedEvents(), 0u);
}

TEST(SignalQuitTest, ClosingInOrderTheGraceEndsOnTheMainLoop) {
    int handled = 0, gaveUp = 0;
    {
        InterruptSignals signals([&](int signal) { handled = signal; }, [&] { ++gaveUp; }, 1);
        raise(SIGTERM);
        ASSERT_TRUE(runUntil([&] { return gaveUp > 0; }));
        EXPECT_EQ(handled, SIGTERM);
        EXPECT_EQ(signals.received(), SIGTERM);
    }
    // The default actions are back: the process ends by an unhandled signal once more.
    struct sigaction action = {};
    sigaction(SIGTERM, nullptr, &action);
    EXPECT_EQ(action.sa_handler, SIG_DFL);
    EXPECT_EQ(gaveUp, 1);
}

}  // namespace
