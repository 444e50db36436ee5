#include "app/demo_meter.h"

#include <signal.h>
#include <sys/prctl.h>

#include <QCoreApplication>
#include <QFileInfo>

namespace orvana::app {
namespace {

constexpr int kStartMilliseconds = 5000;
constexpr int kStopMilliseconds = 2000;

}  // namespace

DemoMeter::~DemoMeter() { Stop(); }

QString DemoMeter::SimulatorPath() {
  const QString fromEnvironment = qEnvironmentVariable("ORVANA_SIM");
  if (!fromEnvironment.isEmpty()) return fromEnvironment;
  const QString beside = QCoreApplication::applicationDirPath() + QStringLiteral("/orvana-sim");
  if (QFileInfo(beside).isExecutable()) return beside;
#ifdef ORVANA_SIM_BUILD_PATH
  return QStringLiteral(ORVANA_SIM_BUILD_PATH);
#else
  return QStringLiteral("orvana-sim");
#endif
}

std::optional<QString> DemoMeter::Start(QString& error) {
  m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  // The meter goes with the window even when the window is killed.
  m_process.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
  m_process.start(SimulatorPath(), {QStringLiteral("--demo")});
  if (!m_process.waitForStarted(kStartMilliseconds)) {
    error = m_process.errorString();
    return std::nullopt;
  }
  // Its first line is the port to open.
  while (!m_process.canReadLine()) {
    if (!m_process.waitForReadyRead(kStartMilliseconds)) {
      error = QStringLiteral("orvana-sim did not name its port");
      Stop();
      return std::nullopt;
    }
  }
  const QString port = QString::fromUtf8(m_process.readLine()).trimmed();
  // Whatever else it prints must not fill the pipe and stall it.
  QObject::connect(&m_process, &QProcess::readyReadStandardOutput, &m_process,
                   [this] { m_process.readAllStandardOutput(); });
  return port;
}

void DemoMeter::Stop() {
  if (m_process.state() == QProcess::NotRunning) return;
  m_process.terminate();
  if (!m_process.waitForFinished(kStopMilliseconds)) {
    m_process.kill();
    m_process.waitForFinished(kStopMilliseconds);
  }
}

}  // namespace orvana::app
