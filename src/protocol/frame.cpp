#include "protocol/frame.h"

#include <bit>

namespace orvana::protocol {

uint8_t Checksum(const uint8_t* bytes, size_t count) {
  unsigned sum = 0;
  for (size_t i = 0; i < count; ++i) sum += bytes[i];
  return static_cast<uint8_t>(0x100 - (sum & 0xFF));
}

CommandBytes BuildCommand(uint8_t code) {
  CommandBytes frame{kFrameHeader, kMinFrameLength, code, 0, kFrameTrailer};
  frame[3] = Checksum(frame.data(), 3);
  return frame;
}

float DecodeFloat(const uint8_t* littleEndian) {
  const uint32_t pattern =
      static_cast<uint32_t>(littleEndian[0]) | static_cast<uint32_t>(littleEndian[1]) << 8 |
      static_cast<uint32_t>(littleEndian[2]) << 16 | static_cast<uint32_t>(littleEndian[3]) << 24;
  return std::bit_cast<float>(pattern);
}

int16_t DecodeInt16(const uint8_t* littleEndian) {
  // High byte signed, low byte unsigned: the meter's own composition.
  return static_cast<int16_t>(static_cast<int8_t>(littleEndian[1]) * 256 + littleEndian[0]);
}

float Frame::FloatAt(size_t index) const { return DecodeFloat(&bytes[index]); }
int16_t Frame::Int16At(size_t index) const { return DecodeInt16(&bytes[index]); }

}  // namespace orvana::protocol
