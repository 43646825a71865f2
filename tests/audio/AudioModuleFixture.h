#pragma once

#include "audio/AudioTestSupport.h"
#include "base/Json.h"
#include "support/EventCollector.h"
#include "support/TempHome.h"
#include "webview/TarnAppWebViewController.h"

#include <gtest/gtest.h>

// The real bridge in a temporary home; events collected from the controller's queue.
class AudioModuleFixture : public ::testing::Test {
protected:
    std::string call(std::vector<std::string> args) { return controller.invokeNative(args); }
    Json callJson(std::vector<std::string> args) {
        std::string text = call(std::move(args));
        EXPECT_EQ(text.substr(0, 1), "s") << text;
        return parseJson(text.substr(1));
    }
    std::string file(const std::string& name) const { return home.file(name); }
    // Waits for "converted" or "convertfailed" of the source; the whole event.
    EventCollector::Event conversionResult(const std::string& source) {
        EventCollector::Event found;
        bool seen = events.waitFor(
            [&](const EventCollector::Event& e) {
                if (e.size() >= 3 && e[0] == "audio" && (e[1] == "converted" || e[1] == "convertfailed") &&
                    e[2] == source) {
                    found = e;
                    return true;
                }
                return false;
            },
            std::chrono::seconds(60));
        EXPECT_TRUE(seen) << "no conversion result for " << source;
        return found;
    }

    TempHome home;
    TarnAppWebViewController controller;
    EventCollector events{controller};
};

// The sound server comes first, so that the controller's clients find it at once.
struct WithSoundServer {
    PulseServer pulse;
};
