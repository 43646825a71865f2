#include "MIDIBridgeFixture.h"

#include "base/Json.h"

namespace {

using namespace std::chrono_literals;

std::string endpointJson(const std::string& name, const std::string& port) {
    return "{\"MIDIDeviceNameKey\":\"" + name + "\",\"MIDIEndpointIndexKey\":\":" + port +
           "\",\"MIDIEndpointUIDKey\":\"" + name + ":" + port + "\",\"MIDIEntityNameKey\":\"" + name + "\"}";
}

TEST_F(MIDIBridgeTest, MidixClientsAreMadeOnceAndNumbersAreChecked) {
    // Before any client exists every number is out of range.
    EXPECT_EQ(call({"$$midix_send", "0", "903C40"}), "esystem exception");
    // A count below one makes no client and one over sixteen is refused: neither uses up
    // the one creation.
    EXPECT_EQ(call({"$$midix_client", "-3"}), "v");
    EXPECT_EQ(call({"$$midix_client", "0"}), "v");
    EXPECT_EQ(call({"$$midix_client", "17"}), "eclient count must be at most 16");
    EXPECT_EQ(call({"$$midix_send", "0", "903C40"}), "esystem exception");
    EXPECT_EQ(call({"$$midix_client", "2"}), "v");
    EXPECT_EQ(call({"$$midix_client", "4"}), "v");  // does nothing: still two
    EXPECT_EQ(call({"$$midix_send", "1", "903C40"}), "v");
    EXPECT_EQ(call({"$$midix_thru", "1", "true"}), "v");
    for (const char* number : {"2", "-1", "x"}) {
        EXPECT_EQ(call({"$$midix_send", number, "903C40"}), "esystem exception") << number;
        EXPECT_EQ(call({"$$midix_outconnect", number}), "esystem exception") << number;
        EXPECT_EQ(call({"$$midix_thru", number, "1"}), "esystem exception") << number;
    }
    EXPECT_EQ(call({"$$midix_panel"}), "v");
}

TEST_F(MIDIBridgeTest, MidixThruForwardsWhatAClientReceivesToItsOutput) {
    LooperSim sim("Looper Sim", "00000000");
    call({"$$midix_client", "2"});
    const std::string in = endpointJson("Looper Sim", "MIDI Out"), out = endpointJson("Looper Sim", "MIDI In");
    // The endpoint lists are the application client's.
    EXPECT_NE(call({"$$midix_inendpoints"}).find(in), std::string::npos);
    EXPECT_NE(call({"$$midix_outendpoints"}).find(out), std::string::npos);
    ASSERT_EQ(call({"$$midix_outconnect", "0", out}), "v");
    ASSERT_EQ(call({"$$midix_inconnect", "1", in}), "v");
    ASSERT_EQ(call({"$$midix_outconnect", "1", out}), "v");
    handshake(sim, [this] { call({"$$midix_send", "0", "F07E7F0601F7"}); }, "midix\fmessage\f1\fF07E1006");
    handshake(sim, [this] { call({"$$midix_send", "1", "F07E7F0601F7"}); }, "midix\fmessage\f1\fF07E1006");
    ASSERT_EQ(call({"$$midix_thru", "1", "1"}), "v");

    // Client 0 asks for the edit mode; the device answers with a DT1, which client 1 receives
    // and sends back to the device through its own output (where it reads as a write of 0).
    call({"$$midix_send", "0", "F07D1000000000117F7000000000000110F7"});
    const std::string answer = "F07D1000000000127F7000000011F7";
    EXPECT_EQ(sim.waitForLine("sent " + answer), "sent " + answer);
    EXPECT_FALSE(waitForEventStartingWith("midix\fmessage\f1\f" + answer + "\f").empty());
    EXPECT_EQ(sim.waitForLine("recv " + answer), "recv " + answer);

    // Thru off: the answer is still reported but no longer sent on.
    call({"$$midix_thru", "1", "false"});
    call({"$$midix_send", "0", "F07D1000000000117F7000000000000110F7"});
    EXPECT_FALSE(waitForEventStartingWith("midix\fmessage\f1\f" + answer + "\f").empty());
    EXPECT_TRUE(sim.waitForLine("recv " + answer, 500ms).empty());
    // Client 0 has no input: it reports nothing.
    EXPECT_TRUE(eventsDuring(100ms, "midix\fmessage\f0").empty());
}

TEST_F(MIDIBridgeTest, MidixReportsChangesOnceAndFailuresWithTheClientNumber) {
    call({"$$midix_client", "3"});
    eventsDuring(1500ms, "midix\fchanged");  // the first poll; no device yet
    {
        LooperSim sim("Looper Sim", "00000000");
        auto changes = eventsDuring(2500ms, "midix\fchanged");
        EXPECT_EQ(changes, std::vector<std::string>{"midix\fchanged"});
    }
    const std::string missing = endpointJson("Gone", "MIDI In");
    call({"$$midix_outconnect", "2", missing});
    EXPECT_EQ(waitForEventStartingWith("midix\fconnectfailed"), "midix\fconnectfailed\f2\f" + missing);
    call({"$$midix_inconnect", "0", missing});
    EXPECT_EQ(waitForEventStartingWith("midix\fconnectfailed"), "midix\fconnectfailed\f0\f" + missing);
}

TEST_F(MIDIBridgeTest, TgifGivesItsFixedAnswers) {
    EXPECT_EQ(call({"$$tgif_buffer"}), "d-1");
    EXPECT_EQ(call({"$$tgif_buffer", "256"}), "v");
    EXPECT_EQ(call({"$$tgif_device", "uid"}), "s");
    EXPECT_EQ(call({"$$tgif_param", "3"}), "d0");
    EXPECT_EQ(call({"$$tgif_param", "3", "9"}), "v");
    EXPECT_EQ(call({"$$tgif_send", "903C40"}), "v");
    EXPECT_EQ(call({"$$tgif_thru", "1"}), "v");
}

}  // namespace
