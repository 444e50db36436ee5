#include "sim/command_reader.h"

namespace orvana::sim {

namespace {
constexpr uint8_t kShortestLength = 3;
}

std::optional<Bytes> CommandReader::Feed(uint8_t byte) {
  if (m_pending.empty()) {
    if (byte == kHeaderByte) m_pending.push_back(byte);
    return std::nullopt;
  }
  m_pending.push_back(byte);
  const uint8_t length = m_pending[1];
  if (length < kShortestLength || length > kLongestLength) {
    ++m_rejected;
    m_pending.clear();
    // The rejected length byte may itself open the next frame.
    if (byte == kHeaderByte) m_pending.push_back(byte);
    return std::nullopt;
  }
  if (m_pending.size() < static_cast<size_t>(length) + 2) return std::nullopt;

  Bytes frame;
  frame.swap(m_pending);
  if (NegatedSum(std::span(frame).first(length)) != frame[length]) {
    ++m_rejected;
    return std::nullopt;
  }
  return frame;
}

}  // namespace orvana::sim
