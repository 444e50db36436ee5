// The line watched by its owner's own poll loop, as orvana-cli watches it,
// over a real pseudo-terminal: no monitor thread, and still every byte once,
// in order and one at a time, with a command's purge and a stop taking effect
// before the next byte is handed on.
#include <gtest/gtest.h>
#include <poll.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "common/pty_pair.h"
#include "link/serial_transport.h"
#include "link_test_support.h"

namespace orvana::link {
namespace {

using orvana::testing::PtyPair;

using testing::Bytes;

struct OwnedLine {
  OwnedLine()
      : transport([this](uint8_t byte) { onByte(byte); }, {},
                  [this](const std::string& reason) { lost.push_back(reason); },
                  MonitorMode::kOwnerLoop) {}

  bool Open() {
    return transport.Open(PortAddress{pty.SlavePath(), 3}, LineSettings{}) &&
           transport.StartMonitor();
  }
  // The owner's loop: waits on the line and services it until `done` holds.
  bool Run(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + testing::kPatience;
    while (!done()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      CSerialPort::MonitorWaitSet waits;
      transport.LineWaits(waits);
      if (poll(waits, CSerialPort::kMonitorWaitCount, 10) < 0) return false;
      transport.ServiceLine(waits);
    }
    return true;
  }

  PtyPair pty;
  std::function<void(uint8_t)> onByte = [](uint8_t) {};
  std::vector<std::string> lost;
  SerialTransport transport;
};

TEST(OwnerLoop, EveryByteReachesTheOwnerOnceInOrderAndOneAtATime) {
  OwnedLine line;
  std::vector<uint8_t> got;
  bool inHandler = false;
  bool overlapped = false;
  line.onByte = [&](uint8_t byte) {
    overlapped = overlapped || inHandler;
    inHandler = true;
    got.push_back(byte);
    inHandler = false;
  };
  ASSERT_TRUE(line.Open());

  // Bursts from one byte to several reads' worth, so chunks end mid-burst.
  const std::vector<uint8_t> sent = testing::TestPattern(40000);
  std::thread meter =
      testing::SendInBursts(line.pty.MasterFd(), sent, {1, 2, 700, 4095, 4097, 13000, 1, 18104},
                            std::chrono::milliseconds(0));
  const bool all = line.Run([&] { return got.size() >= sent.size(); });
  meter.join();
  ASSERT_TRUE(all) << got.size() << " of " << sent.size();
  EXPECT_TRUE(got == sent) << "lost, repeated or reordered bytes";
  EXPECT_FALSE(overlapped);
  EXPECT_TRUE(line.transport.IsMonitoring());
}

// A command written from inside a handler goes out before the next byte is
// handed on: its purge takes the rest of the read, as it takes the driver's;
// the keep-alive takes nothing. A command from the loop itself goes out on
// the next pass.
TEST(OwnerLoop, ACommandFromAHandlerGoesOutBeforeTheNextByteAndPurgesTheRest) {
  const std::vector<uint8_t> command = {0x50, 0x03, 0x01, 0xAC, 0x01};
  for (const bool purge : {true, false}) {
    SCOPED_TRACE(purge ? "Write" : "WriteKeepingInput");
    OwnedLine line;
    std::vector<uint8_t> got;
    std::vector<uint8_t> meterHadAtSecondByte;
    line.onByte = [&](uint8_t byte) {
      got.push_back(byte);
      if (!purge && got.size() == 2) {
        meterHadAtSecondByte = line.pty.Receive(command.size(), std::chrono::seconds(1));
      }
      if (got.size() != 1) return;
      if (purge) {
        line.transport.Write(command.data(), command.size());
      } else {
        line.transport.WriteKeepingInput(command.data(), command.size());
      }
    };
    ASSERT_TRUE(line.Open());
    line.pty.Send(Bytes("0123456789"));
    ASSERT_TRUE(line.Run([&] { return !got.empty(); }));
    if (purge) {
      EXPECT_EQ(got, Bytes("0"));
      EXPECT_EQ(line.pty.Receive(command.size(), testing::kPatience), command);
    } else {
      ASSERT_TRUE(line.Run([&] { return got.size() == 10; }));
      EXPECT_EQ(got, Bytes("0123456789"));
      EXPECT_EQ(meterHadAtSecondByte, command);
    }
    line.pty.Send(Bytes("A"));
    ASSERT_TRUE(line.Run([&] { return got.back() == 'A'; }));

    const std::vector<uint8_t> upload = {0x50, 0x03, 0x30, 0x7D, 0x01};
    line.transport.Write(upload.data(), upload.size());
    std::vector<uint8_t> meter;
    ASSERT_TRUE(line.Run([&] {
      const auto more =
          line.pty.Receive(upload.size() - meter.size(), std::chrono::milliseconds(10));
      meter.insert(meter.end(), more.begin(), more.end());
      return meter.size() == upload.size();
    }));
    EXPECT_EQ(meter, upload);
  }
}

// Stopping from inside a handler halfway through a read: the rest of it is
// not handed on, the device is let go and no loss is reported; a new Open
// from a handler starts clean.
TEST(OwnerLoop, StoppingHalfwayThroughAReadDropsTheRestAndIsNoLoss) {
  for (const bool reopen : {false, true}) {
    SCOPED_TRACE(reopen ? "Open" : "Stop");
    OwnedLine line;
    std::vector<uint8_t> got;
    line.onByte = [&](uint8_t byte) {
      got.push_back(byte);
      if (byte != 'c') return;
      if (reopen) {
        EXPECT_TRUE(line.Open());
      } else {
        line.transport.Stop();
      }
    };
    ASSERT_TRUE(line.Open());
    line.pty.Send(Bytes("abcdef"));
    ASSERT_TRUE(line.Run([&] { return got.size() >= 3; }));
    EXPECT_EQ(got, Bytes("abc"));
    EXPECT_TRUE(line.lost.empty());
    EXPECT_EQ(line.transport.IsMonitoring(), reopen);
    if (!reopen) continue;
    line.pty.Send(Bytes("z"));
    ASSERT_TRUE(line.Run([&] { return got.size() == 4; }));
    EXPECT_EQ(got, Bytes("abcz"));
  }
}

// The meter's adapter is pulled: the owner is told once, in words for a
// person, and the line is no longer waited on.
TEST(OwnerLoop, AVanishedDeviceIsReportedOnceAndNoLongerWaitedOn) {
  OwnedLine line;
  std::vector<uint8_t> got;
  line.onByte = [&](uint8_t byte) { got.push_back(byte); };
  ASSERT_TRUE(line.Open());
  line.pty.Send(Bytes("last words"));
  ASSERT_TRUE(line.Run([&] { return got.size() == 10; }));
  line.pty.HangUp();
  ASSERT_TRUE(line.Run([&] { return !line.lost.empty(); }));
  EXPECT_EQ(got, Bytes("last words"));
  EXPECT_EQ(line.lost, std::vector<std::string>{kPortGoneReason});
  EXPECT_FALSE(line.transport.IsMonitoring());
  CSerialPort::MonitorWaitSet waits;
  line.transport.LineWaits(waits);
  for (const pollfd& wait : waits) EXPECT_EQ(wait.fd, -1);
}

}  // namespace
}  // namespace orvana::link
