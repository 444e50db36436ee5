#pragma once

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <thread>
#include <vector>

// What the transport tests share: byte patterns, a meter that sends in
// bursts, and bounded waits for conditions that another thread brings about.
namespace orvana::link::testing {

inline constexpr std::chrono::seconds kPatience{3};

inline std::vector<uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

// `size` bytes in a pattern that does not repeat within a read, so a lost,
// repeated or reordered byte shows.
inline std::vector<uint8_t> TestPattern(size_t size) {
  std::vector<uint8_t> bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + i / 251);
  return bytes;
}

// The meter on a thread of its own: writes `bytes` into the pseudo-terminal
// master in `bursts` (sizes adding up to the whole), pausing `pause` after
// each, and gives up once the patience has run out: a reader that stopped
// reading must fail the test, not hang it.
inline std::thread SendInBursts(int master, const std::vector<uint8_t>& bytes,
                                std::initializer_list<size_t> bursts,
                                std::chrono::milliseconds pause) {
  fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
  const auto giveUp = std::chrono::steady_clock::now() + kPatience;
  return std::thread([master, &bytes, sizes = std::vector<size_t>(bursts), pause, giveUp] {
    size_t at = 0;
    for (const size_t burst : sizes) {
      const size_t end = at + burst;
      while (at < end && std::chrono::steady_clock::now() < giveUp) {
        pollfd room{master, POLLOUT, 0};
        if (poll(&room, 1, 10) <= 0) continue;
        const ssize_t n = write(master, bytes.data() + at, end - at);
        if (n > 0) at += static_cast<size_t>(n);
      }
      std::this_thread::sleep_for(pause);
    }
  });
}

// Waits until `condition` holds or the patience runs out; true when it holds.
inline bool WaitUntil(const std::function<bool()>& condition,
                      std::chrono::milliseconds patience = kPatience) {
  const auto deadline = std::chrono::steady_clock::now() + patience;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

}  // namespace orvana::link::testing
