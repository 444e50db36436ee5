// What the program sees of the line, over a real pseudo-terminal, with either
// runner: every byte once, unchanged, in order, one at a time and on the
// receiving thread.
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

// A line that is not raw would swallow or change some (the interrupt and
// flow-control characters, CR, the erase character).
TEST_P(LineReceive, EveryByteValueArrivesUnchangedAndInOrder) {
  LineUnderTest line(GetParam());
  ASSERT_TRUE(line.OpenAndStart());

  std::vector<uint8_t> sent(256);
  for (size_t i = 0; i < sent.size(); ++i) sent[i] = static_cast<uint8_t>(255 - i);
  line.pty.Send(sent);

  ASSERT_TRUE(line.Pump([&] { return line.received.size() >= sent.size(); }));
  line.DrainNow();
  EXPECT_EQ(line.received, sent);
}

TEST_P(LineReceive, EveryByteReachesTheReceivingThreadOnceInOrderAndOneAtATime) {
  LineUnderTest line(GetParam());
  const auto receivingThread = std::this_thread::get_id();
  std::vector<uint8_t> got;
  bool inHandler = false;
  bool overlapped = false;
  bool elsewhere = false;
  line.onByte = [&](uint8_t byte) {
    overlapped = overlapped || inHandler;
    elsewhere = elsewhere || std::this_thread::get_id() != receivingThread;
    inHandler = true;
    got.push_back(byte);
    // A slow handler now and then, so the line piles up behind it.
    if (got.size() % 2000 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    inHandler = false;
  };
  ASSERT_TRUE(line.OpenAndStart());

  // Bursts of every size, single bytes to many times what the relay takes at
  // once, each arriving while the handler is still busy with the one before.
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

INSTANTIATE_TEST_SUITE_P(BothRunners, LineReceive,
                         ::testing::Values(Runner::kMonitorThread, Runner::kPolled),
                         testing::RunnerName);

}  // namespace
}  // namespace orvana::link
