#pragma once

#include <cstdint>

#include "common/meter_frames.h"
#include "protocol/frame.h"

// Result frames as the meter sends them, for the tests of this folder.
namespace orvana::testing {

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
  return ToFrame(ResultBytes(fields.dual, fields.wavelengthCode, fields.a, fields.b, fields.c,
                             fields.d, fields.record));
}

inline protocol::Frame DualResult(float a, float b, float c, float d, bool record = true) {
  return ResultFrame({true, 0, a, b, c, d, record});
}

}  // namespace orvana::testing
