#pragma once

#include "MIDITestServers.h"
#include "support/TempHome.h"
#include "webview/TarnAppWebViewController.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// The real bridge over a JACK server of its own: one controller, its events collected.
class MIDIBridgeTest : public ::testing::Test {
public:
    static std::unique_ptr<JackServer> jack;

protected:
    MIDIBridgeTest();
    ~MIDIBridgeTest() override;

    std::string call(std::vector<std::string> args) { return controller->invokeNative(args); }
    // Waits for an event that matches and removes it from those collected so far.
    std::string waitForEvent(const std::function<bool(const std::string&)>& match,
                             std::chrono::milliseconds timeout = std::chrono::seconds(5));
    std::string waitForEventStartingWith(const std::string& prefix,
                                         std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
        return waitForEvent([&](const std::string& e) { return e.rfind(prefix, 0) == 0; }, timeout);
    }
    // Collects events for the given time and returns those that start with prefix (removed).
    std::vector<std::string> eventsDuring(std::chrono::milliseconds time, const std::string& prefix);
    // The endpoint JSON object of the named device in an endpoint list call's result, or "".
    std::string endpointOf(const std::string& listCall, const std::string& device);
    // Connects the midi module's input and output to the device and waits until messages
    // pass both ways.
    void connectBoth(LooperSim& sim, const std::string& device);
    // A new connection in the MIDI system may miss what is sent in its first cycle: repeats
    // an identity request through send until the reply event (starting with replyPrefix)
    // arrives, then forgets the exchange on both sides.
    void handshake(LooperSim& sim, const std::function<void()>& send, const std::string& replyPrefix);

    TempHome home;
    std::unique_ptr<TarnAppWebViewController> controller;
    std::vector<std::string> events;

private:
    void drain();
};

std::string hexOf(const std::vector<uint8_t>& bytes);
