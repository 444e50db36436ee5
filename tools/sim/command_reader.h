#pragma once

#include <cstdint>
#include <optional>

#include "sim/wire_frame.h"

namespace orvana::sim {

// Reassembles the program's frames from the byte stream, the way the meter
// does: bytes before a header are ignored, a length outside 3..46 drops the
// frame at once, a frame whose checksum does not add up is dropped silently.
class CommandReader {
 public:
  // Returns the whole frame once its last byte has arrived and it checks out.
  std::optional<Bytes> Feed(uint8_t byte);

  // How many frames were thrown away for a bad checksum or length.
  unsigned Rejected() const { return m_rejected; }

 private:
  Bytes m_pending;
  unsigned m_rejected = 0;
};

}  // namespace orvana::sim
