#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <random>
#include <span>

#include "sim/wire_frame.h"

namespace orvana::sim {

// The meter's outgoing queue, with the line faults a test can ask for. It only
// decides what goes out and with which pause before it; the caller writes.
class Transmitter {
 public:
  using Pause = std::chrono::milliseconds;

  explicit Transmitter(uint32_t seed) : m_random(seed) {}

  // Queues a frame; a pending checksum fault is applied to it.
  void SendFrame(Bytes frame);
  // Queues bytes exactly as given.
  void SendRaw(const Bytes& bytes);
  // `count` random bytes, never the header byte, so the frame after them is
  // still recognised.
  void SendGarbage(size_t count);

  // The next frame goes out with its checksum one too high.
  void CorruptNextChecksum() { m_corruptNext = true; }
  // From now on every byte is its own write, `pause` after the previous one;
  // zero goes back to whole writes.
  void SetSplit(Pause pause) { m_split = pause; }

  bool HasPending() const { return !m_queue.empty(); }
  // Wait owed before the next byte goes out (only before a segment's first byte).
  Pause PauseBeforeNext() const;
  std::span<const uint8_t> NextBytes() const;
  // Tells that `count` bytes of NextBytes() have been written.
  void Consumed(size_t count);

 private:
  struct Segment {
    Bytes bytes;
    Pause pauseBefore{0};
    size_t written = 0;
  };
  void Enqueue(const Bytes& bytes);

  std::deque<Segment> m_queue;
  bool m_corruptNext = false;
  Pause m_split{0};
  std::mt19937 m_random;
};

}  // namespace orvana::sim
