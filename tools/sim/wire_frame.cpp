#include "sim/wire_frame.h"

#include <bit>
#include <stdexcept>

namespace orvana::sim {

uint8_t NegatedSum(std::span<const uint8_t> bytes) {
  unsigned sum = 0;
  for (const uint8_t b : bytes) sum += b;
  return static_cast<uint8_t>((256u - (sum & 0xFFu)) & 0xFFu);
}

Bytes BuildFrame(uint8_t code, std::span<const uint8_t> payload) {
  // code + payload + checksum + trailer
  const size_t length = payload.size() + 3;
  if (length > 0xFF) throw std::length_error("frame payload too long for its length byte");
  Bytes frame;
  frame.reserve(length + 2);
  frame.push_back(kHeaderByte);
  frame.push_back(static_cast<uint8_t>(length));
  frame.push_back(code);
  frame.insert(frame.end(), payload.begin(), payload.end());
  frame.push_back(NegatedSum(frame));
  frame.push_back(kTrailerByte);
  return frame;
}

void AppendFloat(Bytes& out, float value) {
  const auto bits = std::bit_cast<uint32_t>(value);
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(bits >> shift));
}

void AppendInt16(Bytes& out, int16_t value) {
  const auto bits = static_cast<uint16_t>(value);
  out.push_back(static_cast<uint8_t>(bits & 0xFFu));
  out.push_back(static_cast<uint8_t>(bits >> 8));
}

}  // namespace orvana::sim
