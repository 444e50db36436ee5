#pragma once

#include <chrono>
#include <cstddef>

// What a run asked of the meter's stored records: an upload, an erase, or
// both. With both, the erase waits until the upload's records have stopped
// arriving for a while: its purge would cut the records short.
// The results the meter sends meanwhile do not count as the upload's.
namespace orvana::station {

class RecordsPlan {
 public:
  using Clock = std::chrono::steady_clock;
  // How long the upload's records must have stopped before the erase.
  static constexpr auto kQuietBeforeErase = std::chrono::milliseconds(1000);

  enum class Step { None, Upload, Erase };

  RecordsPlan() = default;
  RecordsPlan(bool upload, bool erase)
      : m_uploadPending(upload), m_erasePending(erase), m_upload(upload), m_erase(erase) {}

  // The step due now. `recordFrames` counts the frames of an upload's answer
  // handled so far; nothing is due while the meter is not connected.
  Step Next(bool connected, size_t recordFrames, Clock::time_point now);
  // When Next should be asked again at the latest: the end of the quiet an
  // erase waits for; time_point::max() when nothing waits.
  Clock::time_point DueAt(bool connected) const;

  bool EraseWanted() const { return m_erase; }
  // Why an erase that was asked for has not been sent, when it has not.
  // Null once it has been sent (whether the meter confirmed it is the
  // station's to say).
  const char* EraseNotSentReason(bool connected) const;

 private:
  bool m_uploadPending = false;
  bool m_erasePending = false;
  bool m_upload = false;
  bool m_erase = false;
  size_t m_recordFrames = 0;
  Clock::time_point m_lastRecord{};
};

}  // namespace orvana::station
