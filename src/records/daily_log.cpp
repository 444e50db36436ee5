#include "records/daily_log.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/trace.h"
#include "common/utf8.h"
#include "platform/file_info.h"
#include "platform/file_io.h"
#include "platform/file_names.h"
#include "platform/files.h"
#include "platform/folders.h"
#include "platform/open_file.h"
#include "platform/user_folders.h"
#include "records/regular_file.h"

namespace orvana::records {
namespace {

using namespace std::chrono_literals;

// Data reaches the disk within about this long, and the disk is asked at most
// this often, so a burst of results is not throttled by the drive.
constexpr auto kFlushInterval = 1s;
// How long a line waits for another writer to release the file before it is
// kept for later instead.
constexpr auto kLockWait = 500ms;
constexpr auto kLockPoll = 5ms;

void TraceFailure(const std::string& path, const RegularFile& failure) {
  if (failure.notRegular) {
    common::Trace("Can't open file %s: not a regular file, the line is kept\n", path.c_str());
  } else {
    common::Trace("Can't open file %s,error=%u\n", path.c_str(),
                  static_cast<unsigned>(failure.error));
  }
}

// Creates the folder and any missing parents. Returns 0, or the errno of the
// part that could not be made: that, not the ENOENT of the file's open, is
// why the line cannot be written (a folder we may not write into, say).
int CreateFolders(const std::string& folder, unsigned mode) {
  return platform::MakeFolders(folder, mode);
}

bool LockExclusive(int fd) {
  const auto deadline = std::chrono::steady_clock::now() + kLockWait;
  while (true) {
    if (platform::TryLockFile(fd, platform::LockKind::Exclusive)) return true;
    if (errno == EINTR) continue;
    if (errno != EWOULDBLOCK) return false;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(kLockPoll);
  }
}

// One write of the whole line; a part-written line is cut off again so the
// file never holds half a line. Expects the exclusive lock held, so the bytes
// at the end of the file past what was there are this write's.
bool WriteWhole(int fd, const std::string& bytes, int& error) {
  const long long written = platform::WriteSome(fd, bytes.data(), bytes.size());
  if (written == static_cast<long long>(bytes.size())) return true;
  // A regular file takes part of a line only when it cannot take more.
  error = written < 0 ? errno : ENOSPC;
  if (written > 0) {
    platform::FileInfo after;
    if (!platform::InfoOf(fd, after)) {
      error = errno;
    } else if (const int cut = platform::TruncateFile(fd, after.size - static_cast<uint64_t>(written));
               cut != 0) {
      error = cut;
    }
  }
  return false;
}

// A folder for lines the day's file could not take: created when missing
// (private, as the lines may name parts and orders), and taken only when it is
// a real folder of ours, never a link someone left in a shared /tmp.
bool UsableUnsavedFolder(const std::string& folder) {
  if (CreateFolders(folder, 0700) != 0) return false;
  return platform::IsOwnFolder(folder);
}

// Appends `bytes` as one write, under the lock other writers take, and syncs
// it; 0 or the errno of the failure.
int AppendWhole(const std::string& path, const std::string& bytes) {
  platform::OpenOptions options;
  options.noFollow = true;
  options.mode = 0600;
  const RegularFile file = OpenRegularFile(path, platform::OpenMode::Append, options);
  if (!file.Opened()) return file.notRegular ? EINVAL : file.error;
  int error = 0;
  if (!LockExclusive(file.fd)) {
    error = errno;
  } else {
    if (WriteWhole(file.fd, bytes, error)) error = platform::SyncFileData(file.fd);
    platform::UnlockFile(file.fd);
  }
  platform::CloseFile(file.fd);
  return error;
}

// Events the log's user has not taken yet are kept up to this many; a user
// that never looks must not make the log grow without end.
constexpr size_t kMostKeptEvents = 256;

// Lines written since the file was last confirmed to be the day's are kept
// up to this many; a flood confirms it sooner, so memory stays bounded.
constexpr size_t kMostUnconfirmed = 4096;

}  // namespace

std::vector<std::string> UnsavedLineFolders() {
  std::vector<std::string> folders;
  if (const std::string data = platform::UserDataFolder(); !data.empty()) {
    folders.push_back(data + "/unsaved");
  }
  if (std::string temporary = platform::PrivateTemporaryFolder("orvana-unsaved");
      !temporary.empty()) {
    folders.push_back(std::move(temporary));
  }
  return folders;
}

DailyLog::DailyLog(std::string folder, std::string extension)
    : m_folder(std::move(folder)), m_extension(std::move(extension)) {
  m_flusher = std::thread([this] { FlusherLoop(); });
}

DailyLog::~DailyLog() {
  {
    std::lock_guard lock(m_mutex);
    m_stop = true;
  }
  m_wake.notify_all();
  m_flusher.join();
  std::lock_guard lock(m_mutex);
  ConfirmFile();
  DrainPending(true);
  for (const PendingLine& line : m_pending) {
    const size_t end = line.bytes.find_last_not_of("\r\n");
    common::Trace("Daily log line lost for %s: %s\n", line.path.c_str(),
                  line.bytes.substr(0, end == std::string::npos ? 0 : end + 1).c_str());
  }
  CloseFile();
}

void DailyLog::Append(const common::LocalTime& when, const std::string& serial,
                      const std::array<std::string, 4>& texts, const std::string& timeText) {
  std::string bytes = FormatLogLine(serial, texts, timeText);
  bytes += kLogLineEnd;
  AppendLine(when, std::move(bytes));
}

void DailyLog::AppendLine(const common::LocalTime& when, std::string bytes) {
  PendingLine line{LogFilePath(m_folder, when, m_extension), std::move(bytes)};
  bool wake = false;
  std::function<void()> signal;
  {
    std::lock_guard lock(m_mutex);
    // The flusher sleeps without a deadline only while there is nothing to
    // flush or retry; otherwise it already wakes at its next flush time, so
    // it is woken only when this line gives it work it did not have.
    const bool flusherIdle = !m_dirty && m_pending.empty();
    m_pending.push_back(std::move(line));
    DrainPending(true);
    wake = flusherIdle && (m_dirty || !m_pending.empty());
    if (wake) ++m_flusherWakeups;
    signal = SignalDue();
  }
  if (wake) m_wake.notify_all();
  if (signal) signal();
}

size_t DailyLog::FlusherWakeups() const {
  std::lock_guard lock(m_mutex);
  return m_flusherWakeups;
}

void DailyLog::SetSoleWriter() {
  std::lock_guard lock(m_mutex);
  m_soleWriter = true;
}

size_t DailyLog::PendingLines() const {
  std::lock_guard lock(m_mutex);
  return m_pending.size();
}

void DailyLog::SetEventSignal(std::function<void()> signal) {
  std::lock_guard lock(m_mutex);
  m_signal = std::move(signal);
}

std::vector<LogEvent> DailyLog::TakeEvents() {
  std::lock_guard lock(m_mutex);
  std::vector<LogEvent> events;
  events.swap(m_events);
  return events;
}

SaveResult DailyLog::SavePending(std::vector<std::string> folders) {
  if (folders.empty()) folders = UnsavedLineFolders();
  SaveResult result;
  std::function<void()> signal;
  {
    std::lock_guard lock(m_mutex);
    ConfirmFile();
    DrainPending(true);
    struct UnsavedFile {
      std::string path;
      std::string bytes;
      size_t lines = 0;
      bool written = false;
    };
    for (const std::string& folder : folders) {
      if (m_pending.empty()) break;
      if (!UsableUnsavedFolder(folder)) {
        common::Trace("Cannot keep unsaved log lines in %s\n", folder.c_str());
        continue;
      }
      // A day's lines go into one file of the day's name, in the order they
      // were kept, so they can be appended to the day's log as they are.
      std::vector<UnsavedFile> files;
      std::vector<size_t> fileOf;
      fileOf.reserve(m_pending.size());
      for (const PendingLine& line : m_pending) {
        const size_t slash = line.path.rfind('/');
        const std::string path =
            folder + "/" + (slash == std::string::npos ? line.path : line.path.substr(slash + 1));
        size_t index = 0;
        while (index < files.size() && files[index].path != path) ++index;
        if (index == files.size()) files.push_back({path, {}, 0, false});
        files[index].bytes += line.bytes;
        ++files[index].lines;
        fileOf.push_back(index);
      }
      for (UnsavedFile& file : files) {
        const int error = AppendWhole(file.path, file.bytes);
        file.written = error == 0;
        if (file.written) {
          common::Trace("%zu daily log lines saved in %s\n", file.lines, file.path.c_str());
          result.saved.push_back({file.path, file.lines});
        } else {
          common::Trace("Can't open file %s,error=%u\n", file.path.c_str(),
                        static_cast<unsigned>(error));
        }
      }
      std::deque<PendingLine> left;
      for (size_t i = 0; i < m_pending.size(); ++i) {
        if (!files[fileOf[i]].written) left.push_back(std::move(m_pending[i]));
      }
      m_pending = std::move(left);
    }
    result.lost = m_pending.size();
    signal = SignalDue();
  }
  if (signal) signal();
  return result;
}

void DailyLog::DrainPending(bool traceFailures) {
  while (!m_pending.empty()) {
    // Before another day's file, or once many lines wait for it, the open
    // file is confirmed; lines it takes back come first.
    if (m_fd >= 0 &&
        (m_pending.front().path != m_fdPath || m_unconfirmed.size() >= kMostUnconfirmed)) {
      ConfirmFile();
      if (m_pending.front().path != m_fdPath) CloseFile();
      continue;
    }
    if (!WriteLine(m_pending.front(), traceFailures)) return;
    m_pending.pop_front();
  }
  if (m_failing) {
    m_failing = false;
    LogEvent recovered;
    recovered.kind = LogEvent::Kind::Recovered;
    QueueEvent(std::move(recovered));
  }
}

void DailyLog::QueueEvent(LogEvent event) {
  if (m_events.size() >= kMostKeptEvents) m_events.erase(m_events.begin());
  m_events.push_back(std::move(event));
  m_signalDue = true;
}

std::function<void()> DailyLog::SignalDue() {
  if (!m_signalDue) return {};
  m_signalDue = false;
  return m_signal;
}

bool DailyLog::WriteLine(PendingLine& line, bool traceFailures) {
  RegularFile failure;
  bool written = false;
  if (OpenFor(line.path, failure)) {
    if (m_soleWriter) {
      written = WriteWhole(m_fd, line.bytes, failure.error);
    } else if (!LockExclusive(m_fd)) {
      failure.error = errno;
    } else {
      written = WriteWhole(m_fd, line.bytes, failure.error);
      platform::UnlockFile(m_fd);
    }
  }
  if (written) {
    m_dirty = true;
    m_unconfirmed.push_back(std::move(line.bytes));
    return true;
  }
  if (traceFailures) TraceFailure(line.path, failure);
  if (!m_failing) {
    m_failing = true;
    LogEvent failing;
    failing.kind = LogEvent::Kind::Failing;
    failing.path = line.path;
    failing.reason = failure.Reason();
    failing.error = failure.notRegular ? 0 : failure.error;
    failing.pending = m_pending.size();
    QueueEvent(std::move(failing));
  }
  return false;
}

void DailyLog::ConfirmFile() {
  if (m_fd < 0) {
    m_unconfirmed.clear();
    return;
  }
  platform::FileInfo named;
  if (platform::InfoAt(m_fdPath, named) && platform::SameFile(named, m_fdFile)) {
    m_unconfirmed.clear();
    return;
  }
  // Someone else moved, deleted or replaced the day's file. Lines in a file
  // that no name reaches any more are lost unless written again.
  platform::FileInfo opened;
  const bool gone = platform::InfoOf(m_fd, opened) && opened.links == 0;
  common::Trace("Daily log %s was %s by someone else; the next line makes it anew\n",
                m_fdPath.c_str(), gone ? "deleted" : "moved");
  const std::string path = m_fdPath;
  std::deque<std::string> lines = std::move(m_unconfirmed);
  m_unconfirmed.clear();
  if (gone) m_dirty = false;  // nothing there is worth a sync
  CloseFile();
  if (!gone) return;
  for (auto line = lines.rbegin(); line != lines.rend(); ++line) {
    m_pending.push_front({path, std::move(*line)});
  }
}

bool DailyLog::OpenFor(const std::string& path, RegularFile& failure) {
  // The open file stays the day's until ConfirmFile finds otherwise: no
  // system call per line to look for someone else's move.
  if (m_fd >= 0 && m_fdPath == path) return true;
  CloseFile();
  // Only a regular file takes our lines: a FIFO or a device under the day's
  // name would block the open or swallow the line.
  constexpr platform::OpenMode kFlags = platform::OpenMode::Append;
  RegularFile file = OpenRegularFile(path, kFlags);
  if (!file.Opened() && file.error == ENOENT) {
    if (const int error = CreateFolders(m_folder, 0777); error != 0) {
      failure = RegularFile{};
      failure.error = error;
      return false;
    }
    file = OpenRegularFile(path, kFlags);
  }
  if (!file.Opened()) {
    failure = file;
    return false;
  }
  const int fd = file.fd;
  platform::FileInfo opened;
  if (!platform::InfoOf(fd, opened)) {
    failure.error = errno;
    platform::CloseFile(fd);
    return false;
  }
  m_fd = fd;
  m_fdPath = path;
  m_fdFile = opened;
  return true;
}

void DailyLog::CloseFile() {
  m_unconfirmed.clear();
  if (m_fd < 0) return;
  if (m_dirty) platform::SyncFileData(m_fd);
  m_dirty = false;
  platform::CloseFile(m_fd);
  m_fd = -1;
  m_fdPath.clear();
}

void DailyLog::FlusherLoop() {
  std::unique_lock lock(m_mutex);
  while (!m_stop) {
    if (!m_dirty && m_pending.empty()) {
      m_wake.wait(lock, [this] { return m_stop || m_dirty || !m_pending.empty(); });
      continue;
    }
    if (m_wake.wait_until(lock, m_lastFlush + kFlushInterval, [this] { return m_stop; })) break;
    m_lastFlush = SteadyClock::now();
    ConfirmFile();
    // Lines kept after a failure go out without waiting for the next result;
    // their failure was traced when they were first tried.
    DrainPending(false);
    if (auto signal = SignalDue()) {
      lock.unlock();
      signal();
      lock.lock();
    }
    if (!m_dirty || m_fd < 0) continue;
    // Syncing a duplicate outside the lock keeps the writer from waiting on
    // the disk.
    const int copy = platform::DuplicateFile(m_fd);
    if (copy < 0) continue;
    m_dirty = false;
    lock.unlock();
    platform::SyncFileData(copy);
    platform::CloseFile(copy);
    lock.lock();
  }
}

}  // namespace orvana::records
