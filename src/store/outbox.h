#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "common/clock.h"
#include "records/daily_log.h"
#include "store/stored_result.h"

// The bench's outbox: results the database does not have yet, on the bench's
// own disk, one file a day (YYYYMMDD.outbox) in one folder. It is written
// with the day log's discipline (one append per result, whole lines only, a
// line that cannot be written now kept and written later) and read by the
// forwarder, which marks in "YYYYMMDD.outbox.sent" how far the database has
// committed each file. A mark that is lost or behind only sends results
// again, which the database ignores; so the mark is written without waiting
// for the disk. A mark also holds a fingerprint of the bytes just before its
// offset, so it can only ever point into the file it was taken in: a file
// deleted and made again, truncated or replaced under the same name is read
// from its start (the database keeps the first copy of each result), and the
// reader says so, since what the old file held unsent is gone from it.
namespace orvana::store {

inline constexpr const char* kOutboxExtension = ".outbox";

class OutboxWriter {
 public:
  // Takes the folder for this process when no other has it, so its lines go
  // without a lock each (the day log takes one per line: anyone may write
  // there); otherwise shares it as the day log does.
  explicit OutboxWriter(const std::string& folder);

  // On the station's thread, for each recorded result.
  void Append(const common::LocalTime& when, const StoredResult& result);
  // The same for each event of an upload.
  void Append(const common::LocalTime& when, const UploadedEvent& event);
  // Results kept in memory because their file could not take them yet.
  size_t Unwritten() const { return m_log.PendingLines(); }
  records::DailyLog& Log() { return m_log; }
  // This process has the folder to itself.
  bool SoleWriter() const { return m_lock.Held(); }
  const std::string& Folder() const { return m_log.Folder(); }

 private:
  // Held for the writer's life; declared first, so it is let go only after
  // the log has written its last line.
  class FolderLock {
   public:
    explicit FolderLock(const std::string& folder);
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;
    bool Held() const { return m_fd >= 0; }

   private:
    int m_fd = -1;
  };

  FolderLock m_lock;
  records::DailyLog m_log;
};

// The outbox files ("YYYYMMDD.outbox") in `folder`, by path, oldest first;
// none unless the folder is a real one (no link) of this user's.
std::vector<std::string> OutboxFilesIn(const std::string& folder);
// The day an outbox file's name stands for.
common::LocalTime DayOfOutboxFile(const std::string& path);
// The lines (without their LF, empty ones left out) of a regular file of
// this user's (no link, FIFO or device); false when it cannot be read.
bool ReadOutboxLines(const std::string& path, std::vector<std::string>& lines);

// Where a file's reading stands after a batch.
struct OutboxMark {
  std::string name;  // the file's name in the folder
  uint64_t offset = 0;
  uint64_t fingerprint = 0;  // of the bytes before `offset`
};

struct OutboxBatch {
  std::vector<StoredResult> results;
  std::vector<std::string> lines;       // each result's line, for a result the database refuses
  std::vector<UploadedEvent> events;    // uploaded records' events
  std::vector<std::string> eventLines;  // each event's line
  std::vector<std::string> malformed;   // lines that are no result (torn, or written by hand)
  std::vector<OutboxMark> marks;        // one per file the batch read from

  size_t Size() const { return results.size() + events.size(); }
  bool Empty() const { return results.empty() && events.empty() && malformed.empty(); }
};

class OutboxReader {
 public:
  explicit OutboxReader(std::string folder) : m_folder(std::move(folder)) {}
  ~OutboxReader();
  OutboxReader(const OutboxReader&) = delete;
  OutboxReader& operator=(const OutboxReader&) = delete;

  // Up to `most` results and events that are not yet committed, the oldest day first,
  // from where the last Commit left each file. Only whole lines are read.
  OutboxBatch Next(size_t most);
  // The database has committed `batch` (the last one Next gave): each
  // file's mark moves past it. A file that is then sent whole and is not the
  // newest goes, unless `writerIdle` is false (the writer may still have
  // lines for it).
  void Commit(const OutboxBatch& batch, bool writerIdle);
  // Results in the files past their marks.
  size_t CountUnsent();
  // The files found changed under their marks since the last call (deleted
  // and made again, truncated, replaced), by path.
  std::vector<std::string> TakeChangedFiles();

 private:
  std::vector<std::string> Files() const;
  struct Position {
    uint64_t offset = 0;
    uint64_t fingerprint = 0;
  };
  // Where reading file `name` (open as `fd`, `size` bytes) goes on.
  uint64_t Mark(const std::string& name, int fd, uint64_t size);
  std::optional<Position> ReadMarkFile(const std::string& name) const;
  void WriteMark(const std::string& name, const Position& position);
  // The file under `path` ends at `position` and is the one it was taken in.
  static bool SentWhole(const std::string& path, const Position& position);
  void ForgetMarkFile(const std::string& name);
  std::string PathOf(const std::string& name) const { return m_folder + "/" + name; }

  std::string m_folder;
  std::map<std::string, Position> m_marks;  // as last read or committed
  std::map<std::string, int> m_markFiles;   // kept open: a commit costs one write
  std::vector<std::string> m_files;         // as the last Next found them
  std::vector<std::string> m_changed;       // for TakeChangedFiles
};

}  // namespace orvana::store
