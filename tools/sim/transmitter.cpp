#include "sim/transmitter.h"

#include <algorithm>

namespace orvana::sim {

void Transmitter::SendFrame(Bytes frame) {
  if (corruptNext_ && frame.size() >= 2 && ChecksumIndex(frame) < frame.size()) {
    ++frame[ChecksumIndex(frame)];
    corruptNext_ = false;
  }
  Enqueue(frame);
}

void Transmitter::SendRaw(const Bytes& bytes) { Enqueue(bytes); }

void Transmitter::SendGarbage(size_t count) {
  Bytes bytes;
  bytes.reserve(count);
  while (bytes.size() < count) {
    const auto b = static_cast<uint8_t>(random_() & 0xFFu);
    if (b != kHeaderByte) bytes.push_back(b);
  }
  Enqueue(bytes);
}

void Transmitter::Enqueue(const Bytes& bytes) {
  if (bytes.empty()) return;
  if (split_.count() == 0) {
    queue_.push_back({bytes, Pause{0}, 0});
    return;
  }
  for (const uint8_t b : bytes) {
    // The very first byte of a split run need not wait for anything.
    const Pause pause = queue_.empty() ? Pause{0} : split_;
    queue_.push_back({Bytes{b}, pause, 0});
  }
}

Transmitter::Pause Transmitter::PauseBeforeNext() const {
  if (queue_.empty() || queue_.front().written > 0) return Pause{0};
  return queue_.front().pauseBefore;
}

std::span<const uint8_t> Transmitter::NextBytes() const {
  if (queue_.empty()) return {};
  const Segment& front = queue_.front();
  return std::span(front.bytes).subspan(front.written);
}

void Transmitter::Consumed(size_t count) {
  if (queue_.empty()) return;
  Segment& front = queue_.front();
  front.written = std::min(front.bytes.size(), front.written + count);
  if (front.written == front.bytes.size()) queue_.pop_front();
}

}  // namespace orvana::sim
