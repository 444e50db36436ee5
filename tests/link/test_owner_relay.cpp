#include <gtest/gtest.h>

#include <atomic>
#include <memory>
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

// The owner thread's side of the relay, as an event loop would see it: wake
// calls are counted, and Pump drains until a condition holds.
class WakeSignal {
 public:
  void Wake() {
    std::lock_guard lock(m_mutex);
    ++m_wakes;
    m_changed.notify_all();
  }
  int Wakes() {
    std::lock_guard lock(m_mutex);
    return m_wakes;
  }
  bool Pump(COwnerRelay& relay, const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + testing::kPatience;
    for (;;) {
      const int before = Wakes();
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

std::vector<int> ReceivedBytes(const std::vector<CommNotification>& handled) {
  std::vector<int> bytes;
  for (const auto& n : handled) {
    if (n.message == WM_COMM_RXCHAR) bytes.push_back(static_cast<int>(n.wParam));
  }
  return bytes;
}

TEST(OwnerRelay, KeepsOrderFromAProducerThreadAndWaitsUntilEachIsTaken) {
  WakeSignal wake;
  std::vector<unsigned> handled;
  COwnerRelay relay([&](const CommNotification& n) { handled.push_back(n.wParam); },
                    [&] { wake.Wake(); });

  constexpr unsigned kCount = 500;
  std::atomic<unsigned> offered{0};
  std::thread monitor([&] {
    for (unsigned i = 0; i < kCount; ++i) {
      offered = i + 1;
      relay.OnCommNotification({WM_COMM_RXCHAR, i, 1});
    }
  });
  // Each offer returns only once taken, so the producer is never more than
  // one ahead of what the owner has handled.
  bool neverAhead = true;
  ASSERT_TRUE(wake.Pump(relay, [&] {
    neverAhead = neverAhead && offered <= handled.size() + 1;
    return handled.size() == kCount;
  }));
  monitor.join();
  EXPECT_TRUE(neverAhead);
  for (unsigned i = 0; i < kCount; ++i) ASSERT_EQ(handled[i], i);
}

TEST(OwnerRelay, WhileStoppingOffersReturnAtOnceAndAreDropped) {
  int handled = 0;
  COwnerRelay relay([&](const CommNotification&) { ++handled; }, [] {});
  relay.OnMonitorStopping();
  // Offered on this very thread: it would wait for ever if not dropped.
  relay.OnCommNotification({WM_COMM_RXCHAR, 1, 1});
  EXPECT_EQ(relay.Drain(), 0u);
  relay.OnMonitorStopped();

  std::thread monitor([&] { relay.OnCommNotification({WM_COMM_RXCHAR, 2, 1}); });
  ASSERT_TRUE(WaitUntil([&] { return relay.Drain() == 1; }));
  monitor.join();
  EXPECT_EQ(handled, 1);
}

// A handler that opens a message box runs a nested loop; the bytes that come
// meanwhile are handled inside it, in order, and the monitor reads no byte
// before the previous one has been taken.
TEST(OwnerRelay, NestedDrainKeepsOrderAndOneByteAtATime) {
  PtyPair pty;
  WakeSignal wake;
  CSerialPort* portSeen = nullptr;
  std::vector<int> log;  // received bytes, -1 when the handler of 'a' returns
  bool oneAtATime = false;
  std::unique_ptr<COwnerRelay> relay;
  relay = std::make_unique<COwnerRelay>(
      [&](const CommNotification& n) {
        if (n.message != WM_COMM_RXCHAR) return;
        log.push_back(static_cast<int>(n.wParam));
        if (n.wParam != 'a') return;
        // 'b' now waits in the relay; 'c' must still be in the driver.
        oneAtATime = WaitUntil([&] { return portSeen->BytesWaiting() == 1; });
        wake.Pump(*relay, [&] { return log.size() == 3; });
        log.push_back(-1);
      },
      [&] { wake.Wake(); });

  CSerialPort port;
  portSeen = &port;
  ASSERT_TRUE(
      port.Open(relay.get(), PortAddress{pty.SlavePath(), 2}, 9600, 'N', 8, 1, kProgramMask, 64));
  ASSERT_TRUE(port.StartMonitor());
  pty.Send({'a', 'b', 'c'});

  ASSERT_TRUE(wake.Pump(*relay, [&] { return log.size() == 4; }));
  EXPECT_TRUE(oneAtATime);
  EXPECT_EQ(log, (std::vector<int>{'a', 'b', 'c', -1}));
}

// The owner thread never drains: the monitor sits in the relay holding a
// byte for it when that same thread stops the transport.
TEST(OwnerRelay, StoppingAMonitorBlockedOnTheStoppingThreadReturns) {
  for (const bool destroy : {true, false}) {
    SCOPED_TRACE(destroy ? "destruction" : "Open");
    PtyPair pty;
    WakeSignal wake;
    std::vector<CommNotification> handled;
    COwnerRelay relay([&](const CommNotification& n) { handled.push_back(n); },
                      [&] { wake.Wake(); });
    TraceCapture trace;
    auto port = std::make_unique<CSerialPort>();
    const PortAddress address{pty.SlavePath(), 5};
    ASSERT_TRUE(port->Open(&relay, address, 9600, 'N', 8, 1, kProgramMask, 64));
    ASSERT_TRUE(port->StartMonitor());
    pty.Send({'a'});
    ASSERT_TRUE(WaitUntil([&] { return wake.Wakes() >= 1; }));

    if (destroy) {
      port.reset();
      EXPECT_TRUE(trace.Contains("Thread ended\n"));
      EXPECT_TRUE(handled.empty());
      continue;
    }

    ASSERT_TRUE(port->Open(&relay, address, 9600, 'N', 8, 1, kProgramMask, 64));
    EXPECT_TRUE(trace.Contains("Thread ended\n"));
    // The relay takes deliveries again, and the byte of the old monitor is
    // gone with it.
    ASSERT_TRUE(port->StartMonitor());
    pty.Send({'z'});
    ASSERT_TRUE(wake.Pump(relay, [&] { return !ReceivedBytes(handled).empty(); }));
    EXPECT_EQ(ReceivedBytes(handled), (std::vector<int>{'z'}));
  }
}

}  // namespace
}  // namespace orvana::link
