// What the owner sees of the line, over a real pseudo-terminal, with either
// runner: every byte once, in order, one at a time and on the owner's thread,
// each line event's notices after its bytes.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "line_under_test.h"

namespace orvana::link {
namespace {

using testing::Bytes;
using testing::LineUnderTest;
using testing::Runner;

class LineReceive : public ::testing::TestWithParam<Runner> {};

TEST_P(LineReceive, EveryByteValueArrivesInOrderWithTheEventCharAfterEachLineEvent) {
  LineUnderTest line(GetParam());
  ASSERT_TRUE(line.Open(testing::kProgramMask, 64, 4));
  ASSERT_TRUE(line.Transport().StartMonitor());

  std::vector<uint8_t> sent(256);
  for (size_t i = 0; i < sent.size(); ++i) sent[i] = static_cast<uint8_t>(255 - i);
  line.pty.Send(sent);

  ASSERT_TRUE(line.Pump([&] {
    return line.Count(kCommRxChar) == sent.size() && line.seen.back().message == kCommEventChar;
  }));
  EXPECT_EQ(line.Bytes(), sent);

  unsigned previous = 0;
  for (const CommNotification& n : line.seen) {
    if (n.message != kCommRxChar) {
      EXPECT_EQ(n.portNumber, 4u);
    }
    ASSERT_TRUE(n.message == kCommRxChar || n.message == kCommEventChar) << n.message;
    // A line event delivers what it read, then one event-char notice.
    if (n.message == kCommEventChar) {
      EXPECT_EQ(previous, kCommRxChar);
      EXPECT_EQ(n.wParam, 0u);
    }
    previous = n.message;
  }
}

TEST_P(LineReceive, TheMaskDecidesWhichNoticesFollowALineEventAndInWhatOrder) {
  LineUnderTest line(GetParam());
  const uint32_t everything =
      kEventRxChar | kEventRxFlag | kEventCts | kEventBreak | kEventError | kEventRing;
  ASSERT_TRUE(line.Open(everything));
  ASSERT_TRUE(line.Transport().StartMonitor());

  line.pty.Send({0x51});
  ASSERT_TRUE(line.Pump([&] { return line.Count(kCommEventChar) == 1; }));

  std::vector<unsigned> messages;
  for (const auto& n : line.seen) messages.push_back(n.message);
  EXPECT_EQ(messages, (std::vector<unsigned>{kCommRxChar, kCommCts, kCommLineBreak, kCommLineError,
                                             kCommRing, kCommEventChar}));
}

TEST_P(LineReceive, EveryByteReachesTheOwnerThreadOnceInOrderAndOneAtATime) {
  LineUnderTest line(GetParam());
  const auto ownerThread = std::this_thread::get_id();
  std::vector<uint8_t> got;
  bool inHandler = false;
  bool overlapped = false;
  bool elsewhere = false;
  line.onByte = [&](uint8_t byte) {
    overlapped = overlapped || inHandler;
    elsewhere = elsewhere || std::this_thread::get_id() != ownerThread;
    inHandler = true;
    got.push_back(byte);
    // A slow owner now and then, so the line piles up behind it.
    if (got.size() % 2000 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    inHandler = false;
  };
  ASSERT_TRUE(line.OpenAndStart());

  // Bursts of every size, single bytes to many times what the relay takes at
  // once, each arriving while the owner is still busy with the one before.
  const std::vector<uint8_t> sent = testing::TestPattern(60000);  // the bursts, end to end
  std::thread meter = testing::SendInBursts(line.pty.MasterFd(), sent,
                                            {1, 1, 2, 3, 700, 4096, 4097, 13000, 1, 30000, 8099},
                                            std::chrono::milliseconds(1));
  const bool all = line.Pump([&] { return got.size() >= sent.size(); });
  meter.join();
  ASSERT_TRUE(all) << got.size() << " of " << sent.size();
  EXPECT_TRUE(got == sent) << "lost, repeated or reordered bytes";
  EXPECT_FALSE(overlapped);
  EXPECT_FALSE(elsewhere);
}

TEST_P(LineReceive, BurstsBackToBackEndingInsideAReadLoseNothing) {
  LineUnderTest line(GetParam());
  std::vector<uint8_t> got;
  line.onByte = [&](uint8_t byte) { got.push_back(byte); };
  ASSERT_TRUE(line.OpenAndStart());

  // Bursts from one byte to several reads' worth, so chunks end mid-burst.
  const std::vector<uint8_t> sent = testing::TestPattern(40000);
  std::thread meter =
      testing::SendInBursts(line.pty.MasterFd(), sent, {1, 2, 700, 4095, 4097, 13000, 1, 18104},
                            std::chrono::milliseconds(0));
  const bool all = line.Pump([&] { return got.size() >= sent.size(); });
  meter.join();
  ASSERT_TRUE(all) << got.size() << " of " << sent.size();
  EXPECT_TRUE(got == sent) << "lost, repeated or reordered bytes";
  EXPECT_TRUE(line.IsMonitoring());
}

// A handler that opens a message box runs a nested loop: the bytes already
// read, and those arriving while the box is open, are handled inside it, in
// order, and the outer loop then finds nothing left.
TEST_P(LineReceive, ANestedLoopCarriesOnWithTheNextByte) {
  LineUnderTest line(GetParam());
  std::vector<int> log;  // received bytes, -1 when the handler of 'b' returns
  line.onByte = [&](uint8_t byte) {
    log.push_back(byte);
    if (byte != 'b') return;
    line.pty.Send(Bytes("de"));
    line.Pump([&] { return log.size() == 5; });
    log.push_back(-1);
  };
  ASSERT_TRUE(line.OpenAndStart());
  line.pty.Send(Bytes("abc"));
  ASSERT_TRUE(line.WaitUntilReadable(3));

  ASSERT_TRUE(line.Pump([&] { return log.size() == 6; }));
  EXPECT_EQ(log, (std::vector<int>{'a', 'b', 'c', 'd', 'e', -1}));
  EXPECT_EQ(line.DrainNow(), 0u);
}

// Every line event ends with kCommEventChar and every write with
// kCommWriteDone; the station handles neither, so neither may cost it a
// call. An owner that handles them gets them in order.
TEST_P(LineReceive, OnlyWhatSomebodyHandlesReachesTheOwner) {
  for (const bool carry : {false, true}) {
    SCOPED_TRACE(carry ? "handled" : "not handled");
    LineUnderTest line(GetParam(), carry);
    ASSERT_TRUE(line.OpenAndStart());
    line.pty.Send(Bytes("q"));
    ASSERT_TRUE(line.Pump(
        [&] { return line.Count(kCommRxChar) == 1 && (!carry || line.seen.size() > 1); }));
    const std::vector<uint8_t> command = {0x50, 0x03, 0x30, 0x7D, 0x01};
    line.Transport().WriteKeepingInput(command.data(), command.size());
    ASSERT_EQ(line.MeterReceives(command.size()), command);

    if (!carry) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      EXPECT_EQ(line.DrainNow(), 0u);
      EXPECT_EQ(line.seen.size(), 1u);
      continue;
    }
    ASSERT_TRUE(line.Pump([&] { return line.seen.size() == 3; }));
    EXPECT_EQ(line.seen[1].message, kCommEventChar);
    EXPECT_EQ(line.seen[2].message, kCommWriteDone);
    EXPECT_EQ(line.seen[2].portNumber, 3u);
  }
}

INSTANTIATE_TEST_SUITE_P(BothRunners, LineReceive,
                         ::testing::Values(Runner::kMonitorThread, Runner::kOwnerLoop),
                         testing::RunnerName);

}  // namespace
}  // namespace orvana::link
