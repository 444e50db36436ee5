#include "ui/coalesced_update.h"

#include <utility>

namespace orvana::ui {

CoalescedUpdate::CoalescedUpdate(QObject* context, std::chrono::milliseconds interval,
                                 std::function<void()> update)
    : m_update(std::move(update)) {
  m_interval.setSingleShot(true);
  m_interval.setInterval(interval);
  QObject::connect(&m_interval, &QTimer::timeout, context, [this] {
    if (!m_held) return;  // quiet since the last update: the next one runs at once
    m_held = false;
    m_interval.start();
    m_update();
  });
}

void CoalescedUpdate::Request() {
  if (m_interval.isActive()) {
    m_held = true;
    return;
  }
  m_interval.start();
  m_update();
}

void CoalescedUpdate::Flush() {
  if (!m_held) return;
  m_held = false;
  m_update();
}

}  // namespace orvana::ui
