// The deck sample driven through Device: its transport, the tape's ends,
// refused commands and records, and the one-call-at-a-time guard.
#include "filter_fixture.h"

using namespace filtertest;

namespace {

constexpr int32_t kLastFrame = 30 * 60 * 60 - 1;  // the deck's one-hour tape

class Deck : public FilterTest {
  protected:
    void SetUp() override {
        FilterTest::SetUp();
        deck_ = sample("dev-deck", cc("DevC"));
        record_ = NewHandleClear(sizeof(RcDeviceRecord));
        d().version = 1;
    }
    void TearDown() override {
        DisposeHandle(record_);
        FilterTest::TearDown();
    }
    RcDeviceRecord& d() { return *reinterpret_cast<RcDeviceRecord*>(*record_); }
    int16_t command(int16_t what, int32_t argument = 0) {
        d().command = what;
        d().argument = argument;
        return Device(deck_, kRcDeviceCommand, &record_);
    }
    // n status polls; the deck's position after them.
    int32_t poll(int n = 1) {
        for (int i = 0; i < n; ++i) EXPECT_EQ(Device(deck_, kRcDeviceStatus, &record_), noErr);
        return d().timecode;
    }

    int16_t deck_ = 0;
    Handle record_ = nullptr;
};

TEST_F(Deck, TransportMovesTheTapeOnEachPoll) {
    d().timecode = 1234;
    ASSERT_EQ(Device(deck_, kRcDeviceStartup, &record_), noErr);
    EXPECT_STREQ(d().name, "Simulated deck");
    EXPECT_EQ(d().features, kRcDeckCanPlay | kRcDeckCanLocate | kRcDeckCanShuttle |
                                kRcDeckCanRecord | kRcDeckCanStep);
    EXPECT_EQ(d().mode, kRcDeckStop);
    EXPECT_EQ(d().timecode, 0) << "start-up rewinds the tape";
    EXPECT_EQ(poll(3), 0) << "a stopped deck stays put";

    ASSERT_EQ(command(kRcDeckGoto, 300), noErr);
    EXPECT_EQ(d().mode, kRcDeckPause);
    EXPECT_EQ(d().timecode, 300);
    ASSERT_EQ(command(kRcDeckPlay), noErr);
    EXPECT_EQ(d().timecode, 300) << "the tape moves on polls, not on commands";
    EXPECT_EQ(poll(5), 305);
    ASSERT_EQ(command(kRcDeckShuttle, -100), noErr);
    EXPECT_EQ(d().mode, kRcDeckShuttle);
    EXPECT_EQ(poll(2), 305 - 2 * 64) << "shuttle speed is capped at 64 frames";
    ASSERT_EQ(command(kRcDeckShuttle, 3), noErr);
    EXPECT_EQ(poll(2), 183);
    ASSERT_EQ(command(kRcDeckShuttle, 0), noErr);
    EXPECT_EQ(d().mode, kRcDeckPause) << "shuttle at 0 is a pause";
    EXPECT_EQ(poll(), 183);
    ASSERT_EQ(command(kRcDeckStep, -3), noErr);
    EXPECT_EQ(d().timecode, 180);
    ASSERT_EQ(command(kRcDeckRecord), noErr);
    EXPECT_EQ(poll(2), 182);
    EXPECT_EQ(d().mode, kRcDeckRecord);
    ASSERT_EQ(command(kRcDeckFastForward), noErr);
    EXPECT_EQ(poll(), 202);
    ASSERT_EQ(command(kRcDeckStop), noErr);
    EXPECT_EQ(poll(), 202);

    // Winding off either end of the tape stops the deck at that end.
    ASSERT_EQ(command(kRcDeckRewind), noErr);
    EXPECT_EQ(poll(10), 2);
    EXPECT_EQ(poll(), 0);
    EXPECT_EQ(d().mode, kRcDeckStop);
    ASSERT_EQ(command(kRcDeckGoto, kLastFrame - 30), noErr);
    ASSERT_EQ(command(kRcDeckFastForward), noErr);
    EXPECT_EQ(poll(), kLastFrame - 10);
    EXPECT_EQ(poll(), kLastFrame);
    EXPECT_EQ(d().mode, kRcDeckStop);
    EXPECT_EQ(poll(), kLastFrame);
}

TEST_F(Deck, RefusedCommandsAndRecordsLeaveTheDeckAsItWas) {
    ASSERT_EQ(Device(deck_, kRcDeviceStartup, &record_), noErr);
    ASSERT_EQ(command(kRcDeckGoto, 50), noErr);
    // Locate or step off the tape: the deck's own code, nothing moves.
    EXPECT_EQ(command(kRcDeckGoto, kLastFrame + 1), 3);
    EXPECT_EQ(d().status, 3);
    EXPECT_EQ(command(kRcDeckGoto, -1), 3);
    EXPECT_EQ(command(kRcDeckStep, -51), 3);
    EXPECT_EQ(d().timecode, 50);
    EXPECT_EQ(d().mode, kRcDeckPause);
    EXPECT_EQ(command(42), 4) << "an unknown command";
    EXPECT_EQ(command(kRcDeckStep, 1), noErr);
    EXPECT_EQ(d().status, 0) << "a good command clears the status";
    EXPECT_EQ(Device(deck_, 9, &record_), kRcModuleUnsupported);
    // A record of another version is refused without being read.
    d().version = 2;
    EXPECT_EQ(command(kRcDeckPlay), 5);
    d().version = 1;
    EXPECT_EQ(d().mode, kRcDeckPause);
    EXPECT_EQ(Device(deck_, kRcDeviceStatus, nullptr), 5) << "no record at all";

    // While another device call runs, a call answers 1 and the deck does
    // not move; afterwards it runs again.
    ASSERT_EQ(command(kRcDeckPlay), noErr);
    SetAGlobal(kSlotDeviceBusy, 1);
    EXPECT_EQ(Device(deck_, kRcDeviceStatus, &record_), 1);
    EXPECT_EQ(d().timecode, 51);
    SetAGlobal(kSlotDeviceBusy, 0);
    EXPECT_EQ(poll(), 52);
    EXPECT_EQ(GetAGlobal(kSlotDeviceBusy), 0);
    EXPECT_EQ(Device(deck_, kRcDeviceShutdown, &record_), noErr);
    EXPECT_EQ(d().mode, kRcDeckStop);
}

}  // namespace
