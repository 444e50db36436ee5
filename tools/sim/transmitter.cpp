#include "sim/transmitter.h"

#include <algorithm>

namespace orvana::sim {

void Transmitter::SendFrame(Bytes frame) {
  if (m_corruptNext && frame.size() >= 2 && ChecksumIndex(frame) < frame.size()) {
    ++frame[ChecksumIndex(frame)];
    m_corruptNext = false;
  }
  Enqueue(frame);
}

void Transmitter::SendRaw(const Bytes& bytes) { Enqueue(bytes); }

void Transmitter::SendGarbage(size_t count) {
  Bytes bytes;
  bytes.reserve(count);
  while (bytes.size() < count) {
    const auto b = static_cast<uint8_t>(m_random() & 0xFFu);
    if (b != kHeaderByte) bytes.push_back(b);
  }
  Enqueue(bytes);
}

void Transmitter::Enqueue(const Bytes& bytes) {
  if (bytes.empty()) return;
  if (m_split.count() == 0) {
    m_queue.push_back({bytes, Pause{0}, 0});
    return;
  }
  for (const uint8_t b : bytes) {
    // The very first byte of a split run need not wait for anything.
    const Pause pause = m_queue.empty() ? Pause{0} : m_split;
    m_queue.push_back({Bytes{b}, pause, 0});
  }
}

Transmitter::Pause Transmitter::PauseBeforeNext() const {
  if (m_queue.empty() || m_queue.front().written > 0) return Pause{0};
  return m_queue.front().pauseBefore;
}

std::span<const uint8_t> Transmitter::NextBytes() const {
  if (m_queue.empty()) return {};
  const Segment& front = m_queue.front();
  return std::span(front.bytes).subspan(front.written);
}

void Transmitter::Consumed(size_t count) {
  if (m_queue.empty()) return;
  Segment& front = m_queue.front();
  front.written = std::min(front.bytes.size(), front.written + count);
  if (front.written == front.bytes.size()) m_queue.pop_front();
}

}  // namespace orvana::sim
