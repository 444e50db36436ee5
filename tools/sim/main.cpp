// orvana-sim: a simulated IL&RL meter on a pseudo-terminal. See --help.
#include <signal.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <memory>
#include <optional>
#include <random>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "sim/options.h"
#include "sim/port_link.h"
#include "sim/pty_device.h"
#include "sim/script.h"
#include "sim/simulator.h"

namespace {

volatile std::sig_atomic_t stopRequested = 0;

extern "C" void OnStopSignal(int) { stopRequested = 1; }

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

}  // namespace

int main(int argc, char** argv) {
  using namespace orvana::sim;

  const std::vector<std::string_view> args(argv + 1, argv + argc);
  Options options;
  try {
    options = ParseOptions(args);
  } catch (const std::invalid_argument& error) {
    std::fprintf(stderr, "orvana-sim: %s (try --help)\n", error.what());
    return 2;
  }
  if (options.help) {
    std::fputs(HelpText().c_str(), stdout);
    return 0;
  }

  SimulatorSetup setup;
  if (options.scriptPath) {
    std::ifstream file(*options.scriptPath);
    if (!file) {
      std::fprintf(stderr, "orvana-sim: cannot read script %s\n", options.scriptPath->c_str());
      return 2;
    }
    try {
      setup.script = ParseScript(file);
    } catch (const ScriptError& error) {
      std::fprintf(stderr, "orvana-sim: %s: %s\n", options.scriptPath->c_str(), error.what());
      return 2;
    }
  }
  setup.readStdin = options.readStdin;
  setup.demoRecord = options.PlaysDemo();
  setup.interval = options.ResultInterval();
  setup.seed = options.seed ? *options.seed : std::random_device{}();
  setup.verbose = options.verbose;

  // The stop signals stay blocked except while the loop waits, so a signal
  // can never fall between its check of the flag and the wait.
  std::signal(SIGPIPE, SIG_IGN);
  sigset_t stopSet;
  sigemptyset(&stopSet);
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  for (const int number : kStopSignals) {
    sigaddset(&stopSet, number);
    sigaction(number, &action, nullptr);
  }
  sigset_t waitMask;
  sigprocmask(SIG_BLOCK, &stopSet, &waitMask);

  try {
    PtyDevice line;
    std::unique_ptr<PortLink> link;
    if (options.linkPath) link = std::make_unique<PortLink>(*options.linkPath, line.SlavePath());
    std::printf("%s\n", line.SlavePath().c_str());
    std::fflush(stdout);

    Simulator simulator(line, std::move(setup), STDIN_FILENO);
    return simulator.Run(stopRequested, waitMask);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "orvana-sim: %s\n", error.what());
    return 1;
  }
}
