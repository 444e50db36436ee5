#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

// What the user may set for a test run. One record lives for the whole
// program, in memory only; the settings dialog writes it, the recorder reads
// the thresholds and the table reads the wavelength family.
namespace orvana::results {

struct TestSettings {
  float ilThreshold1 = 0.0f;  // dB, value 1 (first wavelength IL)
  float rlThreshold1 = 0.0f;  // dB, value 2 (first wavelength RL)
  float ilThreshold2 = 0.0f;  // dB, value 3 (second wavelength IL)
  float rlThreshold2 = 0.0f;  // dB, value 4 (second wavelength RL)
  bool multiMode = false;     // set: 850nm/1300nm, clear: 1310nm/1625nm
  int portIndexA = 0;         // item index into kPortCounts, not a count
  int portIndexB = 0;
  std::string deviceName;

  // What the main window gives the record when it starts.
  static TestSettings StartValues();

  bool operator==(const TestSettings&) const = default;
};

// Port counts offered by the settings dialog, indexed by item index.
inline constexpr std::array<int, 11> kPortCounts{0, 1, 2, 4, 8, 12, 16, 24, 36, 48, 64};

// The port count of an item index; nothing for an index outside the list.
std::optional<int> PortCountAt(int itemIndex);

struct WavelengthNames {
  std::string_view first;
  std::string_view second;
};

WavelengthNames WavelengthNamesFor(bool multiMode);

// Threshold k (0..3) for value k, in column order.
std::array<float, 4> Thresholds(const TestSettings& settings);

}  // namespace orvana::results
