#pragma once

#include <cstdint>
#include <random>

#include "sim/meter_frames.h"

namespace orvana::sim {

// Made-up measurements for the periodic results: IL and RL scattered around
// the program's default thresholds (-0.3 dB and 55.0 dB), so a run shows both
// passes and fails. Mostly dual, now and then a single wavelength or a result
// that is only shown. The same seed gives the same run on any machine: the
// values come straight from the engine's output, which the language fixes,
// not from a library's distributions, which it does not.
class ResultGenerator {
 public:
  explicit ResultGenerator(uint32_t seed) : m_engine(seed) {}
  ResultValues Next();

 private:
  // One of `steps` values lowest/units, (lowest+1)/units, ...
  float Pick(int lowest, double units, uint32_t steps);
  uint32_t Below(uint32_t bound);

  std::mt19937 m_engine;
};

}  // namespace orvana::sim
