#include "link/thread_relay.h"

#include <algorithm>
#include <utility>

namespace orvana::link {

CThreadRelay::CThreadRelay(LineHandlers handlers, Wake wake, Resume resume)
    : m_handlers(std::move(handlers)), m_wake(std::move(wake)), m_resume(std::move(resume)) {}

bool CThreadRelay::Post(Entry&& entry) {
  const bool wasEmpty = m_queue.empty();
  m_queue.push_back(std::move(entry));
  return wasEmpty;
}

void CThreadRelay::Recycle(std::vector<uint8_t>&& bytes) {
  if (bytes.capacity() > m_spare.capacity()) m_spare = std::move(bytes);
}

void CThreadRelay::Clear() {
  m_queue.clear();
  m_held = 0;
  m_resumeOwed = false;
}

bool CThreadRelay::Take(std::span<const uint8_t> bytes) {
  if (bytes.empty() || !m_handlers.onByte) return true;
  bool wake = false;
  bool full = false;
  {
    std::lock_guard lock(m_mutex);
    Entry entry;
    entry.bytes = std::move(m_spare);
    entry.bytes.assign(bytes.begin(), bytes.end());
    m_held += bytes.size();
    wake = Post(std::move(entry));
    full = m_held >= kHoldLimit;
    if (full) m_resumeOwed = true;
  }
  if (wake && m_wake) m_wake();
  return !full;
}

void CThreadRelay::Purge() {
  std::lock_guard lock(m_mutex);
  std::erase_if(m_queue, [](const Entry& entry) { return entry.kind == Kind::kBytes; });
  m_held = 0;
  // The monitor knows it may read on; nothing needs to tell it again.
  m_resumeOwed = false;
}

void CThreadRelay::MonitorEnded(const MonitorEnd& end) {
  bool wake = false;
  {
    std::lock_guard lock(m_mutex);
    m_resumeOwed = false;  // nobody reads any more
    if (!end.lost) {
      // Asked to stop: what it had not handed on goes with it.
      Clear();
      return;
    }
    // The bytes the device sent before it went are still handed on first.
    if (m_handlers.onLinkLost) {
      Entry entry;
      entry.kind = Kind::kLinkLost;
      entry.reason = end.reason;
      wake = Post(std::move(entry));
    }
  }
  if (wake && m_wake) m_wake();
}

void CThreadRelay::Forget() {
  std::lock_guard lock(m_mutex);
  Clear();
}

size_t CThreadRelay::HeldBytes() const {
  std::lock_guard lock(m_mutex);
  return m_held;
}

size_t CThreadRelay::Drain() {
  size_t handled = 0;
  while (HandOnOne()) ++handled;
  return handled;
}

bool CThreadRelay::HandOnOne() {
  Kind kind = Kind::kBytes;
  uint8_t byte = 0;
  std::string reason;
  bool resume = false;
  {
    std::lock_guard lock(m_mutex);
    if (m_queue.empty()) return false;
    Entry& front = m_queue.front();
    kind = front.kind;
    if (kind == Kind::kBytes) {
      // Taken under the lock, so a nested Drain, or a purge on the monitor
      // thread, sees exactly which bytes are still to come.
      byte = front.bytes[front.next++];
      --m_held;
      if (front.next == front.bytes.size()) {
        Recycle(std::move(front.bytes));
        m_queue.pop_front();
      }
      if (m_resumeOwed && m_held <= kHoldLimit / 2) {
        m_resumeOwed = false;
        resume = true;
      }
    } else {
      reason = std::move(front.reason);
      m_queue.pop_front();
    }
  }
  if (resume && m_resume) m_resume();
  switch (kind) {
    case Kind::kBytes:
      m_handlers.onByte(byte);
      break;
    case Kind::kLinkLost:
      m_handlers.onLinkLost(reason);
      break;
  }
  return true;
}

}  // namespace orvana::link
