#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "protocol/frame.h"
#include "results/outcome.h"

namespace orvana::results {

// One result frame from the meter, decoded. Values are in column order:
// first wavelength IL and RL, then second wavelength IL and RL.
struct MeasurementResult {
  bool dual = false;
  uint8_t wavelengthCode = 0;
  float rawA = 0.0f;
  float rawB = 0.0f;
  float rawC = 0.0f;
  float rawD = 0.0f;
  // The numbers compared with thresholds 1..4.
  std::array<float, 4> judged{};
  // What the value fields and the table show; empty for a wavelength that was
  // not measured.
  std::array<std::string, 4> texts;
  bool record = false;

  // The caller guarantees a CMD_RESULT frame whose length reaches the record
  // flag (L >= 22); the receiver drops shorter ones.
  static MeasurementResult Decode(const protocol::Frame& frame);
};

// The wavelength code of a single-wavelength result measured at the second
// wavelength only; every other code means the first.
inline constexpr uint8_t kSecondWavelengthCode = 5;

// Pass when the value reaches the threshold. Anything that does not compare
// as at least the threshold fails, a NaN included: a broken measurement must
// never look like a good part.
Outcome Judge(float value, float threshold);

// "%.2f" for IL, "%.1f" for RL, of the value widened to double.
std::string FormatIl(float value);
std::string FormatRl(float value);

}  // namespace orvana::results
