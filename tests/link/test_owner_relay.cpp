// What the owner's thread sees of the line, over a real pseudo-terminal: the
// monitor takes whole reads off the line, the owner gets every byte on its
// own thread, one at a time and in order.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/pty_pair.h"
#include "common/trace.h"
#include "link/owner_relay.h"
#include "link/serial_port.h"
#include "link_test_support.h"

namespace orvana::link {
namespace {

using common::TraceCapture;
using orvana::testing::PtyPair;
using testing::WaitUntil;

constexpr uint32_t kProgramMask = EV_RXCHAR | EV_RXFLAG;

using testing::Bytes;

// The owner thread's event loop, as far as the relay is concerned: wake calls
// are counted, and Pump drains until a condition holds.
class WakeSignal {
 public:
  void Wake() {
    std::lock_guard lock(m_mutex);
    ++m_wakes;
    m_changed.notify_all();
  }
  bool Pump(COwnerRelay& relay, const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + testing::kPatience;
    for (;;) {
      int before = 0;
      {
        std::lock_guard lock(m_mutex);
        before = m_wakes;
      }
      relay.Drain();
      if (done()) return true;
      std::unique_lock lock(m_mutex);
      if (!m_changed.wait_until(lock, deadline, [&] { return m_wakes != before; })) return done();
    }
  }

 private:
  std::mutex m_mutex;
  std::condition_variable m_changed;
  int m_wakes = 0;
};

// A port and its relay, put together as the transport puts them: the relay
// outlives the port, whose monitor hands it what it reads.
struct RelayedLine {
  explicit RelayedLine(bool carryNotifications = false)
      : relay(COwnerRelay::Handlers{
                  [this](uint8_t byte) { onByte(byte); },
                  carryNotifications ? [this](const CommNotification& n) { notices.push_back(n); }
                                     : std::function<void(const CommNotification&)>(),
                  [this](const std::string& reason) { lost.push_back(reason); }},
              [this] { wake.Wake(); }) {}

  bool Open() {
    return port->Open(&relay, PortAddress{pty.SlavePath(), 3}, 9600, 'N', 8, 1, kProgramMask, 64) &&
           port->StartMonitor();
  }
  bool Pump(const std::function<bool()>& done) { return wake.Pump(relay, done); }

  PtyPair pty;
  WakeSignal wake;
  std::function<void(uint8_t)> onByte = [](uint8_t) {};
  std::vector<CommNotification> notices;
  std::vector<std::string> lost;
  COwnerRelay relay;
  std::unique_ptr<CSerialPort> port = std::make_unique<CSerialPort>();
};

TEST(OwnerRelay, EveryByteReachesTheOwnerThreadOnceInOrderAndOneAtATime) {
  RelayedLine line;
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
  ASSERT_TRUE(line.Open());

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

// A handler that opens a message box runs a nested loop: the bytes already
// read, and those arriving while the box is open, are handled inside it, in
// order, and the outer Drain then finds nothing left.
TEST(OwnerRelay, ANestedDrainCarriesOnWithTheNextByte) {
  RelayedLine line;
  std::vector<int> log;  // received bytes, -1 when the handler of 'b' returns
  line.onByte = [&](uint8_t byte) {
    log.push_back(byte);
    if (byte != 'b') return;
    line.pty.Send(Bytes("de"));
    line.Pump([&] { return log.size() == 5; });
    log.push_back(-1);
  };
  ASSERT_TRUE(line.Open());
  line.pty.Send(Bytes("abc"));
  ASSERT_TRUE(WaitUntil([&] { return line.relay.HeldBytes() == 3; }));

  ASSERT_TRUE(line.Pump([&] { return log.size() == 6; }));
  EXPECT_EQ(log, (std::vector<int>{'a', 'b', 'c', 'd', 'e', -1}));
  EXPECT_EQ(line.relay.Drain(), 0u);
}

// The station writes a command from inside a handler while the rest of a
// read waits: the purge takes those bytes as it takes the driver's, and what
// arrives after the command is received as ever.
TEST(OwnerRelay, APurgingWriteDropsBytesReadButNotHandedOn) {
  for (const bool purge : {true, false}) {
    SCOPED_TRACE(purge ? "Write" : "WriteKeepingInput");
    RelayedLine line;
    const std::vector<uint8_t> command = {0x50, 0x03, 0x01, 0xAC, 0x01};
    std::vector<uint8_t> got;
    line.onByte = [&](uint8_t byte) {
      got.push_back(byte);
      if (got.size() != 1) return;
      if (purge) {
        line.port->Write(command.data(), command.size());
      } else {
        line.port->WriteKeepingInput(command.data(), command.size());
      }
      // Once the meter has the command, the monitor has done its write.
      EXPECT_EQ(line.pty.Receive(command.size(), testing::kPatience), command);
    };
    ASSERT_TRUE(line.Open());
    line.pty.Send(Bytes("0123456789"));
    ASSERT_TRUE(WaitUntil([&] { return line.relay.HeldBytes() == 10; }));

    line.relay.Drain();
    EXPECT_EQ(got, purge ? Bytes("0") : Bytes("0123456789"));
    line.pty.Send(Bytes("A"));
    ASSERT_TRUE(line.Pump([&] { return !got.empty() && got.back() == 'A'; }));
  }
}

// The owner thread stops the transport from inside a handler, halfway through
// what the monitor has read, while the monitor waits for the owner to make
// room: stopping returns, and the old monitor's bytes are gone with it.
TEST(OwnerRelay, StoppingWhileAReadIsHalfHandedOnReturnsAndDropsTheRest) {
  for (const bool destroy : {true, false}) {
    SCOPED_TRACE(destroy ? "destruction" : "Open");
    RelayedLine line;
    TraceCapture trace;
    std::vector<uint8_t> got;
    line.onByte = [&](uint8_t byte) {
      got.push_back(byte);
      if (byte != 'c') return;
      if (destroy) {
        line.port.reset();
      } else {
        EXPECT_TRUE(line.Open());
      }
    };
    ASSERT_TRUE(line.Open());
    std::vector<uint8_t> burst = Bytes("abc");
    burst.resize(COwnerRelay::kHoldLimit + 3000, 'x');
    line.pty.Send(burst);
    ASSERT_TRUE(WaitUntil([&] { return line.relay.HeldBytes() >= COwnerRelay::kHoldLimit; }));

    line.relay.Drain();
    EXPECT_TRUE(trace.Contains("Thread ended\n"));
    EXPECT_EQ(got, Bytes("abc"));
    if (destroy) continue;
    line.pty.Send(Bytes("z"));
    ASSERT_TRUE(line.Pump([&] { return got.size() == 4; }));
    EXPECT_EQ(got, Bytes("abcz"));
  }
}

// The meter's adapter is pulled: what it sent before is still handed on, and
// then the owner is told, once, in words for a person. A stop that was asked
// for is no loss.
TEST(OwnerRelay, AVanishedDeviceIsReportedAfterItsLastBytesAndAStopIsNot) {
  RelayedLine line;
  std::vector<uint8_t> got;
  line.onByte = [&](uint8_t byte) { got.push_back(byte); };
  ASSERT_TRUE(line.Open());
  line.pty.Send(Bytes("last words"));
  ASSERT_TRUE(WaitUntil([&] { return line.relay.HeldBytes() == 10; }));
  line.pty.HangUp();
  ASSERT_TRUE(WaitUntil([&] { return !line.port->IsMonitoring(); }));

  ASSERT_TRUE(line.Pump([&] { return !line.lost.empty(); }));
  EXPECT_EQ(got, Bytes("last words"));
  EXPECT_EQ(line.lost, std::vector<std::string>{kPortGoneReason});

  RelayedLine stopped;
  ASSERT_TRUE(stopped.Open());
  stopped.port->Stop();
  ASSERT_TRUE(WaitUntil([&] { return !stopped.port->IsMonitoring(); }));
  EXPECT_EQ(stopped.relay.Drain(), 0u);
  EXPECT_TRUE(stopped.lost.empty());
}

// Every line event ends with WM_COMM_EVENT_CHAR and every write with
// WM_COMM_WRITE_DONE; the station handles neither, so neither may cost a
// hand-over to its thread. An owner that handles them gets them in order.
TEST(OwnerRelay, OnlyWhatSomebodyHandlesCrossesToTheOwnerThread) {
  for (const bool carry : {false, true}) {
    SCOPED_TRACE(carry ? "handled" : "not handled");
    RelayedLine line(carry);
    std::vector<uint8_t> got;
    line.onByte = [&](uint8_t byte) { got.push_back(byte); };
    ASSERT_TRUE(line.Open());
    line.pty.Send(Bytes("q"));
    ASSERT_TRUE(line.Pump([&] { return !got.empty() && (!carry || !line.notices.empty()); }));
    const std::vector<uint8_t> command = {0x50, 0x03, 0x30, 0x7D, 0x01};
    line.port->WriteKeepingInput(command.data(), command.size());
    ASSERT_EQ(line.pty.Receive(command.size(), testing::kPatience), command);

    if (!carry) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      EXPECT_EQ(line.relay.Drain(), 0u);
      EXPECT_TRUE(line.notices.empty());
      continue;
    }
    ASSERT_TRUE(line.Pump([&] { return line.notices.size() == 2; }));
    EXPECT_EQ(line.notices[0].message, WM_COMM_EVENT_CHAR);
    EXPECT_EQ(line.notices[1].message, WM_COMM_WRITE_DONE);
    EXPECT_EQ(line.notices[1].portNumber, 3u);
  }
}

}  // namespace
}  // namespace orvana::link
