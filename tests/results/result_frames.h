#pragma once

#include <bit>
#include <cstdint>

#include "protocol/frame.h"

// Result frames as the meter sends them, for the tests of this folder.
namespace orvana::testing {

inline void PutFloat(protocol::Frame& frame, size_t at, float value) {
  const uint32_t pattern = std::bit_cast<uint32_t>(value);
  for (size_t i = 0; i < 4; ++i) frame.bytes[at + i] = static_cast<uint8_t>(pattern >> (8 * i));
}

struct ResultFields {
  bool dual = true;
  uint8_t wavelengthCode = 0;
  float a = 0.0f;
  float b = 0.0f;
  float c = 0.0f;
  float d = 0.0f;
  bool record = true;
};

inline protocol::Frame ResultFrame(const ResultFields& fields) {
  protocol::Frame frame;
  frame.bytes[0] = protocol::kFrameHeader;
  frame.bytes[1] = 22;
  frame.bytes[2] = protocol::CMD_RESULT;
  frame.bytes[3] = fields.dual ? 1 : 0;
  frame.bytes[4] = fields.wavelengthCode;
  PutFloat(frame, 5, fields.a);
  PutFloat(frame, 9, fields.b);
  PutFloat(frame, 13, fields.c);
  PutFloat(frame, 17, fields.d);
  frame.bytes[21] = fields.record ? 1 : 0;
  frame.bytes[22] = protocol::Checksum(frame.bytes.data(), 22);
  frame.bytes[23] = protocol::kFrameTrailer;
  frame.size = 24;
  return frame;
}

inline protocol::Frame DualResult(float a, float b, float c, float d, bool record = true) {
  return ResultFrame({true, 0, a, b, c, d, record});
}

}  // namespace orvana::testing
