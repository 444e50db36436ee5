#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "common/pty_pair.h"
#include "common/temp_folder.h"
#include "common/trace.h"
#include "link/serial_port.h"
#include "link_test_support.h"

namespace orvana::link {
namespace {

using common::TraceCapture;
using orvana::testing::PtyPair;
using testing::RecordingOwner;
using testing::WaitUntil;

constexpr uint32_t kProgramMask = EV_RXCHAR | EV_RXFLAG;
constexpr std::chrono::milliseconds kQuiet{50};

bool OpenLine(CSerialPort& port, ISerialOwner& owner, const PtyPair& pty, uint32_t mask,
              int bufferSize = 64, unsigned number = 3) {
  return port.Open(&owner, PortAddress{pty.SlavePath(), number}, 9600, 'N', 8, 1, mask, bufferSize);
}

using testing::Bytes;

std::string ErrorReport(const char* step, int error, int port) {
  return std::string("WARNING:  ") + step + " Failed with the following error: \n" +
         std::strerror(error) + "\nPort: " + std::to_string(port) + "\n";
}

// ---- Receiving -------------------------------------------------------------

TEST(SerialPortReceive, EveryByteValueArrivesInOrderWithTheEventCharAfterEachLineEvent) {
  PtyPair pty;
  RecordingOwner owner;
  CSerialPort port;
  ASSERT_TRUE(OpenLine(port, owner, pty, kProgramMask, 64, 4));
  ASSERT_TRUE(port.StartMonitor());

  std::vector<uint8_t> sent(256);
  for (size_t i = 0; i < sent.size(); ++i) sent[i] = static_cast<uint8_t>(255 - i);
  pty.Send(sent);

  ASSERT_TRUE(owner.WaitFor([&](const std::vector<CommNotification>& seen) {
    size_t bytes = 0;
    for (const auto& n : seen) bytes += n.message == WM_COMM_RXCHAR ? 1 : 0;
    return bytes == sent.size() && seen.back().message == WM_COMM_EVENT_CHAR;
  }));
  EXPECT_EQ(owner.Bytes(), sent);

  const auto seen = owner.Seen();
  unsigned previous = 0;
  for (const CommNotification& n : seen) {
    if (n.message != WM_COMM_RXCHAR) {
      EXPECT_EQ(n.portNumber, 4u);
    }
    ASSERT_TRUE(n.message == WM_COMM_RXCHAR || n.message == WM_COMM_EVENT_CHAR) << n.message;
    // A line event delivers what it read, then one event-char notice.
    if (n.message == WM_COMM_EVENT_CHAR) {
      EXPECT_EQ(previous, WM_COMM_RXCHAR);
      EXPECT_EQ(n.wParam, 0u);
    }
    previous = n.message;
  }
}

TEST(SerialPortReceive, TheMaskDecidesWhichNoticesFollowALineEventAndInWhatOrder) {
  PtyPair pty;
  RecordingOwner owner;
  CSerialPort port;
  const uint32_t everything = EV_RXCHAR | EV_RXFLAG | EV_CTS | EV_BREAK | EV_ERR | EV_RING;
  ASSERT_TRUE(OpenLine(port, owner, pty, everything));
  ASSERT_TRUE(port.StartMonitor());

  pty.Send({0x51});
  ASSERT_TRUE(owner.WaitForCount(WM_COMM_EVENT_CHAR, 1));

  std::vector<unsigned> messages;
  for (const auto& n : owner.Seen()) messages.push_back(n.message);
  EXPECT_EQ(messages,
            (std::vector<unsigned>{WM_COMM_RXCHAR, WM_COMM_CTS, WM_COMM_LINE_BREAK,
                                   WM_COMM_LINE_ERROR, WM_COMM_RING, WM_COMM_EVENT_CHAR}));
}

// ---- Writing ---------------------------------------------------------------

TEST(SerialPortWrite, AWriteLeavesWholeAndIsConfirmed) {
  PtyPair pty;
  RecordingOwner owner;
  CSerialPort port;
  ASSERT_TRUE(OpenLine(port, owner, pty, kProgramMask));
  ASSERT_TRUE(port.StartMonitor());

  const std::vector<uint8_t> frame = {0x50, 0x02, 0x01, 0x00, 0x03, 0x0D};
  port.Write(frame.data(), frame.size());

  EXPECT_EQ(pty.Receive(frame.size(), testing::kPatience), frame);
  ASSERT_TRUE(owner.WaitForCount(WM_COMM_WRITE_DONE, 1));
  EXPECT_TRUE(pty.Drain(kQuiet).empty());
}

TEST(SerialPortWrite, OnlyTheLastOfTwoWritesBeforeTheMonitorTakesOneIsSent) {
  PtyPair pty;
  RecordingOwner owner;
  CSerialPort port;
  ASSERT_TRUE(OpenLine(port, owner, pty, kProgramMask));

  const auto first = Bytes("first-frame");
  const auto second = Bytes("second");
  port.Write(first.data(), first.size());
  port.Write(second.data(), second.size());
  ASSERT_TRUE(port.StartMonitor());

  ASSERT_TRUE(owner.WaitForCount(WM_COMM_WRITE_DONE, 1));
  EXPECT_EQ(pty.Drain(kQuiet), second);
  EXPECT_EQ(owner.Count(WM_COMM_WRITE_DONE), 1u);
}

TEST(SerialPortWrite, AWriteLargerThanTheBufferIsRefusedAndTheNextStillGoes) {
  PtyPair pty;
  RecordingOwner owner;
  CSerialPort port;
  TraceCapture trace;
  ASSERT_TRUE(OpenLine(port, owner, pty, kProgramMask, 8));
  ASSERT_TRUE(port.StartMonitor());

  const auto tooLong = Bytes("123456789");
  port.Write(tooLong.data(), tooLong.size());
  EXPECT_TRUE(trace.Contains("Write() refused: 9 bytes"));

  const auto fits = Bytes("12345678");
  port.Write(fits.data(), fits.size());
  ASSERT_TRUE(owner.WaitForCount(WM_COMM_WRITE_DONE, 1));
  EXPECT_EQ(pty.Drain(kQuiet), fits);
  EXPECT_EQ(owner.Count(WM_COMM_WRITE_DONE), 1u);
}

// Without EV_RXCHAR in the mask nothing reads the line, so what arrives stays
// in the driver until a write decides its fate.
TEST(SerialPortWrite, APurgingWriteDropsUnreadInputWhileAKeepingWriteLeavesIt) {
  for (const bool purge : {true, false}) {
    SCOPED_TRACE(purge ? "Write" : "WriteKeepingInput");
    PtyPair pty;
    RecordingOwner owner;
    CSerialPort port;
    ASSERT_TRUE(OpenLine(port, owner, pty, EV_RXFLAG));
    ASSERT_TRUE(port.StartMonitor());

    pty.Send(Bytes("unread"));
    ASSERT_TRUE(WaitUntil([&] { return port.BytesWaiting() == 6; }));

    const auto keepAlive = Bytes("KA");
    if (purge) {
      port.Write(keepAlive.data(), keepAlive.size());
    } else {
      port.WriteKeepingInput(keepAlive.data(), keepAlive.size());
    }
    ASSERT_TRUE(owner.WaitForCount(WM_COMM_WRITE_DONE, 1));
    EXPECT_EQ(pty.Receive(keepAlive.size(), testing::kPatience), keepAlive);
    EXPECT_EQ(port.BytesWaiting(), purge ? 0 : 6);
  }
}

// ---- Opening and stopping --------------------------------------------------

TEST(SerialPortLifecycle, OpenOnARunningMonitorEndsItAndLeavesThePortWithoutOne) {
  PtyPair pty;
  RecordingOwner owner;
  CSerialPort port;
  TraceCapture trace;
  ASSERT_TRUE(OpenLine(port, owner, pty, kProgramMask));
  ASSERT_TRUE(port.StartMonitor());
  EXPECT_TRUE(trace.Contains("Thread started\n"));

  ASSERT_TRUE(OpenLine(port, owner, pty, kProgramMask));
  EXPECT_TRUE(trace.Contains("Thread ended\n"));
  EXPECT_TRUE(port.IsOpen());
  EXPECT_FALSE(port.IsMonitoring());

  // Nothing reads the line until the next StartMonitor, which starts clean.
  pty.Send(Bytes("x"));
  ASSERT_TRUE(WaitUntil([&] { return port.BytesWaiting() == 1; }));
  ASSERT_TRUE(port.StartMonitor());
  pty.Send(Bytes("y"));
  ASSERT_TRUE(owner.WaitForCount(WM_COMM_RXCHAR, 1));
  ASSERT_TRUE(owner.WaitForCount(WM_COMM_EVENT_CHAR, 1));
  EXPECT_EQ(owner.Bytes(), Bytes("y"));
}

TEST(SerialPortLifecycle, StopLetsTheMonitorCloseThePort) {
  PtyPair pty;
  RecordingOwner owner;
  CSerialPort port;
  ASSERT_TRUE(OpenLine(port, owner, pty, kProgramMask));
  ASSERT_TRUE(port.StartMonitor());

  port.Stop();
  EXPECT_TRUE(WaitUntil([&] { return !port.IsMonitoring() && !port.IsOpen(); }));
  const auto ends = owner.Ends();
  ASSERT_EQ(ends.size(), 1u);
  EXPECT_FALSE(ends[0].lost) << "a stop that was asked for is no loss";
}

TEST(SerialPortLifecycle, APortHeldElsewhereCannotBeOpenedAndSaysWhy) {
  PtyPair pty;
  RecordingOwner owner;
  {
    CSerialPort holder;
    ASSERT_TRUE(OpenLine(holder, owner, pty, kProgramMask));
    CSerialPort second;
    EXPECT_FALSE(OpenLine(second, owner, pty, kProgramMask));
    EXPECT_NE(second.LastOpenError().find("in use"), std::string::npos) << second.LastOpenError();
    EXPECT_FALSE(second.IsOpen());
  }

  // A lock taken by another program counts too, whoever runs the test.
  const int other = open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(other, 0);
  ASSERT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);
  CSerialPort port;
  EXPECT_FALSE(OpenLine(port, owner, pty, kProgramMask));
  EXPECT_NE(port.LastOpenError().find("in use"), std::string::npos);
  close(other);

  // Once released, by a transport or another program, the port opens again.
  EXPECT_TRUE(OpenLine(port, owner, pty, kProgramMask));
  EXPECT_TRUE(port.LastOpenError().empty());
}

TEST(SerialPortLifecycle, AMissingDeviceIsNamedAsSuch) {
  RecordingOwner owner;
  CSerialPort port;
  EXPECT_FALSE(port.Open(&owner, PortAddress{"/dev/orvana-no-such-port", 9}, 9600, 'N', 8, 1,
                         kProgramMask, 64));
  EXPECT_NE(port.LastOpenError().find("no such device"), std::string::npos);
  EXPECT_FALSE(port.IsOpen());
  EXPECT_FALSE(port.StartMonitor()) << "a monitor nobody could stop";
}

// A file would be "received" as if the meter had sent it and the greeting
// written into it; /dev/null and /dev/zero are devices, but no terminals.
TEST(SerialPortLifecycle, AnythingButATerminalIsRefusedAsNotASerialPort) {
  orvana::testing::TempFolder folder;
  const std::string file = folder.Write("results.txt", "P\x16 stored bytes");
  const std::string fifo = folder / "fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  for (const std::string& path : {file, fifo, std::string("/dev/null"), std::string("/dev/zero")}) {
    SCOPED_TRACE(path);
    RecordingOwner owner;
    CSerialPort port;
    EXPECT_FALSE(port.Open(&owner, PortAddress{path, 0}, 9600, 'N', 8, 1, kProgramMask, 64));
    EXPECT_EQ(port.LastOpenError(), path + ": not a serial port");
    EXPECT_FALSE(port.IsOpen());
    EXPECT_FALSE(port.StartMonitor());
  }
  EXPECT_EQ(orvana::testing::ReadFile(file), "P\x16 stored bytes");
}

TEST(SerialPortLifecycle, AFailedConfigurationStepIsReportedAndThePortStillOpens) {
  struct Case {
    char parity;
    uint32_t mask;
    const char* step;
  };
  for (const Case& c : {Case{'X', kProgramMask, "BuildCommDCB()"},
                        Case{'N', 0x10000 | kProgramMask, "SetCommMask()"}}) {
    SCOPED_TRACE(c.step);
    PtyPair pty;
    RecordingOwner owner;
    CSerialPort port;
    TraceCapture trace;
    EXPECT_TRUE(
        port.Open(&owner, PortAddress{pty.SlavePath(), 7}, 9600, c.parity, 8, 1, c.mask, 64));
    EXPECT_TRUE(port.IsOpen());
    EXPECT_TRUE(trace.Contains(ErrorReport(c.step, EINVAL, 7))) << trace.Text();
    EXPECT_FALSE(trace.Contains("SetCommState()")) << "later steps are skipped";
    EXPECT_TRUE(trace.Contains(
        "Initialisation for communicationport 7 completed.\nUse Startmonitor to communicate.\n"));
  }
}

TEST(SerialPortLifecycle, AVanishedDeviceEndsTheMonitorAndANewPortWorks) {
  RecordingOwner owner;
  CSerialPort port;
  TraceCapture trace;
  {
    PtyPair pty;
    ASSERT_TRUE(OpenLine(port, owner, pty, kProgramMask));
    ASSERT_TRUE(port.StartMonitor());
    pty.HangUp();
    // A monitor spinning on the dead line would never get here.
    ASSERT_TRUE(WaitUntil([&] { return !port.IsMonitoring(); }));
    EXPECT_FALSE(port.IsOpen());
    EXPECT_TRUE(trace.Contains("has gone")) << trace.Text();
    const auto ends = owner.Ends();
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_TRUE(ends[0].lost);
    EXPECT_EQ(ends[0].reason, kPortGoneReason);
  }

  PtyPair replacement;
  ASSERT_TRUE(OpenLine(port, owner, replacement, kProgramMask));
  ASSERT_TRUE(port.StartMonitor());
  replacement.Send(Bytes("P"));
  ASSERT_TRUE(owner.WaitForCount(WM_COMM_RXCHAR, 1));
  EXPECT_EQ(owner.Bytes(), Bytes("P"));
}

TEST(SerialPortLifecycle, DestroyingANeverOpenedPortTouchesNothing) {
  TraceCapture trace;
  {
    CSerialPort port;
    port.Stop();
  }
  EXPECT_EQ(trace.Text(), "");
}

}  // namespace
}  // namespace orvana::link
