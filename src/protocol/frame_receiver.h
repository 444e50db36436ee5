#pragma once

#include <array>
#include <cstdint>
#include <functional>

#include "protocol/frame.h"

// Assembles received bytes into frames, one byte per call, and hands each
// frame that passes its checksum to the handler of its command code.
//
// Bytes before a 0x50 are ignored; once a frame has started every byte is
// collected, so a 0x50 inside a frame is data. After a bad checksum the
// receiver hunts: each byte is discarded unless it is 0x50, which opens the
// next frame.
namespace orvana::protocol {

class FrameReceiver {
 public:
  using Handler = std::function<void(const Frame&)>;

  // One handler at most per command code; codes without one are consumed
  // silently.
  void SetHandler(uint8_t code, Handler handler);

  void OnReceiveByte(uint8_t byte);

  // Writing a command throws away a half-received frame; the receiver then
  // waits for the next 0x50.
  void ResetCount() { m_rxCount = 0; }

  // Receiver state, for tests and diagnostics.
  uint32_t Count() const { return m_rxCount; }
  bool Started() const { return m_rxStarted; }

  // The highest payload index each code reads, as a minimum length L: a frame
  // shorter than what its handler reads is dropped rather than dispatched.
  static uint8_t MinimumLength(uint8_t code);

 private:
  void Restart();
  void DropAtLengthByte();
  void Dispatch();

  std::array<uint8_t, kMaxFrameBytes> m_rxBuffer{};
  uint32_t m_rxCount = 0;
  bool m_rxStarted = false;
  std::array<Handler, 256> m_handlers{};
};

}  // namespace orvana::protocol
