// What only the monitor-thread runner has: a relay that holds so much and
// then lets the line wait, over a real pseudo-terminal. Ending the monitor
// while it waits for room must not wait on the receiving thread.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/trace.h"
#include "line_under_test.h"
#include "link/thread_relay.h"

namespace orvana::link {
namespace {

using common::TraceCapture;
using testing::Bytes;
using testing::LineUnderTest;
using testing::Runner;
using testing::WaitUntil;

// Once the relay holds its limit, at most one read more than that, the rest
// of `extra` stays in the driver.
std::vector<uint8_t> MoreThanTheRelayHolds(size_t extra = 3000) {
  std::vector<uint8_t> burst = Bytes("abc");
  burst.resize(CThreadRelay::kHoldLimit + extra, 'x');
  return burst;
}

// The program opens the port again from inside a handler, halfway through
// what the monitor has read, while the monitor waits for the receiving thread
// to make room: Open returns, and the old monitor's bytes are gone with it.
TEST(ThreadRelay, OpeningWhileTheMonitorWaitsForRoomReturnsAndDropsTheRest) {
  LineUnderTest line(Runner::kMonitorThread);
  TraceCapture trace;
  std::vector<uint8_t> got;
  line.onByte = [&](uint8_t byte) {
    got.push_back(byte);
    if (byte == 'c') {
      EXPECT_TRUE(line.OpenAndStart());
    }
  };
  ASSERT_TRUE(line.OpenAndStart());
  line.pty.Send(MoreThanTheRelayHolds());
  ASSERT_TRUE(line.WaitUntilReadable(CThreadRelay::kHoldLimit));

  line.DrainNow();
  EXPECT_TRUE(trace.Contains("Thread ended\n"));
  EXPECT_EQ(got, Bytes("abc"));
  line.pty.Send(Bytes("z"));
  ASSERT_TRUE(line.Pump([&] { return got.size() == 4; }));
  EXPECT_EQ(got, Bytes("abcz"));
}

TEST(ThreadRelay, DestroyingTheTransportWhileTheMonitorWaitsForRoomReturns) {
  TraceCapture trace;
  LineUnderTest line(Runner::kMonitorThread);
  ASSERT_TRUE(line.OpenAndStart());
  line.pty.Send(MoreThanTheRelayHolds(CThreadRelay::kHoldLimit));
  ASSERT_TRUE(line.WaitUntilReadable(CThreadRelay::kHoldLimit));
  // The rest stays in the driver: the monitor has stopped reading.
  ASSERT_TRUE(WaitUntil([&] { return line.Port().BytesWaiting() > 0; }));

  line.Destroy();
  EXPECT_TRUE(trace.Contains("Thread ended\n"));
  EXPECT_TRUE(line.received.empty()) << "nothing the monitor left is handed on";
}

}  // namespace
}  // namespace orvana::link
