#include "station/records_plan.h"

namespace orvana::station {

RecordsPlan::Step RecordsPlan::Next(bool connected, size_t recordFrames, Clock::time_point now) {
  if (recordFrames != m_recordFrames) {
    m_recordFrames = recordFrames;
    m_lastRecord = now;
  }
  if (!connected) return Step::None;
  if (m_uploadPending) {
    m_uploadPending = false;
    m_lastRecord = now;
    return Step::Upload;
  }
  if (m_erasePending && (!m_upload || now - m_lastRecord >= kQuietBeforeErase)) {
    m_erasePending = false;
    return Step::Erase;
  }
  return Step::None;
}

RecordsPlan::Clock::time_point RecordsPlan::DueAt(bool connected) const {
  // Becoming connected is a frame from the meter, which wakes its reader
  // anyway; only the quiet after the upload's last record needs a time.
  if (!connected || !m_erasePending || m_uploadPending) return Clock::time_point::max();
  return m_lastRecord + kQuietBeforeErase;
}

const char* RecordsPlan::EraseNotSentReason(bool connected) const {
  if (!m_erasePending) return nullptr;
  return connected ? "the upload's records were still arriving" : "the meter never answered";
}

}  // namespace orvana::station
