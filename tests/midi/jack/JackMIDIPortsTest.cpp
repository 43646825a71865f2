// Tarn's JACK connections on their own, below the bridge: listing, sending, receiving, and
// closing while the server's cycles are busy with them.
#include "MIDIBridgeFixture.h"
#include "midi/JackMIDIPorts.h"

#include <rtmidi/RtMidi.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <random>
#include <thread>

namespace {

using namespace std::chrono_literals;

const std::vector<uint8_t> kNote{0x90, 0x3C, 0x40};
const std::vector<uint8_t> kStreamedSysEx{0xF0, 0x7D, 0x10, 0x00, 0x01, 0x02, 0x03, 0xF7};

class JackMIDIPortsTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(MIDIBridgeTest::jack) << "no JACK server"; }

    static bool listed(const std::string& port, bool destinations) {
        auto names = JackMIDIPorts::portNames(destinations);
        return std::find(names.begin(), names.end(), port) != names.end();
    }
    static bool waitListed(const std::string& port, bool destinations) {
        for (int i = 0; i < 100; ++i) {
            if (listed(port, destinations)) return true;
            std::this_thread::sleep_for(20ms);
        }
        return false;
    }
};

// Counts what an input delivers and notes anything that is not one of the streamed messages.
struct Counter {
    std::atomic<int> messages{0};
    std::atomic<int> strangers{0};
    MIDISystem::Receiver receiver() {
        return [this](const uint8_t* data, size_t length) {
            std::vector<uint8_t> message(data, data + length);
            if (message != kNote && message != kStreamedSysEx) ++strangers;
            ++messages;
        };
    }
};

TEST_F(JackMIDIPortsTest, ListsEachDirectionByFullPortName) {
    LooperSim sim("Port Sim", "00000000");
    EXPECT_TRUE(waitListed("Port Sim:MIDI Out", false));
    EXPECT_TRUE(waitListed("Port Sim:MIDI In", true));
    EXPECT_FALSE(listed("Port Sim:MIDI In", false));
    EXPECT_FALSE(listed("Port Sim:MIDI Out", true));
    EXPECT_EQ(JackMIDIPorts::openOutput("Port Sim:No Such Port"), nullptr);
    EXPECT_EQ(JackMIDIPorts::openInput("Port Sim:MIDI In", [](const uint8_t*, size_t) {}), nullptr)
        << "an input cannot take from a port that receives";
}

TEST_F(JackMIDIPortsTest, OutputsClosedRightAfterABurstNeverTouchFreedBuffers) {
    LooperSim sim("Burst Sim", "00000000");
    ASSERT_TRUE(waitListed("Burst Sim:MIDI In", true));
    std::minstd_rand random(7);
    int sent = 0;
    for (int round = 0; round < 60; ++round) {
        auto output = JackMIDIPorts::openOutput("Burst Sim:MIDI In");
        ASSERT_NE(output, nullptr) << "round " << round;
        for (int i = 0; i < 20; ++i) {
            ASSERT_EQ(output->send(kNote.data(), kNote.size()), 0);
            ++sent;
        }
        // Close at varying points of the server's 2.9 ms cycle, some while it reads the burst.
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 3000));
    }
    // It went out (a close waits for the queue only so long; the next test holds it to all).
    int received = 0;
    while (!sim.waitForLine([](const std::string& l) { return l.rfind("recv", 0) == 0; }, std::chrono::milliseconds(1000))
                .empty())
        ++received;
    EXPECT_GT(received, 0);
    EXPECT_LE(received, sent);
}

TEST_F(JackMIDIPortsTest, WhatWasSentRightBeforeACloseStillGoesOut) {
    LooperSim sim("Last Word Sim", "00000000");
    ASSERT_TRUE(waitListed("Last Word Sim:MIDI In", true));
    auto output = JackMIDIPorts::openOutput("Last Word Sim:MIDI In");
    ASSERT_NE(output, nullptr);
    // What is sent as soon as the connection is made waits until the server's graph carries
    // it, instead of going out of an unconnected port ...
    ASSERT_EQ(output->send(kNote.data(), kNote.size()), 0);
    ASSERT_EQ(sim.waitForLine([](const std::string& line) { return line.rfind("recv", 0) == 0; }), "recv 903C40");
    // ... and what is queued when the output closes still goes out (a device's edit mode
    // switched off just before the program ends).
    const int count = 120;
    for (int i = 0; i < count; ++i) {
        std::vector<uint8_t> note{0x90, static_cast<uint8_t>(i), 0x41};
        ASSERT_EQ(output->send(note.data(), note.size()), 0);
    }
    output.reset();
    int received = 0;
    std::string last;
    for (std::string line; !(line = sim.waitForLine([](const std::string& l) { return l.rfind("recv", 0) == 0; },
                                                     std::chrono::milliseconds(1000)))
                                 .empty();) {
        ++received;
        last = line;
    }
    EXPECT_EQ(received, count);
    EXPECT_EQ(last, "recv 907741");
}

TEST_F(JackMIDIPortsTest, AnInputDeliversWholeMessagesAndNothingOnceClosed) {
    LooperSim sim("Chatty Sim", "00000000", {"--stream", "1"});
    ASSERT_TRUE(waitListed("Chatty Sim:MIDI Out", false));
    std::minstd_rand random(11);
    for (int round = 0; round < 30; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        Counter counter;
        auto input = JackMIDIPorts::openInput("Chatty Sim:MIDI Out", counter.receiver());
        ASSERT_NE(input, nullptr);
        for (int i = 0; i < 200 && counter.messages < 2; ++i) std::this_thread::sleep_for(5ms);
        EXPECT_GE(counter.messages.load(), 2);
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 3000));
        input.reset();
        int atClose = counter.messages;
        std::this_thread::sleep_for(10ms);
        EXPECT_EQ(counter.messages.load(), atClose) << "a message was delivered after the close";
        EXPECT_EQ(counter.strangers.load(), 0);
    }
}

TEST_F(JackMIDIPortsTest, AMessageThePortCannotTakeHoldsNothingUp) {
    LooperSim sim("Big Sim", "00000000");
    ASSERT_TRUE(waitListed("Big Sim:MIDI In", true));
    auto output = JackMIDIPorts::openOutput("Big Sim:MIDI In");
    ASSERT_NE(output, nullptr);
    EXPECT_EQ(output->send(kNote.data(), kNote.size()), 0);
    EXPECT_EQ(sim.waitForLine([](const std::string& line) { return line.rfind("recv", 0) == 0; }), "recv 903C40");
    // Far more than a JACK MIDI buffer holds, though it would fit the connection's queue: it
    // could never go out, so it is refused rather than queued.
    std::vector<uint8_t> huge(60000, 0x11);
    huge.front() = 0xF0;
    huge.back() = 0xF7;
    EXPECT_EQ(output->send(huge.data(), huge.size()), RtMidiError::DRIVER_ERROR);
    // Bigger than the queue itself: refused at once.
    std::vector<uint8_t> larger(1 << 17, 0x11);
    EXPECT_EQ(output->send(larger.data(), larger.size()), RtMidiError::DRIVER_ERROR);
    EXPECT_EQ(output->send(kNote.data(), kNote.size()), 0);
    EXPECT_EQ(sim.waitForLine([](const std::string& line) { return line.rfind("recv", 0) == 0; }), "recv 903C40");
}

TEST_F(JackMIDIPortsTest, ConnectionsToAServerThatGoesAwayFailTheirWritesAndCloseAtOnce) {
    auto server = std::make_unique<JackServer>();  // the clients opened below go to this one
    // Its ports are there once it is ready (the process's lister stays on the first server).
    auto sim = std::make_unique<LooperSim>("Doomed Sim", "00000000", std::vector<std::string>{"--stream", "1"});
    auto output = JackMIDIPorts::openOutput("Doomed Sim:MIDI In");
    ASSERT_NE(output, nullptr);
    Counter counter;
    auto input = JackMIDIPorts::openInput("Doomed Sim:MIDI Out", counter.receiver());
    ASSERT_NE(input, nullptr);
    EXPECT_EQ(output->send(kNote.data(), kNote.size()), 0);
    server.reset();
    int result = 0;
    for (int i = 0; i < 100 && result == 0; ++i) {
        result = output->send(kNote.data(), kNote.size());
        if (result == 0) std::this_thread::sleep_for(20ms);
    }
    EXPECT_EQ(result, RtMidiError::DRIVER_ERROR) << "writes to a server that is gone still succeed";
    auto start = std::chrono::steady_clock::now();
    output.reset();
    input.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    sim.reset();
    setenv("JACK_DEFAULT_SERVER", MIDIBridgeTest::jack->name().c_str(), 1);
}

}  // namespace
