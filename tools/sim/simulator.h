#pragma once

#include <signal.h>

#include <chrono>
#include <csignal>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "sim/command_reader.h"
#include "sim/instrument.h"
#include "sim/pty_device.h"
#include "sim/result_generator.h"
#include "sim/script.h"
#include "sim/transmitter.h"

namespace orvana::sim {

struct SimulatorSetup {
  std::vector<Command> script;  // run first, in order
  bool readStdin = false;       // then commands from standard input until it ends
  bool demoRecord = false;
  std::chrono::milliseconds interval{0};  // periodic results; zero for none
  uint32_t seed = 0;
  bool verbose = false;
};

// The meter at work: one thread, one poll loop over the line and standard
// input. Answers the program, runs the script, sends the periodic results and
// writes everything with the pauses the faults ask for.
class Simulator {
 public:
  Simulator(PtyDevice& line, SimulatorSetup setup, int inputFd);

  // Runs until a hangup, the end of standard input (with readStdin), or until
  // `stop` is set by a signal handler. `waitMask` is the signal mask in force
  // while waiting (the caller blocks the stop signals everywhere else, so none
  // slips in between the check and the wait). Returns the exit status.
  int Run(const volatile std::sig_atomic_t& stop, const sigset_t& waitMask);

 private:
  using Clock = std::chrono::steady_clock;

  void RunScript(Clock::time_point now);
  void Execute(const Command& command, Clock::time_point now);
  void SendPeriodicResult(Clock::time_point now);
  // False when the line has failed.
  bool Flush(Clock::time_point now);
  bool ReadLine();
  void ReadInput();
  void TakeInputLine(std::string_view text);
  void Send(Bytes frame, const char* what);
  void Note(const std::string& text) const;

  PtyDevice& m_line;
  SimulatorSetup m_setup;
  int m_inputFd;

  Instrument m_instrument;
  CommandReader m_reader;
  Transmitter m_transmitter;
  ResultGenerator m_generator;
  ScriptParser m_inputParser;

  std::deque<Command> m_pending;
  std::string m_partialInput;
  bool m_inputOpen = false;
  Clock::time_point m_scriptResumeAt{};
  Clock::time_point m_nextResultAt{};
  Clock::time_point m_lastWriteAt{};
  bool m_writeBlocked = false;
  bool m_hangingUp = false;
};

}  // namespace orvana::sim
