#pragma once

#include <algorithm>
#include <cstring>

#include "protocol/frame.h"
#include "sim/meter_frames.h"
#include "sim/wire_frame.h"

// What the meter sends comes, in every test, from the simulator's encoder:
// it is written apart from the program's protocol code, so a test that hands
// its frames to the program pits one against the other and a fault in either
// (a checksum, a byte out of place) shows. These are shorthands over it.
namespace orvana::testing {

// The frame a handler would be given for these bytes.
inline protocol::Frame ToFrame(const sim::Bytes& bytes) {
  protocol::Frame frame;
  frame.size = std::min(bytes.size(), frame.bytes.size());
  std::memcpy(frame.bytes.data(), bytes.data(), frame.size);
  return frame;
}

// A result at both wavelengths: IL and RL at the first, then at the second.
inline sim::Bytes DualResultBytes(float a, float b, float c, float d, bool record = true) {
  sim::ResultValues result;
  result.a = a;
  result.b = b;
  result.c = c;
  result.d = d;
  result.record = record;
  return sim::BuildResultFrame(result);
}

inline protocol::Frame ResultFrame(const sim::ResultValues& result) {
  return ToFrame(sim::BuildResultFrame(result));
}

inline protocol::Frame DualResult(float a, float b, float c, float d, bool record = true) {
  return ToFrame(DualResultBytes(a, b, c, d, record));
}

}  // namespace orvana::testing
