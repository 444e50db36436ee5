// Starting, stopping and losing a monitor over a real pseudo-terminal, with
// either runner.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "common/trace.h"
#include "line_under_test.h"
#include "support/pty_pair.h"

namespace orvana::link {
namespace {

using common::TraceCapture;
using orvana::testing::PtyPair;
using testing::Bytes;
using testing::LineUnderTest;
using testing::Runner;
using testing::WaitUntil;

class LineLifecycle : public ::testing::TestWithParam<Runner> {};

TEST_P(LineLifecycle, OpenOnARunningMonitorEndsItAndLeavesThePortWithoutOne) {
  LineUnderTest line(GetParam());
  TraceCapture trace;
  ASSERT_TRUE(line.OpenAndStart());
  EXPECT_TRUE(trace.Contains(line.StartedTrace()));

  ASSERT_TRUE(line.Open());
  EXPECT_TRUE(trace.Contains(line.EndedTrace()));
  EXPECT_TRUE(line.Port().IsOpen());
  EXPECT_FALSE(line.IsMonitoring());

  // Nothing reads the line until the next StartMonitor, which starts clean.
  line.pty.Send(Bytes("x"));
  ASSERT_TRUE(WaitUntil([&] { return line.Port().BytesWaiting() == 1; }));
  ASSERT_TRUE(line.Transport().StartMonitor());
  line.pty.Send(Bytes("y"));
  ASSERT_TRUE(line.Pump([&] { return !line.received.empty(); }));
  line.DrainNow();
  EXPECT_EQ(line.received, Bytes("y"));
}

TEST_P(LineLifecycle, StopLetsTheMonitorCloseThePortAndIsNoLoss) {
  LineUnderTest line(GetParam());
  ASSERT_TRUE(line.OpenAndStart());

  line.Transport().Stop();
  EXPECT_TRUE(line.Pump([&] { return !line.IsMonitoring() && !line.Port().IsOpen(); }));
  EXPECT_EQ(line.DrainNow(), 0u);
  EXPECT_TRUE(line.lost.empty()) << "a stop that was asked for is no loss";
}

TEST_P(LineLifecycle, APortThatDidNotOpenIsNotMonitored) {
  LineUnderTest line(GetParam());
  EXPECT_FALSE(line.Transport().Open(PortAddress{"/dev/orvana-no-such-port", 9}, LineSettings{}));
  EXPECT_NE(line.Transport().LastOpenError().find("no such device"), std::string::npos);
  EXPECT_FALSE(line.Transport().StartMonitor()) << "a monitor nobody could stop";
  EXPECT_FALSE(line.IsMonitoring());
}

// The meter's adapter is pulled: what it sent before is still handed on, and
// then the program is told, once, in words for a person. A new port works.
TEST_P(LineLifecycle, AVanishedDeviceIsReportedAfterItsLastBytesAndANewPortWorks) {
  LineUnderTest line(GetParam());
  TraceCapture trace;
  ASSERT_TRUE(line.OpenAndStart());
  line.pty.Send(Bytes("last words"));
  // The bytes are off the line before it goes (a hang-up takes what the
  // driver still holds): in the relay, or handed on by the program's loop.
  if (line.Kind() == Runner::kMonitorThread) {
    ASSERT_TRUE(line.WaitUntilReadable(10));
  } else {
    ASSERT_TRUE(line.Pump([&] { return line.received.size() == 10; }));
  }
  line.pty.HangUp();
  if (line.Kind() == Runner::kMonitorThread) {
    // The monitor ends on its own thread while the receiving thread still
    // has the bytes to come; a monitor spinning on the dead line would never
    // end.
    ASSERT_TRUE(WaitUntil([&] { return !line.IsMonitoring(); }));
  }

  ASSERT_TRUE(line.Pump([&] { return !line.lost.empty(); }));
  EXPECT_EQ(line.received, Bytes("last words"));
  EXPECT_EQ(line.lost, std::vector<std::string>{kPortGoneReason});
  EXPECT_FALSE(line.IsMonitoring());
  EXPECT_FALSE(line.Port().IsOpen());
  EXPECT_TRUE(trace.Contains("has gone")) << trace.Text();

  PtyPair replacement;
  ASSERT_TRUE(line.OpenOn(replacement));
  ASSERT_TRUE(line.Transport().StartMonitor());
  replacement.Send(Bytes("P"));
  ASSERT_TRUE(line.Pump([&] { return line.received.size() == 11; }));
  EXPECT_EQ(line.received, Bytes("last wordsP"));
  EXPECT_EQ(line.lost.size(), 1u);
}

// The program opens the port again from inside a handler, halfway through a
// read: Open returns, the old monitor's bytes are gone with it, and the new
// monitor starts clean.
TEST_P(LineLifecycle, OpeningAgainHalfwayThroughAReadDropsTheRest) {
  LineUnderTest line(GetParam());
  TraceCapture trace;
  std::vector<uint8_t> got;
  line.onByte = [&](uint8_t byte) {
    got.push_back(byte);
    if (byte == 'c') {
      EXPECT_TRUE(line.OpenAndStart());
    }
  };
  ASSERT_TRUE(line.OpenAndStart());
  line.pty.Send(Bytes("abcdef"));
  ASSERT_TRUE(line.WaitUntilReadable(6));
  ASSERT_TRUE(line.Pump([&] { return got.size() >= 3; }));
  line.DrainNow();
  EXPECT_TRUE(trace.Contains(line.EndedTrace()));
  EXPECT_EQ(got, Bytes("abc"));
  EXPECT_TRUE(line.lost.empty());
  EXPECT_TRUE(line.IsMonitoring());

  line.pty.Send(Bytes("z"));
  ASSERT_TRUE(line.Pump([&] { return got.size() == 4; }));
  EXPECT_EQ(got, Bytes("abcz"));
}

TEST_P(LineLifecycle, DestroyingANeverOpenedTransportTouchesNothing) {
  TraceCapture trace;
  {
    LineUnderTest line(GetParam());
    line.Transport().Stop();
  }
  EXPECT_EQ(trace.Text(), "");
}

INSTANTIATE_TEST_SUITE_P(BothRunners, LineLifecycle,
                         ::testing::Values(Runner::kMonitorThread, Runner::kPolled),
                         testing::RunnerName);

}  // namespace
}  // namespace orvana::link
