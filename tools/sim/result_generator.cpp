#include "sim/result_generator.h"

namespace orvana::sim {

namespace {
// IL from -0.45 to -0.05 dB in 0.01 steps, RL from 50.0 to 62.0 dB in 0.1
// steps: the program shows IL with two decimals and RL with one, so every
// value it shows is one the meter meant.
// Dividing whole counts gives the float nearest each decimal value, where
// repeated float steps would drift.
constexpr int kIlLowest = -45;
constexpr double kIlUnits = 100.0;
constexpr uint32_t kIlSteps = 41;
constexpr int kRlLowest = 500;
constexpr double kRlUnits = 10.0;
constexpr uint32_t kRlSteps = 121;
}  // namespace

uint32_t ResultGenerator::Below(uint32_t bound) { return static_cast<uint32_t>(m_engine() % bound); }

float ResultGenerator::Pick(int lowest, double units, uint32_t steps) {
  const int count = lowest + static_cast<int>(Below(steps));
  return static_cast<float>(count / units);
}

ResultValues ResultGenerator::Next() {
  ResultValues result;
  // One in five measures a single wavelength, one in eight is only shown.
  result.dual = Below(5) != 0;
  result.record = Below(8) != 0;
  if (result.dual) {
    result.a = Pick(kIlLowest, kIlUnits, kIlSteps);
    result.b = Pick(kRlLowest, kRlUnits, kRlSteps);
    result.c = Pick(kIlLowest, kIlUnits, kIlSteps);
    result.d = Pick(kRlLowest, kRlUnits, kRlSteps);
  } else {
    result.wavelengthCode = Below(2) == 0 ? kFirstWavelength : kSecondWavelength;
    result.b = Pick(kRlLowest, kRlUnits, kRlSteps);
    result.d = Pick(kIlLowest, kIlUnits, kIlSteps);
  }
  return result;
}

}  // namespace orvana::sim
