// The station on a real serial link: a pseudo-terminal published as a virtual
// port, the real transport with its monitor thread, and the receiving thread's loop
// played by the test. The meter's port vanishes and comes back.
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>

#include "link/port_discovery.h"
#include "link/serial_transport.h"
#include "station/station_fixture.h"
#include "support/pty_pair.h"

namespace orvana::testing {
namespace {

using std::chrono::milliseconds;

constexpr milliseconds kPatience{3000};

class LostMeterTest : public ::testing::Test {
 protected:
  LostMeterTest()
      : transport([this](uint8_t byte) { station->OnReceiveByte(byte); }, [this] { Wake(); },
                  [this](const std::string& reason) { station->OnLinkLost(reason); }) {
    texts.conok = "connected";
    texts.comnotopen = "cannot open";
    std::filesystem::create_directory(scratch / "ports");
    // Only the test's own folder of links is looked at.
    link::DiscoveryRoots roots;
    roots.sysClassTty = scratch / "no-sys";
    roots.devDir = scratch / "no-dev";
    roots.linkDirs = {scratch / "ports"};
    station = std::make_unique<station::Station>(
        station::StationEnvironment{transport, ui, clock, table, texts, scratch / "Savetemp",
                                    [roots] { return link::DiscoverPorts(roots); }});
  }

  void Wake() const {
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = write(wake.fd, &one, sizeof one);
  }
  // The receiving thread's loop: drains whenever woken, until `done` holds.
  bool Pump(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (!done()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      pollfd ready{wake.fd, POLLIN, 0};
      if (poll(&ready, 1, 10) > 0) {
        uint64_t count = 0;
        [[maybe_unused]] const ssize_t n = read(wake.fd, &count, sizeof count);
      }
      transport.Drain();
    }
    return true;
  }
  void Publish(const PtyPair& meter) {
    std::filesystem::remove(link);
    std::filesystem::create_symlink(meter.SlavePath(), link);
  }
  size_t Boxes(const std::string& text) const {
    return static_cast<size_t>(std::count_if(ui.messages.begin(), ui.messages.end(),
                                             [&](const Message& m) { return m.text == text; }));
  }
  // The meter answers the greeting and sends one recorded result.
  void GreetedAndMeasured(PtyPair& meter, int rowsAfter) {
    const Bytes greeting = BuildFrame(Code::kConnect);
    EXPECT_EQ(meter.Receive(greeting.size(), kPatience), greeting);
    meter.Send(BuildFrame(Code::kConnectOk));
    meter.Send(DualResultBytes(-0.2f, 56.0f, -0.2f, 56.0f));
    EXPECT_TRUE(Pump([&] { return table.RowCount() == rowsAfter; })) << table.RowCount();
  }

  TempFolder scratch;
  const std::string link = scratch / "ports/ttyMeter";
  // Declared before the transport, so it is closed only after the transport
  // has joined its monitor, which may still be waking the receiving thread.
  struct EventFd {
    int fd = eventfd(0, EFD_CLOEXEC);
    ~EventFd() { close(fd); }
  } wake;
  ScriptedUi ui;
  common::FixedClock clock{common::LocalTime{2017, 5, 3, 12, 34, 56}};
  texts::MessageTexts texts;
  results::ResultsTable table;
  link::SerialTransport transport;
  std::unique_ptr<station::Station> station;
};

TEST_F(LostMeterTest, AVanishedPortIsToldOnceAndGreetedAgainWhenItComesBack) {
  auto meter = std::make_unique<PtyPair>();
  Publish(*meter);
  station->RefreshPortList(false);
  ASSERT_TRUE(station->OnConnect(0));
  GreetedAndMeasured(*meter, 1);
  EXPECT_EQ(Boxes("connected"), 1u);

  // The adapter is pulled; its link goes with it.
  meter->HangUp();
  std::filesystem::remove(link);
  ASSERT_TRUE(Pump([&] { return station->WatchingForPort(); }));
  EXPECT_EQ(Boxes("cannot open\n\nthe meter's port has gone"), 1u);
  ASSERT_EQ(ui.messages.back().caption, station::kAppTitle);
  EXPECT_FALSE(station->OnWatchTick());
  EXPECT_TRUE(station->WatchingForPort());

  // It comes back under the same name, on a new pseudo-terminal.
  meter = std::make_unique<PtyPair>();
  Publish(*meter);
  ASSERT_TRUE(station->OnWatchTick());
  EXPECT_FALSE(station->WatchingForPort());
  GreetedAndMeasured(*meter, 2);
  EXPECT_EQ(Boxes("connected"), 2u) << "the meter confirms the new greeting";
  EXPECT_EQ(Boxes("cannot open\n\nthe meter's port has gone"), 1u);
  EXPECT_EQ(table.Text(1, 1), "-0.20");
}

}  // namespace
}  // namespace orvana::testing
