#include "sim/instrument.h"

#include <utility>

namespace orvana::sim {

std::vector<Bytes> Instrument::Answer(const Bytes& command) {
  std::vector<Bytes> answer;
  if (command.size() < 3) return answer;
  switch (static_cast<Code>(command[2])) {
    case Code::kConnect:
      answer.push_back(BuildFrame(Code::kConnectOk));
      break;
    case Code::kEraseAll:
      m_records.clear();
      answer.push_back(BuildFrame(Code::kEraseAllOk));
      break;
    case Code::kReadRecord:
      for (const StoredRecord& record : m_records) {
        answer.push_back(BuildRecordHeaderFrame(record));
        for (const StoredEvent& event : record.events) {
          answer.push_back(BuildRecordEventFrame(event));
        }
      }
      break;
    default:
      break;
  }
  return answer;
}

void Instrument::StoreRecord(StoredRecord record) { m_records.push_back(std::move(record)); }

bool Instrument::StoreEvent(const StoredEvent& event) {
  if (m_records.empty()) return false;
  m_records.back().events.push_back(event);
  return true;
}

StoredRecord DemoRecord() {
  StoredRecord record{.year = 24, .month = 3, .day = 5, .hour = 9, .minute = 7, .events = {}};
  record.events.push_back({.number = 0,
                           .distance = 0,
                           .loss = 0.0f,
                           .reflectance = -52.3f,
                           .totalLoss = 0.0f,
                           .type = kReflectiveEventType});
  record.events.push_back({.number = 1,
                           .distance = 1250,
                           .loss = 0.18f,
                           .reflectance = 0.0f,
                           .totalLoss = 0.62f,
                           .type = kLossEventType});
  record.events.push_back({.number = 2,
                           .distance = 4020,
                           .loss = 0.35f,
                           .reflectance = -48.7f,
                           .totalLoss = 1.71f,
                           .type = kReflectiveEventType});
  return record;
}

}  // namespace orvana::sim
