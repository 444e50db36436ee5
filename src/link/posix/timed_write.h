#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

namespace orvana::link {

// Writes all of `length` bytes to the non-blocking `fd`, waiting for room
// until `deadline`. `cancel` (-1 for none) becoming readable gives up at
// once: a stop must not wait out a write to a line that takes nothing.
// Returns 0 or the error that stopped it; `sent` tells how far it got.
int WriteBefore(int fd, const uint8_t* data, size_t length,
                std::chrono::steady_clock::time_point deadline, int cancel, size_t& sent);

}  // namespace orvana::link
