#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "common/clock.h"
#include "platform/file_info.h"
#include "records/log_line.h"
#include "records/regular_file.h"

// The daily result log: one text file per local date in one folder, one line
// per recorded result, appended across program runs. It is the lasting record
// of a day's work, so a line is never dropped: one that cannot be written now
// is kept and written, in order, as soon as writing works again.
namespace orvana::records {

// What the log's user (the station) learns about its health. A failure episode
// begins with the first line that cannot be written and ends when every kept
// line is in its file again; each is told once, in the order it happened.
struct LogEvent {
  enum class Kind { Failing, Recovered };
  Kind kind = Kind::Failing;
  // Failing: the file that could not be written, and why in the system's
  // words ("Permission denied", "not a regular file").
  std::string path;
  std::string reason;
  int error = 0;       // Failing: the errno behind `reason`, 0 for "not a regular file"
  size_t pending = 0;  // lines kept in memory at that moment
};

// Where kept lines went at the end of a run.
struct SavedLines {
  std::string path;  // a file of the day's name in a folder of unsaved lines
  size_t lines = 0;
};
struct SaveResult {
  std::vector<SavedLines> saved;  // in the order the lines were kept
  size_t lost = 0;                // lines that could be written nowhere
};

// The folders that take lines the day's file could not, best first:
// $XDG_DATA_HOME/orvana/unsaved (when that is an absolute path), else
// ~/.local/share/orvana/unsaved; then /tmp/orvana-unsaved-UID (on Windows
// %LOCALAPPDATA%\Orvana\unsaved, then %TEMP%\orvana-unsaved).
std::vector<std::string> UnsavedLineFolders();

class DailyLog {
 public:
  // The folder is created, with its parents, when a line is written and it is
  // missing. The day's files are named YYYYMMDD with `extension`.
  explicit DailyLog(std::string folder, std::string extension = ".txt");
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

  // The same for a line of another format: `bytes` is the whole line, its
  // end included. The store's outbox keeps its lines this way.
  void AppendLine(const common::LocalTime& when, std::string bytes);

  // Lines not yet in their file.
  size_t PendingLines() const;

  // No other writer can reach these files (the caller holds a lock on the
  // whole folder): lines then go without taking each file's lock.
  void SetSoleWriter();

  // Called, on whichever thread noticed (the one calling Append, or the
  // background flusher), each time an event is queued; it should only wake
  // the log's user, who then calls TakeEvents on its own thread. It must not call
  // back into the log. Set it before the first Append.
  void SetEventSignal(std::function<void()> signal);
  // The events queued since the last call, oldest first.
  std::vector<LogEvent> TakeEvents();

  // For the end of a run: tries the kept lines once more in their day's
  // files, and appends those that still cannot go there, in the same line
  // format, to files of the same name in the first of `folders` that takes
  // them (UnsavedLineFolders() when empty), so the user can be told where
  // they are. Lines that no folder takes stay kept and count as lost.
  SaveResult SavePending(std::vector<std::string> folders = {});
  // How often a line has woken the background flusher. A test needs it to
  // see the fault it guards against: a flusher woken for every line of a
  // burst (a disk asked to flush at the meter's pace).
  size_t FlusherWakeups() const;
  const std::string& Folder() const { return m_folder; }

 private:
  using SteadyClock = std::chrono::steady_clock;
  struct PendingLine {
    std::string path;
    std::string bytes;
  };

  // All of these expect m_mutex held.
  void DrainPending(bool traceFailures);
  // Moves the line's bytes into m_unconfirmed when it is written.
  bool WriteLine(PendingLine& line, bool traceFailures);
  // Whether the open file is still the one under its name, looked at about
  // once a second rather than for every line. A file deleted meanwhile
  // takes the lines written since the last look back in front of the kept
  // ones, so they go into the file made anew; a file moved away keeps them.
  // Either way the next line opens the file under the day's name again.
  void ConfirmFile();
  void QueueEvent(LogEvent event);
  // Takes the signal to call, once the lock is released, when events were
  // queued since the last call.
  std::function<void()> SignalDue();
  bool OpenFor(const std::string& path, RegularFile& failure);
  void CloseFile();

  void FlusherLoop();

  const std::string m_folder;
  const std::string m_extension;
  mutable std::mutex m_mutex;
  std::condition_variable m_wake;
  std::deque<PendingLine> m_pending;
  bool m_failing = false;  // within a failure episode
  std::vector<LogEvent> m_events;
  bool m_signalDue = false;
  std::function<void()> m_signal;
  int m_fd = -1;
  std::string m_fdPath;
  std::deque<std::string> m_unconfirmed;  // written to m_fd since the last ConfirmFile
  platform::FileInfo m_fdFile;  // which file m_fd is, to tell a replaced one
  bool m_dirty = false;  // written since the last flush to the disk
  bool m_soleWriter = false;
  bool m_stop = false;
  size_t m_flusherWakeups = 0;
  SteadyClock::time_point m_lastFlush{};
  std::thread m_flusher;
};

}  // namespace orvana::records
