#include "MIDIBridgeFixture.h"

#include "base/Json.h"
#include "midi/MIDIClient.h"
#include "midi/MIDIClock.h"

#include <regex>

namespace {

using namespace std::chrono_literals;

const std::string kReadEditMode = "F07D1000000000117F700000000000011 0F7";

std::string withoutSpaces(std::string text) {
    text.erase(std::remove(text.begin(), text.end(), ' '), text.end());
    return text;
}

TEST_F(MIDIBridgeTest, ListsTheDeviceUnderItsNameAndNeverTarnItself) {
    LooperSim sim("Looper Sim", "00000000");
    EXPECT_EQ(endpointOf("$$midi_inendpoints", "Looper Sim"),
              "{\"MIDIDeviceNameKey\":\"Looper Sim\",\"MIDIEndpointIndexKey\":\":MIDI Out\","
              "\"MIDIEndpointUIDKey\":\"Looper Sim:MIDI Out\",\"MIDIEntityNameKey\":\"Looper Sim\"}");
    EXPECT_EQ(endpointOf("$$midi_outendpoints", "Looper Sim"),
              "{\"MIDIDeviceNameKey\":\"Looper Sim\",\"MIDIEndpointIndexKey\":\":MIDI In\","
              "\"MIDIEndpointUIDKey\":\"Looper Sim:MIDI In\",\"MIDIEntityNameKey\":\"Looper Sim\"}");
    connectBoth(sim, "Looper Sim");
    // Connected, Tarn has ports of its own in the MIDI system; they are not listed.
    for (const char* list : {"$$midi_inendpoints", "$$midi_outendpoints"}) {
        Json endpoints = parseJson(call({list}).substr(1));
        ASSERT_EQ(endpoints.size(), 1u) << endpoints.dump();
        EXPECT_EQ(endpoints[0]["MIDIDeviceNameKey"], "Looper Sim");
    }
}

TEST_F(MIDIBridgeTest, AReadRequestReachesTheDeviceAndItsAnswerArrivesAsOneMessage) {
    LooperSim sim("Looper Sim", "00000000");
    connectBoth(sim, "Looper Sim");
    uint32_t before = midiClockMilliseconds();
    EXPECT_EQ(call({"$$midi_send", withoutSpaces(kReadEditMode)}), "v");
    EXPECT_EQ(sim.waitForLine([](const std::string& l) { return l.rfind("recv", 0) == 0; }),
              "recv " + withoutSpaces(kReadEditMode));
    // DT1 of 7F700000 with edit mode 0, checksum 11.
    std::string event = waitForEventStartingWith("midi\fmessage\f");
    std::smatch match;
    ASSERT_TRUE(std::regex_match(event, match, std::regex("midi\fmessage\fF07D1000000000127F7000000011F7\f(\\d+)")))
        << event;
    uint32_t stamp = static_cast<uint32_t>(std::stoul(match[1]));
    EXPECT_GE(stamp, before);
    EXPECT_LE(stamp, midiClockMilliseconds());
    EXPECT_TRUE(eventsDuring(200ms, "midi\fmessage").empty());  // one message, not pieces
}

TEST_F(MIDIBridgeTest, LowerCaseHexIsAcceptedAndEditModeCanBeSwitched) {
    LooperSim sim("Looper Sim", "0102030405");
    connectBoth(sim, "Looper Sim");
    // DT1 7F700000 01 (checksum 10), then a read: the device answers 1, upper case.
    call({"$$midi_send", "f07d10010203040512" "7f70000001" "10f7"});
    EXPECT_EQ(sim.waitForLine("mode 1"), "mode 1");
    call({"$$midi_send", "f07d10010203040511" "7f70000000000001" "10f7"});
    EXPECT_FALSE(waitForEventStartingWith("midi\fmessage\fF07D100102030405127F7000000110F7\f").empty());
    // A wrong checksum is ignored by the device: no answer.
    call({"$$midi_send", "f07d10010203040511" "7f70000000000001" "11f7"});
    EXPECT_FALSE(sim.waitForLine("recv F07D1001020304051" "17F70000000000001" "11F7").empty());
    EXPECT_TRUE(eventsDuring(300ms, "midi\fmessage").empty());
}

TEST_F(MIDIBridgeTest, RunningStatusNotesArriveAsTwoMessages) {
    LooperSim sim("Looper Sim", "00000000");
    connectBoth(sim, "Looper Sim");
    call({"$$midi_send", "903C403E40"});
    EXPECT_EQ(sim.waitForLine([](const std::string& l) { return l.rfind("recv", 0) == 0; }), "recv 903C40");
    EXPECT_EQ(sim.waitForLine([](const std::string& l) { return l.rfind("recv", 0) == 0; }), "recv 903E40");
    // The echoes come back as two note messages, in order.
    EXPECT_FALSE(waitForEventStartingWith("midi\fmessage\f903C40\f").empty());
    EXPECT_FALSE(waitForEventStartingWith("midi\fmessage\f903E40\f").empty());
}

TEST_F(MIDIBridgeTest, ALongSysExGoesOutAs512BytesEndingInF7) {
    LooperSim sim("Looper Sim", "00000000");
    connectBoth(sim, "Looper Sim");
    std::vector<uint8_t> sysEx{0xF0, 0x41};
    while (sysEx.size() < 599) sysEx.push_back(sysEx.size() & 0x7F);
    sysEx.push_back(0xF7);
    call({"$$midi_send", hexOf(sysEx)});
    std::vector<uint8_t> expected(sysEx.begin(), sysEx.begin() + 511);
    expected.push_back(0xF7);
    EXPECT_EQ(sim.waitForLine([](const std::string& l) { return l.rfind("recv", 0) == 0; }), "recv " + hexOf(expected));
    // The echo arrives whole, as one message.
    EXPECT_FALSE(waitForEventStartingWith("midi\fmessage\f" + hexOf(expected) + "\f").empty());
}

TEST_F(MIDIBridgeTest, AClockByteInsideASysExGoesOutAtOnce) {
    LooperSim sim("Looper Sim", "00000000");
    connectBoth(sim, "Looper Sim");
    call({"$$midi_send", "F04101"});
    call({"$$midi_send", "F80203F7"});
    EXPECT_EQ(sim.waitForLine([](const std::string& l) { return l.rfind("recv", 0) == 0; }), "recv F8");
    EXPECT_EQ(sim.waitForLine([](const std::string& l) { return l.rfind("recv", 0) == 0; }), "recv F041010203F7");
    // The echoed clock byte is never delivered; the SysEx is.
    EXPECT_FALSE(waitForEventStartingWith("midi\fmessage\fF041010203F7\f").empty());
    EXPECT_TRUE(eventsDuring(200ms, "midi\fmessage\fF8").empty());
}

TEST_F(MIDIBridgeTest, ConnectWithoutArgumentTakesEveryEndpointAndIdentityIsAnswered) {
    LooperSim sim("Looper Sim", "0102030405");
    EXPECT_EQ(call({"$$midi_inconnect"}), "v");
    EXPECT_EQ(call({"$$midi_outconnect"}), "v");
    handshake(sim, [this] { call({"$$midi_send", "F07E7F0601F7"}); }, "midi\fmessage\fF07E100602" "7D01020304" "00010000F7\f");
    // Disconnected, nothing arrives any more.
    EXPECT_EQ(call({"$$midi_indisconnect"}), "v");
    call({"$$midi_send", "903C40"});
    EXPECT_FALSE(sim.waitForLine("recv 903C40").empty());
    EXPECT_TRUE(eventsDuring(300ms, "midi\fmessage").empty());
}

TEST_F(MIDIBridgeTest, StartingAndStoppingADeviceIsReportedAsChanged) {
    eventsDuring(1500ms, "midi\fchanged");  // the first poll; no device yet
    {
        LooperSim sim("Looper Sim", "00000000");
        EXPECT_FALSE(waitForEventStartingWith("midi\fchanged", 2500ms).empty());
    }
    EXPECT_FALSE(waitForEventStartingWith("midi\fchanged", 2500ms).empty());
}

TEST_F(MIDIBridgeTest, ConnectingAMissingEndpointReportsItBack) {
    LooperSim sim("Looper Sim", "00000000");
    const std::string missing =
        "{\"MIDIDeviceNameKey\":\"Gone\",\"MIDIEndpointIndexKey\":\":MIDI In\","
        "\"MIDIEndpointUIDKey\":\"Gone:MIDI In\",\"MIDIEntityNameKey\":\"Gone\"}";
    EXPECT_EQ(call({"$$midi_outconnect", missing}), "v");
    EXPECT_EQ(waitForEventStartingWith("midi\fconnectfailed"), "midi\fconnectfailed\f" + missing);
    // The right name with a UID that no port has fails too; the slash comes back escaped.
    const std::string wrongPath =
        "{\"MIDIDeviceNameKey\":\"Looper Sim\",\"MIDIEndpointIndexKey\":\":MIDI 2\","
        "\"MIDIEndpointUIDKey\":\"Looper Sim:MIDI\\/2\",\"MIDIEntityNameKey\":\"Looper Sim\"}";
    EXPECT_EQ(call({"$$midi_inconnect", wrongPath}), "v");
    EXPECT_EQ(waitForEventStartingWith("midi\fconnectfailed"), "midi\fconnectfailed\f" + wrongPath);
}

TEST_F(MIDIBridgeTest, AnEndpointOfTheWrongShapeFailsTheCallAndConnectsNothing) {
    LooperSim sim("Looper Sim", "00000000");
    std::string good = endpointOf("$$midi_inendpoints", "Looper Sim");
    Json missingKey = parseJson(good);
    missingKey.erase("MIDIEndpointIndexKey");
    Json numberValue = parseJson(good);
    numberValue["MIDIEndpointUIDKey"] = 7;
    for (const std::string& bad : {std::string("[1]"), std::string("nonsense"), jsonText(missingKey), jsonText(numberValue)}) {
        EXPECT_EQ(call({"$$midi_inconnect", bad}), "esystem exception") << bad;
        EXPECT_EQ(call({"$$midi_outdisconnect", bad}), "esystem exception") << bad;
    }
    call({"$$midi_outconnect", endpointOf("$$midi_outendpoints", "Looper Sim")});
    bool answered = false;
    for (int attempt = 0; attempt < 20 && !answered; ++attempt) {
        call({"$$midi_send", "F07E7F0601F7"});
        answered = !sim.waitForLine([](const std::string& l) { return l.rfind("sent", 0) == 0; }, 250ms).empty();
    }
    EXPECT_TRUE(answered);
    // No input connected and no connect failure. The device poll may still report the
    // simulator's ports appearing ("changed"), which is not what this checks.
    EXPECT_TRUE(eventsDuring(300ms, "midi\fmessage").empty());
    EXPECT_TRUE(eventsDuring(0ms, "midi\fconnectfailed").empty());
}

TEST_F(MIDIBridgeTest, PanelReturnsVoid) { EXPECT_EQ(call({"$$midi_panel"}), "v"); }

// A window's bridge before its page has shown: no MIDI client yet, so nothing watches the
// ports; the first MIDI call makes it and answers at once, and the watch runs from then on.
TEST_F(MIDIBridgeTest, BeforeThePageShowsTheFirstCallMakesTheClientAndStartsTheWatch) {
    controller.reset();
    events.clear();
    controller = std::make_unique<TarnAppWebViewController>();
    LooperSim first("Looper Sim", "00000000");
    EXPECT_TRUE(eventsDuring(1500ms, "midi\fchanged").empty());
    EXPECT_FALSE(endpointOf("$$midi_inendpoints", "Looper Sim").empty());
    eventsDuring(1500ms, "midi\fchanged");  // the first poll after the call
    LooperSim second("Second Sim", "00000000");
    EXPECT_FALSE(waitForEventStartingWith("midi\fchanged", 2500ms).empty());
    EXPECT_FALSE(endpointOf("$$midi_outendpoints", "Second Sim").empty());
}

}  // namespace

namespace {

using namespace std::chrono_literals;

// With a device present from the start, the first poll reports a change.
class MIDIPresentAtStartTest : public MIDIBridgeTest {
protected:
    MIDIPresentAtStartTest() : sim("Looper Sim", "00000000") {
        controller.reset();
        controller = std::make_unique<TarnAppWebViewController>();
        controller->nativeObjects().startWatchers();
    }
    LooperSim sim;
};

TEST_F(MIDIPresentAtStartTest, TheFirstPollReportsTheDevice) {
    auto changes = eventsDuring(1800ms, "midi\fchanged");
    EXPECT_EQ(changes, std::vector<std::string>{"midi\fchanged"});
}

TEST_F(MIDIPresentAtStartTest, ConnectingAConnectedEndpointAgainReopensIt) {
    connectBoth(sim, "Looper Sim");
    std::string out = endpointOf("$$midi_outendpoints", "Looper Sim");
    EXPECT_EQ(call({"$$midi_outconnect", out}), "v");
    EXPECT_EQ(controller->nativeObjects().midiClient().outputPort()->connectionCount(), 1u);
    // Still one connection: each note reaches the device once.
    handshake(sim, [this] { call({"$$midi_send", "F07E7F0601F7"}); }, "midi\fmessage\fF07E1006");
    call({"$$midi_send", "913C40"});
    EXPECT_EQ(sim.waitForLine([](const std::string& l) { return l.rfind("recv", 0) == 0; }), "recv 913C40");
    EXPECT_TRUE(sim.waitForLine("recv 913C40", 300ms).empty());
    // Disconnecting one endpoint leaves none; an unknown one does nothing.
    EXPECT_EQ(call({"$$midi_outdisconnect", out}), "v");
    EXPECT_EQ(call({"$$midi_outdisconnect", out}), "v");
    EXPECT_EQ(controller->nativeObjects().midiClient().outputPort()->connectionCount(), 0u);
}

}  // namespace
