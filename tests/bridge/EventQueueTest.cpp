#include "bridge/JavaScriptInterface.h"
#include "base/Json.h"

#include <atomic>
#include <glib.h>
#include <gtest/gtest.h>
#include <thread>

namespace {

// Records what a delivery pass would hand to the page, one script per event.
class RecordingInterface : public JavaScriptInterface {
public:
    void openURL(const std::string&, const std::string&) override {}
    void navigate(const std::string&) override {}
    void closeWindow() override {}
    void processEvent() override {
        ++passes;
        std::string event;
        while (nextEventToDeliver(event)) delivered.push_back(event);
    }
    int passes = 0;
    std::vector<std::string> delivered;
};

void drainMainContext() {
    while (g_main_context_iteration(nullptr, FALSE)) {
    }
}

TEST(EventQueueTest, EventsWaitUntilStartThenOnePassDeliversThemInOrder) {
    drainMainContext();
    RecordingInterface js;
    js.postEvent("a");
    js.postEvent("b");
    js.postEvent("c");
    drainMainContext();
    EXPECT_EQ(js.passes, 0);
    EXPECT_EQ(js.queuedEvents(), 3u);

    js.startEvent(true);
    EXPECT_TRUE(js.pending());
    drainMainContext();
    EXPECT_EQ(js.passes, 1);
    EXPECT_EQ(js.delivered, (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_FALSE(js.pending());
    EXPECT_TRUE(js.started());
}

TEST(EventQueueTest, DeliveryOffKeepsEventsQueuedForTheNextStart) {
    drainMainContext();
    RecordingInterface js;
    js.startEvent(true);
    drainMainContext();
    js.postEvent("x");
    js.startEvent(false);
    drainMainContext();
    EXPECT_TRUE(js.delivered.empty());
    EXPECT_EQ(js.queuedEvents(), 1u);
    js.startEvent(true);
    drainMainContext();
    EXPECT_EQ(js.delivered, std::vector<std::string>{"x"});
}

TEST(EventQueueTest, ASourceChangeStopsPushingUntilThePageStartsAgain) {
    drainMainContext();
    RecordingInterface js;
    js.startEvent(true);
    drainMainContext();
    js.clearStarted();
    js.postEvent("later");
    drainMainContext();
    EXPECT_TRUE(js.delivered.empty());
    EXPECT_EQ(js.takeEvent(), "later");
    EXPECT_EQ(js.takeEvent(), "");
}

TEST(EventQueueTest, TwoThreadsPostingAtOnceLoseNothing) {
    drainMainContext();
    RecordingInterface js;
    js.startEvent(true);
    const int perThread = 2000;
    auto poster = [&](char tag) {
        for (int i = 0; i < perThread; ++i) js.postEvent(std::string(1, tag) + std::to_string(i));
    };
    std::thread one(poster, 'a'), two(poster, 'b');
    one.join();
    two.join();
    drainMainContext();
    ASSERT_EQ(js.delivered.size(), 2u * perThread);
    int nextA = 0, nextB = 0;
    for (const auto& e : js.delivered) {
        int n = std::stoi(e.substr(1));
        if (e[0] == 'a') EXPECT_EQ(n, nextA++);
        else EXPECT_EQ(n, nextB++);
    }
    EXPECT_FALSE(js.pending());
}

TEST(EventQueueTest, NoDeliveryRunsAfterTheInterfaceIsGone) {
    drainMainContext();
    auto* js = new RecordingInterface;
    js->startEvent(true);
    delete js;
    drainMainContext();  // the posted delivery must not touch the deleted object
    SUCCEED();
}

TEST(DispatchScriptTest, AnyEventTextSurvivesTheScriptLiteral) {
    std::string event = "app\fcommand\fopen\f/a'b\\c\nd\r\xE2\x80\xA8\xE2\x80\xA9";
    std::string script = JavaScriptInterface::dispatchScript(event);
    ASSERT_EQ(script.rfind("window.$event.dispatch(", 0), 0u);
    EXPECT_EQ(script.find('\n'), std::string::npos);
    EXPECT_EQ(script.find('\r'), std::string::npos);
    EXPECT_EQ(script.find("\xE2\x80\xA8"), std::string::npos);
    std::string literal = script.substr(23, script.size() - 24);
    EXPECT_EQ(parseJson(literal).get<std::string>(), event);
}

}  // namespace
