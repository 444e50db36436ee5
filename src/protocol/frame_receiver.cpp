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

// Why collected plus pending bytes fit in one buffer: stepping a byte, dropping
// a frame (its header goes, the rest is pending again) and dispatching one
// never add to their sum; only a new byte does. A new byte arrives either here
// at the top, where the last call left nothing pending and at most L + 1 <= 47
// bytes collected, or from inside a handler, which starts with nothing
// collected and at least four bytes fewer than before the frame was taken.
void FrameReceiver::OnReceiveByte(uint8_t byte) {
  PushBack(byte);
  // A nested call from a handler drains what the outer call left pending
  // first, so the order of bytes is kept across nesting.
  while (m_pendingSize > 0) Step(PopFront());
}

void FrameReceiver::Step(uint8_t byte) {
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
    // Such a frame cannot be held (or has no command code): give it up at its
    // length byte instead of collecting past the buffer.
    Rehunt();
    return;
  }
  if (m_rxCount < static_cast<uint32_t>(length) + 2) return;

  if (Checksum(m_rxBuffer.data(), length) != m_rxBuffer[length]) {
    Rehunt();
    return;
  }
  Dispatch();
}

void FrameReceiver::Rehunt() {
  // Only the header is known to be wrong; the bytes after it may hold the
  // start of the next frame (a frame cut short on the line), so they are
  // hunted through again, ahead of anything not yet stepped.
  const uint32_t count = m_rxCount;
  m_rxCount = 0;  // still started: hunting
  PushFront(m_rxBuffer.data() + 1, count - 1);
}

void FrameReceiver::Dispatch() {
  Frame frame;
  frame.bytes = m_rxBuffer;
  frame.size = m_rxCount;
  // The receiver is reset before the handler runs: a handler that waits on the
  // user (a message box) lets later bytes be assembled into the next frame
  // instead of landing on this one.
  m_rxStarted = false;
  m_rxCount = 0;
  const uint8_t trailer = frame.At(frame.size - 1);
  if (trailer == kFrameHeader) PushFront(&trailer, 1);
  if (frame.Length() < MinimumLength(frame.Code())) return;
  if (const Handler& handler = m_handlers[frame.Code()]) handler(frame);
}

void FrameReceiver::PushBack(uint8_t byte) {
  m_pending[(m_pendingHead + m_pendingSize) % m_pending.size()] = byte;
  ++m_pendingSize;
}

void FrameReceiver::PushFront(const uint8_t* bytes, uint32_t count) {
  const uint32_t capacity = static_cast<uint32_t>(m_pending.size());
  m_pendingHead = (m_pendingHead + capacity - count % capacity) % capacity;
  for (uint32_t i = 0; i < count; ++i) m_pending[(m_pendingHead + i) % capacity] = bytes[i];
  m_pendingSize += count;
}

uint8_t FrameReceiver::PopFront() {
  const uint8_t byte = m_pending[m_pendingHead];
  m_pendingHead = (m_pendingHead + 1) % static_cast<uint32_t>(m_pending.size());
  --m_pendingSize;
  return byte;
}

}  // namespace orvana::protocol
