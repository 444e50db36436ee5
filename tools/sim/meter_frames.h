#pragma once

#include <cstdint>
#include <vector>

#include "sim/wire_frame.h"

// What the meter stores and measures, and the frames that carry it.
namespace orvana::sim {

inline constexpr uint8_t kLossEventType = 2;
inline constexpr uint8_t kReflectiveEventType = 1;
// Wavelength code of a single result taken at the second wavelength.
inline constexpr uint8_t kSecondWavelength = 5;
inline constexpr uint8_t kFirstWavelength = 1;

struct StoredEvent {
  int8_t number = 0;
  int16_t distance = 0;
  float loss = 0.0f;
  float reflectance = 0.0f;
  float totalLoss = 0.0f;
  uint8_t type = kLossEventType;
};

struct StoredRecord {
  uint8_t year = 0;  // within the century
  uint8_t month = 1;
  uint8_t day = 1;
  uint8_t hour = 0;
  uint8_t minute = 0;
  std::vector<StoredEvent> events;
};

// One measurement as the meter reports it. Dual: a, b, c, d are IL and RL at
// the first wavelength, then IL and RL at the second. Single: b is the RL and
// d the IL of the wavelength named by `wavelengthCode`; a and c are sent as 0.
struct ResultValues {
  bool dual = true;
  uint8_t wavelengthCode = 0;
  float a = 0.0f;
  float b = 0.0f;
  float c = 0.0f;
  float d = 0.0f;
  bool record = true;
};

Bytes BuildRecordHeaderFrame(const StoredRecord& record);  // code 48, L = 9
Bytes BuildRecordEventFrame(const StoredEvent& event);     // code 49, L = 19
Bytes BuildResultFrame(const ResultValues& result);        // code 81, L = 22
// A result-coded frame with L = `length` (above what the program can hold),
// zero payload: used to check that the program survives it.
Bytes BuildOverlongFrame(uint8_t length);

}  // namespace orvana::sim
