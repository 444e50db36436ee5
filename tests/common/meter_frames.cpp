#include "common/meter_frames.h"

#include <algorithm>
#include <cstring>

namespace orvana::testing {
namespace {

void PutFloat(Bytes& payload, size_t at, float value) {
  std::memcpy(payload.data() + at, &value, sizeof value);
}

}  // namespace

Bytes MeterFrame(uint8_t code, const Bytes& payload, uint8_t trailer) {
  const size_t length = payload.size() + 3;
  Bytes frame(length + 2, 0);
  frame[0] = protocol::kFrameHeader;
  frame[1] = static_cast<uint8_t>(length);
  frame[2] = code;
  for (size_t i = 0; i < payload.size(); ++i) frame[3 + i] = payload[i];
  frame[length] = protocol::Checksum(frame.data(), length);
  frame[length + 1] = trailer;
  return frame;
}

Bytes ResultBytes(bool dual, uint8_t wavelengthCode, float a, float b, float c, float d,
                  bool record) {
  Bytes payload(19, 0);
  payload[0] = dual ? 1 : 0;
  payload[1] = wavelengthCode;
  PutFloat(payload, 2, a);
  PutFloat(payload, 6, b);
  PutFloat(payload, 10, c);
  PutFloat(payload, 14, d);
  payload[18] = record ? 1 : 0;
  return MeterFrame(protocol::CMD_RESULT, payload);
}

Bytes RecordHeaderBytes(int year, int month, int day, int hour, int minute) {
  return MeterFrame(
      protocol::CMD_READ_RECORD,
      {0, static_cast<uint8_t>(year), static_cast<uint8_t>(month), static_cast<uint8_t>(day),
       static_cast<uint8_t>(hour), static_cast<uint8_t>(minute)});
}

Bytes RecordEventBytes(int8_t number, int16_t distance, float loss, float reflectance,
                       float totalLoss, uint8_t type) {
  Bytes payload(16, 0);
  payload[0] = static_cast<uint8_t>(number);
  std::memcpy(payload.data() + 1, &distance, sizeof distance);
  PutFloat(payload, 3, loss);
  PutFloat(payload, 7, reflectance);
  PutFloat(payload, 11, totalLoss);
  payload[15] = type;
  return MeterFrame(protocol::CMD_RECORD_EVENT, payload);
}

protocol::Frame ToFrame(const Bytes& bytes) {
  protocol::Frame frame;
  frame.size = std::min(bytes.size(), frame.bytes.size());
  std::memcpy(frame.bytes.data(), bytes.data(), frame.size);
  return frame;
}

}  // namespace orvana::testing
