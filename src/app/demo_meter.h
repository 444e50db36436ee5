#pragma once

#include <QProcess>
#include <QString>
#include <optional>

// The simulated meter of `orvana --demo`: orvana-sim on a pseudo-terminal,
// started with the window and stopped with it.
namespace orvana::app {

class DemoMeter {
 public:
  DemoMeter() = default;
  ~DemoMeter();
  DemoMeter(const DemoMeter&) = delete;
  DemoMeter& operator=(const DemoMeter&) = delete;

  // Starts the simulator and waits for the port it prints; the port, or
  // nothing (and `error` says why) when it could not be started.
  std::optional<QString> Start(QString& error);
  void Stop();

  // Where orvana-sim is looked for: $ORVANA_SIM, beside this program, then
  // the build tree it was built in.
  static QString SimulatorPath();

 private:
  QProcess m_process;
};

}  // namespace orvana::app
