#include "app/quit_on_signal.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>

namespace orvana::app {
namespace {

// The handler may only write to a pipe; the event loop reads it.
int g_pipe[2] = {-1, -1};

void OnSignal(int) {
  const char byte = 1;
  [[maybe_unused]] const ssize_t n = write(g_pipe[1], &byte, 1);
}

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

}  // namespace

QuitOnSignal::QuitOnSignal(QObject* parent) : QObject(parent) {
  if (pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  m_notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
  connect(m_notifier, &QSocketNotifier::activated, this, [] {
    char bytes[16];
    while (read(g_pipe[0], bytes, sizeof bytes) > 0) {
    }
    QCoreApplication::quit();
  });
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int number : kSignals) sigaction(number, &action, nullptr);
}

QuitOnSignal::~QuitOnSignal() {
  for (int number : kSignals) signal(number, SIG_DFL);
  delete m_notifier;
  m_notifier = nullptr;
  close(g_pipe[0]);
  close(g_pipe[1]);
  g_pipe[0] = g_pipe[1] = -1;
}

}  // namespace orvana::app
