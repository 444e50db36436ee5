#include "sim/meter_frames.h"

#include <stdexcept>

namespace orvana::sim {

Bytes BuildRecordHeaderFrame(const StoredRecord& record) {
  // Index 3 is not read by the program; the meter leaves it zero.
  const Bytes payload{0, record.year, record.month, record.day, record.hour, record.minute};
  return BuildFrame(Code::kReadRecord, payload);
}

Bytes BuildRecordEventFrame(const StoredEvent& event) {
  Bytes payload;
  payload.push_back(static_cast<uint8_t>(event.number));
  AppendInt16(payload, event.distance);
  AppendFloat(payload, event.loss);
  AppendFloat(payload, event.reflectance);
  AppendFloat(payload, event.totalLoss);
  payload.push_back(event.type);
  return BuildFrame(Code::kRecordEvent, payload);
}

Bytes BuildResultFrame(const ResultValues& result) {
  Bytes payload;
  payload.push_back(result.dual ? 1 : 0);
  payload.push_back(result.dual ? 0 : result.wavelengthCode);
  AppendFloat(payload, result.a);
  AppendFloat(payload, result.b);
  AppendFloat(payload, result.c);
  AppendFloat(payload, result.d);
  payload.push_back(result.record ? 1 : 0);
  return BuildFrame(Code::kResult, payload);
}

Bytes BuildOverlongFrame(uint8_t length) {
  if (length <= kLongestLength) throw std::invalid_argument("an overlong frame needs L above 46");
  const Bytes payload(static_cast<size_t>(length) - 3, 0);
  return BuildFrame(Code::kResult, payload);
}

}  // namespace orvana::sim
