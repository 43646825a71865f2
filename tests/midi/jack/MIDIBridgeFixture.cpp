#include "MIDIBridgeFixture.h"

#include "base/Json.h"

#include <stdexcept>
#include <thread>

std::unique_ptr<JackServer> MIDIBridgeTest::jack;

namespace {

std::string serverFailure;

// One JACK server for the whole test program (ctest runs each test as its own program). A
// server that does not come up fails each test with the reason, instead of ending the program.
class JackEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        try {
            MIDIBridgeTest::jack = std::make_unique<JackServer>();
        } catch (const std::exception& error) {
            serverFailure = error.what();
        }
    }
    void TearDown() override { MIDIBridgeTest::jack.reset(); }
};

const auto* environment = ::testing::AddGlobalTestEnvironment(new JackEnvironment);

}  // namespace

MIDIBridgeTest::MIDIBridgeTest() {
    if (!jack) throw std::runtime_error(serverFailure);
    controller = std::make_unique<TarnAppWebViewController>();
    // As in a window whose page has shown: the MIDI watch runs.
    controller->nativeObjects().startWatchers();
}

MIDIBridgeTest::~MIDIBridgeTest() { controller.reset(); }

void MIDIBridgeTest::drain() {
    for (std::string event = controller->takeEvent(); !event.empty(); event = controller->takeEvent())
        events.push_back(event);
}

std::string MIDIBridgeTest::waitForEvent(const std::function<bool(const std::string&)>& match,
                                         std::chrono::milliseconds timeout) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        drain();
        for (auto it = events.begin(); it != events.end(); ++it) {
            if (match(*it)) {
                std::string found = *it;
                events.erase(it);
                return found;
            }
        }
        if (std::chrono::steady_clock::now() > deadline) return "";
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

std::vector<std::string> MIDIBridgeTest::eventsDuring(std::chrono::milliseconds time, const std::string& prefix) {
    std::this_thread::sleep_for(time);
    drain();
    std::vector<std::string> found, rest;
    for (auto& event : events) (event.rfind(prefix, 0) == 0 ? found : rest).push_back(event);
    events = rest;
    return found;
}

std::string MIDIBridgeTest::endpointOf(const std::string& listCall, const std::string& device) {
    std::string result = call({listCall});
    if (result.empty() || result[0] != 's') return "";
    for (const Json& endpoint : parseJson(result.substr(1)))
        if (endpoint.at("MIDIDeviceNameKey") == device) return jsonText(endpoint);
    return "";
}

void MIDIBridgeTest::handshake(LooperSim& sim, const std::function<void()>& send, const std::string& replyPrefix) {
    bool answered = false;
    for (int attempt = 0; attempt < 20 && !answered; ++attempt) {
        send();
        answered = !waitForEventStartingWith(replyPrefix, std::chrono::milliseconds(250)).empty();
    }
    ASSERT_TRUE(answered) << "no identity reply";
    eventsDuring(std::chrono::milliseconds(100), replyPrefix);
    sim.skipSoFar();
}

void MIDIBridgeTest::connectBoth(LooperSim& sim, const std::string& device) {
    // The device's ports show up in the MIDI system a moment after it starts, as a plugged-in device's do.
    std::string in, out;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    do {
        in = endpointOf("$$midi_inendpoints", device);
        out = endpointOf("$$midi_outendpoints", device);
        if (!in.empty() && !out.empty()) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    } while (std::chrono::steady_clock::now() < deadline);
    ASSERT_FALSE(in.empty());
    ASSERT_FALSE(out.empty());
    ASSERT_EQ(call({"$$midi_inconnect", in}), "v");
    ASSERT_EQ(call({"$$midi_outconnect", out}), "v");
    handshake(sim, [this] { call({"$$midi_send", "F07E7F0601F7"}); }, "midi\fmessage\fF07E1006");
}

std::string hexOf(const std::vector<uint8_t>& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (uint8_t b : bytes) {
        text += digits[b >> 4];
        text += digits[b & 15];
    }
    return text;
}
