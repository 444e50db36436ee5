#include "protocol/frame_receiver.h"

#include <utility>

namespace orvana::protocol {

void FrameReceiver::SetHandler(uint8_t code, Handler handler) {
  m_handlers[code] = std::move(handler);
}

uint8_t FrameReceiver::MinimumLength(uint8_t code) {
  switch (code) {
    case CMD_READ_RECORD:
      return 9;  // reads up to index 8
    case CMD_RECORD_EVENT:
      return 19;  // reads up to index 18
    case CMD_RESULT:
      return 22;  // reads up to index 21
    default:
      return kMinFrameLength;
  }
}

void FrameReceiver::OnReceiveByte(uint8_t byte) {
  if (byte == kFrameHeader) m_rxStarted = true;
  if (!m_rxStarted) return;

  m_rxBuffer[m_rxCount++] = byte;
  if (m_rxBuffer[0] != kFrameHeader) {
    // Hunting: only a 0x50 may stand at position 0.
    m_rxCount = 0;
    return;
  }
  if (m_rxCount < 2) return;

  const uint8_t length = m_rxBuffer[1];
  if (m_rxCount == 2 && (length > kMaxFrameLength || length < kMinFrameLength)) {
    // Such a frame cannot be held (or has no command code): give it up here
    // instead of collecting past the buffer.
    DropAtLengthByte();
    return;
  }
  if (m_rxCount < static_cast<uint32_t>(length) + 2) return;

  if (Checksum(m_rxBuffer.data(), length) != m_rxBuffer[length]) {
    m_rxCount = 0;  // dropped; still started, so the receiver hunts
    return;
  }
  Dispatch();
}

void FrameReceiver::DropAtLengthByte() {
  // The length byte may itself be the 0x50 of the next frame (a header lost
  // on the line); let it open that frame rather than throw it away too.
  const uint8_t lengthByte = m_rxBuffer[1];
  m_rxCount = 0;
  if (lengthByte == kFrameHeader) m_rxBuffer[m_rxCount++] = lengthByte;
}

void FrameReceiver::Dispatch() {
  Frame frame;
  frame.bytes = m_rxBuffer;
  frame.size = m_rxCount;
  // The receiver is reset before the handler runs: a handler that waits on the
  // user (a message box) lets later bytes be assembled into the next frame
  // instead of landing on this one.
  Restart();
  if (frame.Length() < MinimumLength(frame.Code())) return;
  if (const Handler& handler = m_handlers[frame.Code()]) handler(frame);
}

void FrameReceiver::Restart() {
  m_rxStarted = false;
  m_rxCount = 0;
}

}  // namespace orvana::protocol
