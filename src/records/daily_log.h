#pragma once

#include <sys/types.h>

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "common/clock.h"
#include "records/regular_file.h"

// The daily result log: one text file per local date in one folder, one line
// per recorded result, appended across program runs. It is the lasting record
// of a day's work, so a line is never dropped: one that cannot be written now
// is kept and written, in order, as soon as writing works again.
namespace orvana::records {

// Ends every stored line. Files written by earlier versions end their lines
// the same way, so old and new files read alike.
inline constexpr std::string_view kLogLineEnd = "\r\r\n";
// Between the fields of a line.
inline constexpr std::string_view kFieldSeparator = "   ";

// The six fields joined by the separator, without the line end.
std::string FormatLogLine(const std::string& serial, const std::array<std::string, 4>& texts,
                          const std::string& timeText);

// "<folder>/YYYYMMDD.txt" for the date of `date`.
std::string LogFilePath(const std::string& folder, const common::LocalTime& date);

class DailyLog {
 public:
  // The folder is created, with its parents, when a line is written and it is
  // missing.
  explicit DailyLog(std::string folder);
  // Writes what is still pending once more, and flushes to the disk.
  ~DailyLog();
  DailyLog(const DailyLog&) = delete;
  DailyLog& operator=(const DailyLog&) = delete;

  // Appends one line to the file of `when`'s date. Never fails: a line that
  // cannot be written is traced and kept for the next attempt. One object is
  // meant for one thread; separate objects (and other programs) may write the
  // same file at once without tearing each other's lines.
  void Append(const common::LocalTime& when, const std::string& serial,
              const std::array<std::string, 4>& texts, const std::string& timeText);

  // Lines not yet in their file.
  size_t PendingLines() const;
  // How often a line has woken the background flusher, for tests and
  // diagnostics.
  size_t FlusherWakeups() const;
  const std::string& Folder() const { return folder_; }

 private:
  using SteadyClock = std::chrono::steady_clock;
  struct PendingLine {
    std::string path;
    std::string bytes;
  };

  // All of these expect mutex_ held.
  void DrainPending(bool traceFailures);
  bool WriteLine(const PendingLine& line, bool traceFailures);
  bool OpenFor(const std::string& path, RegularFile& failure);
  void CloseFile();

  void FlusherLoop();

  const std::string folder_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<PendingLine> pending_;
  int fd_ = -1;
  std::string fdPath_;
  dev_t fdDevice_ = 0;
  ino_t fdInode_ = 0;
  bool dirty_ = false;  // written since the last flush to the disk
  bool stop_ = false;
  size_t flusherWakeups_ = 0;
  SteadyClock::time_point lastFlush_{};
  std::thread flusher_;
};

}  // namespace orvana::records
