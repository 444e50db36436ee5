#pragma once

#include <QObject>
#include <QSocketNotifier>

// SIGINT, SIGTERM and SIGHUP close the window the normal way, so the line is
// closed and the simulated meter stopped, instead of the process vanishing.
namespace orvana::app {

class QuitOnSignal final : public QObject {
  Q_OBJECT

 public:
  explicit QuitOnSignal(QObject* parent = nullptr);
  ~QuitOnSignal() override;

 private:
  QSocketNotifier* m_notifier = nullptr;
};

}  // namespace orvana::app
