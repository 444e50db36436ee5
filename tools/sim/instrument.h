#pragma once

#include <vector>

#include "sim/meter_frames.h"
#include "sim/wire_frame.h"

namespace orvana::sim {

// The meter's reaction to the program's commands and its record memory.
// Pure logic: the caller moves the bytes.
class Instrument {
 public:
  // Frames to send back for one well-formed frame from the program, in order.
  // The keep-alive and unknown codes get no answer.
  std::vector<Bytes> Answer(const Bytes& command);

  void StoreRecord(StoredRecord record);
  // Adds an event to the record stored last. Returns false when there is none.
  bool StoreEvent(const StoredEvent& event);
  const std::vector<StoredRecord>& Records() const { return m_records; }

 private:
  std::vector<StoredRecord> m_records;
};

// The record a demo meter has in memory: a few events of one trace.
StoredRecord DemoRecord();

}  // namespace orvana::sim
