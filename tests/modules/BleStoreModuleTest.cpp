#include "support/EventCollector.h"
#include "support/TempHome.h"
#include "webview/TarnAppWebViewController.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

TEST(BleStoreModuleTest, EveryCallAnswersAndOnlyConnectReports) {
    TempHome home;
    TarnAppWebViewController controller;
    EventCollector events(controller);
    auto call = [&](std::vector<std::string> args) { return controller.invokeNative(args); };

    EXPECT_EQ(call({"$$ble_scanstart"}), "v");
    for (std::string name : {"scanstop", "disconnect", "discover", "notify", "read", "write", "writewithoutresponse"})
        EXPECT_EQ(call({"$$ble_" + name, "{\"id\":\"x\"}", "00"}), "v") << name;
    EXPECT_EQ(call({"$$ble_properties", "{\"id\":\"x\"}"}), "s{}");
    EXPECT_EQ(call({"$$ble_connect", "AA:BB:CC:00:11:22"}), "v");
    EXPECT_EQ(call({"$$ble_connect"}), "v");
    for (std::string name : {"query", "launchflow", "accept"})
        EXPECT_EQ(call({"$$store_" + name, "item"}), "v") << name;

    events.drainFor(300ms);
    ASSERT_EQ(events.all().size(), 2u);
    EXPECT_EQ(events.all()[0], (EventCollector::Event{"ble", "connectfailed", "AA:BB:CC:00:11:22", ""}));
    EXPECT_EQ(events.all()[1], (EventCollector::Event{"ble", "connectfailed", "", ""}));
}

}  // namespace
