#include "midi/MIDIDeliveryGate.h"
#include "midi/MIDIEventAssembler.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

class Assembled {
public:
    void take(const Bytes& event) {
        assembler.take(event.data(), event.size(),
                       [this](const uint8_t* data, size_t length) { messages.emplace_back(data, data + length); });
    }
    MIDIEventAssembler assembler;
    std::vector<Bytes> messages;
};

TEST(MIDIEventAssembler, WholeEventsPassAsTheyAre) {
    Assembled a;
    a.take({0x90, 0x3C, 0x40});
    a.take({0xF0, 0x7D, 0x01, 0xF7});
    a.take({});
    a.take({0xF8});
    EXPECT_EQ(a.messages, (std::vector<Bytes>{{0x90, 0x3C, 0x40}, {0xF0, 0x7D, 0x01, 0xF7}, {0xF8}}));
    EXPECT_FALSE(a.assembler.pending());
}

TEST(MIDIEventAssembler, ASysExInPiecesArrivesAsOneMessageWithRealTimeBytesPassingOnAtOnce) {
    Assembled a;
    a.take({0xF0, 0x41, 0x01});
    EXPECT_TRUE(a.messages.empty());
    EXPECT_TRUE(a.assembler.pending());
    a.take({0x02, 0x03});
    a.take({0xF8});  // a clock between the pieces, as on the wire
    a.take({0x04, 0xF7});
    EXPECT_EQ(a.messages, (std::vector<Bytes>{{0xF8}, {0xF0, 0x41, 0x01, 0x02, 0x03, 0x04, 0xF7}}));
    // A lone F7 ends one too.
    a.take({0xF0, 0x42});
    a.take({0xF7});
    EXPECT_EQ(a.messages.back(), (Bytes{0xF0, 0x42, 0xF7}));
    EXPECT_FALSE(a.assembler.pending());
}

TEST(MIDIEventAssembler, AStatusBeforeTheEndDropsTheUnfinishedSysEx) {
    Assembled a;
    a.take({0xF0, 0x41, 0x01});
    a.take({0x90, 0x3C, 0x40});
    a.take({0x02, 0xF7});  // no SysEx pending any more: passed on as it is
    a.take({0xF0, 0x43});
    a.take({0xF0, 0x44, 0xF7});  // a new SysEx replaces the unfinished one
    EXPECT_EQ(a.messages, (std::vector<Bytes>{{0x90, 0x3C, 0x40}, {0x02, 0xF7}, {0xF0, 0x44, 0xF7}}));
}

TEST(MIDIEventAssembler, ASysExThatNeverEndsIsDroppedAndTheNextOneStillArrives) {
    Assembled a;
    Bytes piece(64 * 1024, 0x11);
    a.take({0xF0});
    for (size_t total = 1; total <= MIDIEventAssembler::kMaxSysEx + piece.size(); total += piece.size()) a.take(piece);
    a.take({0xF7});
    EXPECT_TRUE(a.messages.empty());
    a.take({0xF0, 0x01});
    a.take({0x02, 0xF7});
    EXPECT_EQ(a.messages, (std::vector<Bytes>{{0xF0, 0x01, 0x02, 0xF7}}));
}

TEST(MIDIDeliveryGate, ShuttingWaitsForADeliveryInsideAndTurnsLaterOnesAway) {
    MIDIDeliveryGate gate;
    ASSERT_TRUE(gate.enter());
    std::atomic<bool> shut{false};
    std::thread closer([&] {
        gate.shut();
        shut = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(shut.load()) << "shut() returned while a delivery was inside";
    EXPECT_FALSE(gate.enter()) << "a new delivery got in while the gate was shutting";
    gate.leave();
    closer.join();
    EXPECT_TRUE(shut.load());
    EXPECT_FALSE(gate.enter());
}

TEST(MIDIDeliveryGate, NoDeliveryRunsAfterShutReturnsUnderContention) {
    for (int round = 0; round < 50; ++round) {
        MIDIDeliveryGate gate;
        std::atomic<bool> closed{false};
        std::atomic<int> lateDeliveries{0};
        std::atomic<bool> stop{false};
        std::thread deliverer([&] {
            while (!stop) {
                if (!gate.enter()) continue;
                if (closed) ++lateDeliveries;
                gate.leave();
            }
        });
        std::this_thread::sleep_for(std::chrono::microseconds(200 + round * 20));
        gate.shut();
        closed = true;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        stop = true;
        deliverer.join();
        ASSERT_EQ(lateDeliveries.load(), 0) << "round " << round;
    }
}

}  // namespace
