// The port itself: what it takes to open a device, and what Open says when it
// cannot. Running a monitor is the runners' business (test_line_*.cpp).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "common/trace.h"
#include "link/serial_port.h"
#include "support/pty_pair.h"
#include "support/temp_folder.h"

namespace orvana::link {
namespace {

using common::TraceCapture;
using orvana::testing::PtyPair;

constexpr uint32_t kProgramMask = kEventRxChar | kEventRxFlag;

bool OpenLine(CSerialPort& port, const PtyPair& pty) {
  return port.Open(nullptr, PortAddress{pty.SlavePath(), 3}, 9600, 'N', 8, 1, kProgramMask, 64);
}

std::string ErrorReport(const char* step, int error, int port) {
  return std::string("WARNING:  ") + step + " Failed with the following error: \n" +
         std::strerror(error) + "\nPort: " + std::to_string(port) + "\n";
}

TEST(SerialPortOpen, APortHeldElsewhereCannotBeOpenedAndSaysWhy) {
  PtyPair pty;
  {
    CSerialPort holder;
    ASSERT_TRUE(OpenLine(holder, pty));
    CSerialPort second;
    EXPECT_FALSE(OpenLine(second, pty));
    EXPECT_NE(second.LastOpenError().find("in use"), std::string::npos) << second.LastOpenError();
    EXPECT_FALSE(second.IsOpen());
  }

  // A lock taken by another program counts too, whoever runs the test.
  const int other = open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(other, 0);
  ASSERT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);
  CSerialPort port;
  EXPECT_FALSE(OpenLine(port, pty));
  EXPECT_NE(port.LastOpenError().find("in use"), std::string::npos);
  close(other);

  // Once released, by a transport or another program, the port opens again.
  EXPECT_TRUE(OpenLine(port, pty));
  EXPECT_TRUE(port.LastOpenError().empty());
}

TEST(SerialPortOpen, AMissingDeviceIsNamedAsSuch) {
  CSerialPort port;
  EXPECT_FALSE(port.Open(nullptr, PortAddress{"/dev/orvana-no-such-port", 9}, 9600, 'N', 8, 1,
                         kProgramMask, 64));
  EXPECT_NE(port.LastOpenError().find("no such device"), std::string::npos);
  EXPECT_FALSE(port.IsOpen());
  EXPECT_FALSE(port.BeginMonitor(-1)) << "a monitor nobody could stop";
}

// A file would be "received" as if the meter had sent it and the greeting
// written into it; /dev/null and /dev/zero are devices, but no terminals.
TEST(SerialPortOpen, AnythingButATerminalIsRefusedAsNotASerialPort) {
  orvana::testing::TempFolder folder;
  const std::string file = folder.Write("results.txt", "P\x16 stored bytes");
  const std::string fifo = folder / "fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  for (const std::string& path : {file, fifo, std::string("/dev/null"), std::string("/dev/zero")}) {
    SCOPED_TRACE(path);
    CSerialPort port;
    EXPECT_FALSE(port.Open(nullptr, PortAddress{path, 0}, 9600, 'N', 8, 1, kProgramMask, 64));
    EXPECT_EQ(port.LastOpenError(), path + ": not a serial port");
    EXPECT_FALSE(port.IsOpen());
    EXPECT_FALSE(port.BeginMonitor(-1));
  }
  EXPECT_EQ(orvana::testing::ReadFile(file), "P\x16 stored bytes");
}

TEST(SerialPortOpen, AFailedConfigurationStepIsReportedAndThePortStillOpens) {
  struct Case {
    char parity;
    uint32_t mask;
    const char* step;
  };
  for (const Case& c : {Case{'X', kProgramMask, "BuildCommDCB()"},
                        Case{'N', 0x10000 | kProgramMask, "SetCommMask()"}}) {
    SCOPED_TRACE(c.step);
    PtyPair pty;
    CSerialPort port;
    TraceCapture trace;
    EXPECT_TRUE(
        port.Open(nullptr, PortAddress{pty.SlavePath(), 7}, 9600, c.parity, 8, 1, c.mask, 64));
    EXPECT_TRUE(port.IsOpen());
    EXPECT_TRUE(trace.Contains(ErrorReport(c.step, EINVAL, 7))) << trace.Text();
    EXPECT_FALSE(trace.Contains("SetCommState()")) << "later steps are skipped";
    EXPECT_TRUE(trace.Contains(
        "Initialisation for communicationport 7 completed.\nUse Startmonitor to communicate.\n"));
  }
}

}  // namespace
}  // namespace orvana::link
