#include "link/owner_relay.h"

#include <utility>

namespace orvana::link {

COwnerRelay::COwnerRelay(Handler handler, Wake wake)
    : m_handler(std::move(handler)), m_wake(std::move(wake)) {}

void COwnerRelay::OnCommNotification(const CommNotification& notification) {
  std::unique_lock lock(m_mutex);
  m_taken.wait(lock, [this] { return !m_slot.has_value() || m_stopping; });
  if (m_stopping) return;
  m_slot = notification;
  const uint64_t ticket = ++m_posted;
  lock.unlock();
  if (m_wake) m_wake();
  lock.lock();
  m_taken.wait(lock, [&] { return m_takenCount >= ticket || m_stopping; });
}

void COwnerRelay::OnMonitorStopping() {
  std::lock_guard lock(m_mutex);
  m_stopping = true;
  // Whoever stops the monitor will not drain any more: what waits is dropped
  // with the monitor that sent it.
  m_slot.reset();
  m_taken.notify_all();
}

void COwnerRelay::OnMonitorStopped() {
  std::lock_guard lock(m_mutex);
  m_stopping = false;
  m_slot.reset();
}

size_t COwnerRelay::Drain() {
  size_t handled = 0;
  for (;;) {
    CommNotification notification;
    {
      std::lock_guard lock(m_mutex);
      if (!m_slot.has_value()) return handled;
      notification = *m_slot;
      m_slot.reset();
      ++m_takenCount;
    }
    m_taken.notify_all();
    if (m_handler) m_handler(notification);
    ++handled;
  }
}

}  // namespace orvana::link
