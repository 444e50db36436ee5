// What only the polled runner has, over a real pseudo-terminal: no thread,
// so a stop or a command that a handler asks for is done before the next
// byte, and the loop knows when the line needs it at once.
#include <gtest/gtest.h>
#include <poll.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "link/polled_transport.h"
#include "link_test_support.h"
#include "support/pty_pair.h"

namespace orvana::link {
namespace {

using orvana::testing::PtyPair;
using testing::Bytes;

struct PolledLine {
  PolledLine()
      : transport(LineHandlers{[this](uint8_t byte) {
                                 got.push_back(byte);
                                 if (onByte) onByte(byte);
                               },
                               [this](const std::string& reason) { lost.push_back(reason); }}) {}

  bool Open() {
    return transport.Open(PortAddress{pty.SlavePath(), 3}, LineSettings{}) &&
           transport.StartMonitor();
  }
  // The program's loop: waits on the line and services it until `done` holds.
  bool Run(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + testing::kPatience;
    while (!done()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      pollfd line = transport.LineWait();
      if (poll(&line, 1, transport.Due() ? 0 : 10) < 0) return false;
      transport.Service(line.revents);
    }
    return true;
  }

  PtyPair pty;
  std::vector<uint8_t> got;
  std::function<void(uint8_t)> onByte;
  std::vector<std::string> lost;
  PolledTransport transport;
};

// Stopping from inside a handler halfway through a read: the rest of it is
// not handed on, the device is let go and no loss is reported.
TEST(PolledTransport, AStopFromAHandlerTakesEffectBeforeTheNextByte) {
  PolledLine line;
  line.onByte = [&](uint8_t byte) {
    if (byte == 'c') line.transport.Stop();
  };
  ASSERT_TRUE(line.Open());
  line.pty.Send(Bytes("abcdef"));
  ASSERT_TRUE(testing::WaitUntil([&] { return line.transport.Port().BytesWaiting() == 6; }));
  ASSERT_TRUE(line.Run([&] { return line.got.size() >= 3; }));
  line.transport.Service(0);
  EXPECT_EQ(line.got, Bytes("abc"));
  EXPECT_TRUE(line.lost.empty());
  EXPECT_FALSE(line.transport.IsMonitoring());
  EXPECT_FALSE(line.transport.Port().IsOpen());
}

// What the loop itself asks for between two waits must not sleep with it:
// the line is due, and the next service does it.
TEST(PolledTransport, ACommandOrAStopFromTheLoopMakesTheLineDueAndTheNextServiceDoesIt) {
  PolledLine line;
  ASSERT_TRUE(line.Open());
  EXPECT_FALSE(line.transport.Due());

  const std::vector<uint8_t> command = {0x50, 0x03, 0x30, 0x7D, 0x01};
  line.transport.Write(command.data(), command.size());
  EXPECT_TRUE(line.transport.Due());
  line.transport.Service(0);
  EXPECT_FALSE(line.transport.Due());
  EXPECT_EQ(line.pty.Receive(command.size(), std::chrono::milliseconds(200)), command);

  line.transport.Stop();
  EXPECT_TRUE(line.transport.Due());
  line.transport.Service(0);
  EXPECT_FALSE(line.transport.IsMonitoring());
  EXPECT_FALSE(line.transport.Port().IsOpen());
  EXPECT_FALSE(line.transport.Due()) << "nothing is due on a line no monitor runs";
}

// The meter's adapter is pulled: the program is told once, in words for a
// person, and the line is no longer waited on.
TEST(PolledTransport, AVanishedDeviceIsReportedOnceAndNoLongerWaitedOn) {
  PolledLine line;
  ASSERT_TRUE(line.Open());
  line.pty.Send(Bytes("last words"));
  ASSERT_TRUE(line.Run([&] { return line.got.size() == 10; }));
  line.pty.HangUp();
  ASSERT_TRUE(line.Run([&] { return !line.lost.empty(); }));
  EXPECT_EQ(line.got, Bytes("last words"));
  EXPECT_EQ(line.lost, std::vector<std::string>{kPortGoneReason});
  EXPECT_FALSE(line.transport.IsMonitoring());
  EXPECT_EQ(line.transport.LineWait().fd, -1);
  const std::vector<uint8_t> command = {0x50, 0x03, 0x30, 0x7D, 0x01};
  line.transport.Write(command.data(), command.size());
  EXPECT_FALSE(line.transport.Due()) << "a poll loop that never sleeps would spin";
}

}  // namespace
}  // namespace orvana::link
