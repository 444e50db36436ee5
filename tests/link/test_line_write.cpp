// Writing over a real pseudo-terminal, with either runner: the one pending
// write, and what its purge takes.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "common/trace.h"
#include "line_under_test.h"

namespace orvana::link {
namespace {

using common::TraceCapture;
using testing::Bytes;
using testing::LineUnderTest;
using testing::Runner;
using testing::WaitUntil;

constexpr std::chrono::milliseconds kQuiet{50};

class LineWrite : public ::testing::TestWithParam<Runner> {};

TEST_P(LineWrite, AWriteLeavesWholeAndOnce) {
  LineUnderTest line(GetParam());
  ASSERT_TRUE(line.OpenAndStart());

  const std::vector<uint8_t> frame = {0x50, 0x02, 0x01, 0x00, 0x03, 0x0D};
  line.Transport().Write(frame.data(), frame.size());

  EXPECT_EQ(line.MeterReceives(frame.size()), frame);
  line.DrainNow();
  EXPECT_TRUE(line.pty.Drain(kQuiet).empty());
}

TEST_P(LineWrite, OnlyTheLastOfTwoWritesBeforeTheMonitorTakesOneIsSent) {
  LineUnderTest line(GetParam());
  ASSERT_TRUE(line.Open());

  const auto first = Bytes("first-frame");
  const auto second = Bytes("second");
  line.Transport().Write(first.data(), first.size());
  line.Transport().Write(second.data(), second.size());
  ASSERT_TRUE(line.Transport().StartMonitor());

  EXPECT_EQ(line.MeterReceives(second.size()), second);
  line.DrainNow();
  EXPECT_TRUE(line.pty.Drain(kQuiet).empty());
}

TEST_P(LineWrite, AWriteLargerThanTheBufferIsRefusedAndTheNextStillGoes) {
  LineUnderTest line(GetParam());
  TraceCapture trace;
  ASSERT_TRUE(line.Open(testing::kProgramMask, 8));
  ASSERT_TRUE(line.Transport().StartMonitor());

  const auto tooLong = Bytes("123456789");
  line.Transport().Write(tooLong.data(), tooLong.size());
  EXPECT_TRUE(trace.Contains("Write() refused: 9 bytes"));

  const auto fits = Bytes("12345678");
  line.Transport().Write(fits.data(), fits.size());
  EXPECT_EQ(line.MeterReceives(fits.size()), fits);
  line.DrainNow();
  EXPECT_TRUE(line.pty.Drain(kQuiet).empty());
}

// Without kEventRxChar in the mask nothing reads the line, so what arrives stays
// in the driver until a write decides its fate.
TEST_P(LineWrite, APurgingWriteDropsUnreadInputWhileAKeepingWriteLeavesIt) {
  for (const bool purge : {true, false}) {
    SCOPED_TRACE(purge ? "Write" : "WriteKeepingInput");
    LineUnderTest line(GetParam());
    ASSERT_TRUE(line.Open(kEventRxFlag));
    ASSERT_TRUE(line.Transport().StartMonitor());

    line.pty.Send(Bytes("unread"));
    ASSERT_TRUE(WaitUntil([&] { return line.Port().BytesWaiting() == 6; }));

    const auto keepAlive = Bytes("KA");
    if (purge) {
      line.Transport().Write(keepAlive.data(), keepAlive.size());
    } else {
      line.Transport().WriteKeepingInput(keepAlive.data(), keepAlive.size());
    }
    // The purge, when there is one, is done before the write goes out.
    ASSERT_EQ(line.MeterReceives(keepAlive.size()), keepAlive);
    EXPECT_EQ(line.Port().BytesWaiting(), purge ? 0 : 6);
  }
}

// The station writes a command from inside a handler while the rest of a
// read waits: the purge takes those bytes as it takes the driver's, the
// keep-alive takes nothing, and what arrives after the command is received as
// ever; a command from the loop itself goes out too.
TEST_P(LineWrite, ACommandFromAHandlerPurgesTheBytesReadButNotHandedOn) {
  const std::vector<uint8_t> command = {0x50, 0x03, 0x01, 0xAC, 0x01};
  for (const bool purge : {true, false}) {
    SCOPED_TRACE(purge ? "Write" : "WriteKeepingInput");
    LineUnderTest line(GetParam());
    std::vector<uint8_t> got;
    std::vector<uint8_t> meter;  // what the meter had received from us
    line.onByte = [&](uint8_t byte) {
      got.push_back(byte);
      if (got.size() == 2 && meter.empty()) {
        meter = line.pty.Receive(command.size(), std::chrono::seconds(1));
      }
      if (got.size() != 1) return;
      if (purge) {
        line.Transport().Write(command.data(), command.size());
      } else {
        line.Transport().WriteKeepingInput(command.data(), command.size());
      }
      // A monitor thread writes on its own time; a handler that takes a
      // while over its byte sees the write done before it takes the next.
      // The program's loop writes before the next byte anyway.
      if (line.Kind() == Runner::kMonitorThread) {
        meter = line.pty.Receive(command.size(), testing::kPatience);
      }
    };
    ASSERT_TRUE(line.OpenAndStart());
    line.pty.Send(Bytes("0123456789"));
    ASSERT_TRUE(line.WaitUntilReadable(10));

    ASSERT_TRUE(line.Pump([&] { return purge ? !got.empty() : got.size() == 10; }));
    if (purge) {
      if (meter.empty()) meter = line.pty.Receive(command.size(), testing::kPatience);
      EXPECT_EQ(got, Bytes("0"));
    } else {
      EXPECT_EQ(got, Bytes("0123456789"));
    }
    EXPECT_EQ(meter, command) << "the command went out before the next byte was handed on";
    line.pty.Send(Bytes("A"));
    ASSERT_TRUE(line.Pump([&] { return got.back() == 'A'; }));
    if (purge) {
      EXPECT_EQ(got, Bytes("0A"));
    }

    const std::vector<uint8_t> upload = {0x50, 0x03, 0x30, 0x7D, 0x01};
    line.Transport().Write(upload.data(), upload.size());
    EXPECT_EQ(line.MeterReceives(upload.size()), upload);
  }
}

INSTANTIATE_TEST_SUITE_P(BothRunners, LineWrite,
                         ::testing::Values(Runner::kMonitorThread, Runner::kPolled),
                         testing::RunnerName);

}  // namespace
}  // namespace orvana::link
