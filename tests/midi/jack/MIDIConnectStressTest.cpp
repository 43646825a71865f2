// Connections opened and closed over and over while the device never stops sending: a
// close must never race the MIDI system's delivery into a connection that is going away.
#include "MIDIBridgeFixture.h"

#include <iostream>
#include <random>
#include <thread>

using namespace std::chrono_literals;

namespace {

constexpr int kRounds = 20;
constexpr int kCyclesPerRound = 10;

}  // namespace

TEST_F(MIDIBridgeTest, ConnectionsOpenAndCloseHundredsOfTimesWhileTheDeviceSends) {
    LooperSim sim("Chatty Sim", "0102030405", {"--stream", "1"});
    connectBoth(sim, "Chatty Sim");
    std::string in = endpointOf("$$midi_inendpoints", "Chatty Sim");
    std::string out = endpointOf("$$midi_outendpoints", "Chatty Sim");
    ASSERT_FALSE(in.empty());
    ASSERT_FALSE(out.empty());
    std::minstd_rand random(20);
    for (int round = 0; round < kRounds; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        for (int cycle = 0; cycle < kCyclesPerRound; ++cycle) {
            // Close at varying points of the server's cycle (2.9 ms here), so that some
            // closes land while a delivery is under way.
            std::this_thread::sleep_for(std::chrono::microseconds(random() % 4000));
            ASSERT_EQ(call({"$$midi_indisconnect", in}), "v");
            if (cycle % 3 == 0) {
                ASSERT_EQ(call({"$$midi_outdisconnect", out}), "v");
            }
            ASSERT_EQ(call({"$$midi_inconnect", in}), "v");
            if (cycle % 3 == 0) {
                ASSERT_EQ(call({"$$midi_outconnect", out}), "v");
            }
            // Reopening a connected endpoint closes and opens it in one call.
            if (cycle % 4 == 1) {
                ASSERT_EQ(call({"$$midi_inconnect", in}), "v");
            }
            call({"$$midi_send", "903C40"});
        }
        // A JACK server short of CPU (two test programs at once on a loaded machine) now and
        // then refuses a new client; the call reports "connectfailed", as it would to the
        // page, and a fresh connect must then work and deliver.
        if (!eventsDuring(0ms, "midi\fconnectfailed").empty()) {
            std::cerr << "round " << round << ": the JACK server refused a connection; connecting again\n";
            ASSERT_EQ(call({"$$midi_inconnect", in}), "v");
            ASSERT_EQ(call({"$$midi_outconnect", out}), "v");
        }
        // After the churn the connection still delivers, and only whole messages.
        std::string note = waitForEventStartingWith("midi\fmessage\f903C40\f", 3s);
        EXPECT_FALSE(note.empty()) << "no streamed note after reconnecting";
        std::string sysex = waitForEventStartingWith("midi\fmessage\fF07D1000010203F7\f", 3s);
        EXPECT_FALSE(sysex.empty()) << "no streamed SysEx after reconnecting";
        for (const std::string& event : eventsDuring(0ms, "midi\fmessage\f")) {
            std::string hex = event.substr(std::string("midi\fmessage\f").size());
            hex = hex.substr(0, hex.find('\f'));
            EXPECT_TRUE(hex == "903C40" || hex == "F07D1000010203F7") << event;
        }
        events.clear();
        ASSERT_FALSE(HasFailure());
    }
    // Disconnected, nothing arrives any more, though the device goes on sending.
    ASSERT_EQ(call({"$$midi_indisconnect", in}), "v");
    eventsDuring(100ms, "midi\fmessage");
    EXPECT_TRUE(eventsDuring(300ms, "midi\fmessage").empty());
    EXPECT_FALSE(sim.waitForLine("recv 903C40").empty()) << "the output still reached the device";
}
