#pragma once

#include <cstdint>
#include <vector>

#include "protocol/frame.h"

// Frames as the meter sends them, built byte by byte for the tests; a payload
// index i sits at frame index i + 3.
namespace orvana::testing {

using Bytes = std::vector<uint8_t>;

Bytes MeterFrame(uint8_t code, const Bytes& payload, uint8_t trailer = 0x01);

Bytes ResultBytes(bool dual, uint8_t wavelengthCode, float a, float b, float c, float d,
                  bool record);
Bytes RecordHeaderBytes(int year, int month, int day, int hour, int minute);
Bytes RecordEventBytes(int8_t number, int16_t distance, float loss, float reflectance,
                       float totalLoss, uint8_t type);

// The frame a handler would be given for these bytes.
protocol::Frame ToFrame(const Bytes& bytes);

}  // namespace orvana::testing
