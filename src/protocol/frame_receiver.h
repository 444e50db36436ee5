#pragma once

#include <array>
#include <cstdint>
#include <functional>

#include "protocol/frame.h"

// Assembles received bytes into frames, one byte per call, and hands each
// frame that passes its checksum to the handler of its command code.
//
// Bytes before a 0x50 are ignored; once a frame has started every byte is
// collected, so a 0x50 inside a frame is data. A frame that fails its checksum
// (or whose length cannot be held) costs only its own header: the receiver
// goes on hunting inside the bytes it has already collected, so the next 0x50
// among them opens the frame being collected, with the bytes after it. A frame
// cut short on the line therefore does not swallow the good frame behind it.
//
// A frame is acted upon once its trailer position has arrived, whatever that
// byte is. When it is a 0x50 it may equally be the header of the next frame
// (the trailer of the frame was lost on the line), so it also opens the next
// frame; a following 0x50 is not a length any frame can have and takes over.
namespace orvana::protocol {

class FrameReceiver {
 public:
  using Handler = std::function<void(const Frame&)>;

  // One handler at most per command code; codes without one are consumed
  // silently.
  void SetHandler(uint8_t code, Handler handler);

  // May be called again from inside a handler (a message box keeps receiving
  // underneath it); bytes are still handled in the order they arrived.
  void OnReceiveByte(uint8_t byte);

  // Writing a command throws away a half-received frame, and with it any
  // bytes still to be hunted through; the receiver then waits for the next
  // 0x50.
  void ResetCount() {
    m_rxCount = 0;
    m_pendingSize = 0;
  }

  // Receiver state, for tests and diagnostics.
  uint32_t Count() const { return m_rxCount; }
  bool Started() const { return m_rxStarted; }

  // The highest payload index each code reads, as a minimum length L: a frame
  // shorter than what its handler reads is dropped rather than dispatched.
  static uint8_t MinimumLength(uint8_t code);

 private:
  void Step(uint8_t byte);
  void Rehunt();
  void Dispatch();
  void PushBack(uint8_t byte);
  void PushFront(const uint8_t* bytes, uint32_t count);
  uint8_t PopFront();

  std::array<uint8_t, kMaxFrameBytes> m_rxBuffer{};
  uint32_t m_rxCount = 0;
  bool m_rxStarted = false;
  // Bytes received but not yet stepped through: the new byte, and the bytes
  // of a dropped frame that are hunted through again. A ring; collected plus
  // pending bytes never exceed one buffer (see OnReceiveByte).
  std::array<uint8_t, kMaxFrameBytes> m_pending{};
  uint32_t m_pendingHead = 0;
  uint32_t m_pendingSize = 0;
  std::array<Handler, 256> m_handlers{};
};

}  // namespace orvana::protocol
