#include "results/settings_record.h"

namespace orvana::results {

TestSettings TestSettings::StartValues() {
  TestSettings settings;
  settings.ilThreshold1 = -0.3f;
  settings.rlThreshold1 = 55.0f;
  settings.ilThreshold2 = -0.3f;
  settings.rlThreshold2 = 55.0f;
  settings.multiMode = false;
  settings.portIndexA = 1;
  settings.portIndexB = 1;
  return settings;
}

std::optional<int> PortCountAt(int itemIndex) {
  if (itemIndex < 0 || itemIndex >= static_cast<int>(kPortCounts.size())) return std::nullopt;
  return kPortCounts[static_cast<size_t>(itemIndex)];
}

WavelengthNames WavelengthNamesFor(bool multiMode) {
  if (multiMode) return {"850nm", "1300nm"};
  return {"1310nm", "1625nm"};
}

std::array<float, 4> Thresholds(const TestSettings& settings) {
  return {settings.ilThreshold1, settings.rlThreshold1, settings.ilThreshold2,
          settings.rlThreshold2};
}

}  // namespace orvana::results
