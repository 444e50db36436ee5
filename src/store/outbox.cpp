#include "store/outbox.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <memory>
#include <optional>
#include <string_view>

#include "common/trace.h"
#include "platform/file_info.h"
#include "platform/file_io.h"
#include "platform/file_names.h"
#include "platform/files.h"
#include "platform/folders.h"
#include "platform/open_file.h"
#include "store/outbox_line.h"

namespace orvana::store {
namespace {

// The outbox's own files: never through a link someone put in their place.
int OpenOwn(const std::string& path, platform::OpenMode mode) {
  platform::OpenOptions options;
  options.noFollow = true;
  options.mode = 0600;
  return platform::OpenFile(path, mode, options);
}

// A regular file, open as `fd`: its size, or nothing.
std::optional<uint64_t> RegularSize(int fd) {
  platform::FileInfo info;
  if (!platform::InfoOf(fd, info) || info.kind != platform::FileKind::Regular) return std::nullopt;
  return info.size;
}

constexpr std::string_view kMarkExtension = ".sent";
// A mark is always this long (20 digits of offset, a space, 16 hex digits of
// fingerprint and LF), so rewriting it in place never leaves a longer old
// one's tail. Marks of other lengths (an older version's) are not trusted.
constexpr size_t kMarkSize = 38;
// The fingerprint covers this much before the offset: more than a whole
// outbox line's check field, so two different files agree on it only where
// they hold the same results.
constexpr size_t kFingerprintSpan = 64;
// How much of a file is read at once; far more than the longest line.
constexpr size_t kReadBlock = 1 << 20;

bool EndsWith(std::string_view text, std::string_view end) {
  return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

bool IsOutboxName(std::string_view name) {
  const std::string_view extension = kOutboxExtension;
  if (!EndsWith(name, extension) || name.size() != 8 + extension.size()) return false;
  return std::all_of(name.begin(), name.begin() + 8, [](char c) { return c >= '0' && c <= '9'; });
}

// A crash can leave NUL bytes where a line was being written; the lines
// after it are whole. Like the day log's reader, a NUL ends a line too.
bool IsLineEnd(char c) { return c == '\n' || c == '\0'; }

std::string ReadAt(int fd, uint64_t offset, size_t count) {
  std::string bytes(count, '\0');
  size_t got = 0;
  while (got < count) {
    const long long n = platform::ReadFileAt(fd, bytes.data() + got, count - got, offset + got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  bytes.resize(got);
  return bytes;
}

// FNV-1a over the bytes of `fd` just before `offset`; the basis alone at 0.
uint64_t Fingerprint(int fd, uint64_t offset) {
  const uint64_t span = std::min<uint64_t>(offset, kFingerprintSpan);
  const std::string bytes = ReadAt(fd, offset - span, static_cast<size_t>(span));
  uint64_t hash = 14695981039346656037ull;
  for (const char c : bytes) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 1099511628211ull;
  }
  // A short read (the file shrank meanwhile) must not match.
  return bytes.size() == span ? hash : ~hash;
}

}  // namespace

OutboxWriter::FolderLock::FolderLock(const std::string& folder) {
  platform::MakeFolders(folder, 0777);
  m_fd = OpenOwn(folder + "/.writer", platform::OpenMode::ReadWrite);
  if (m_fd >= 0 && !platform::TryLockFile(m_fd, platform::LockKind::Exclusive)) {
    platform::CloseFile(m_fd);
    m_fd = -1;
  }
}

OutboxWriter::FolderLock::~FolderLock() {
  if (m_fd >= 0) platform::CloseFile(m_fd);
}

OutboxWriter::OutboxWriter(const std::string& folder)
    : m_lock(folder), m_log(folder, kOutboxExtension) {
  if (m_lock.Held()) m_log.SetSoleWriter();
}

void OutboxWriter::Append(const common::LocalTime& when, const StoredResult& result) {
  std::string line = FormatOutboxLine(result);
  line += '\n';
  m_log.AppendLine(when, std::move(line));
}

void OutboxWriter::Append(const common::LocalTime& when, const UploadedEvent& event) {
  std::string line = FormatOutboxEventLine(event);
  line += '\n';
  m_log.AppendLine(when, std::move(line));
}

namespace {

std::vector<std::string> OutboxNamesIn(const std::string& folderPath) {
  std::vector<std::string> names;
  const auto entries = platform::ListFolder(folderPath);
  if (!entries) return names;
  for (const platform::FolderEntry& entry : *entries) {
    if (IsOutboxName(entry.name)) names.push_back(entry.name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

std::vector<std::string> OutboxFilesIn(const std::string& folder) {
  // A folder of ours only, never a link someone put in its place.
  if (!platform::IsOwnFolder(folder)) return {};
  std::vector<std::string> paths = OutboxNamesIn(folder);
  for (std::string& name : paths) name = folder + "/" + name;
  return paths;
}

common::LocalTime DayOfOutboxFile(const std::string& path) {
  const size_t slash = path.rfind('/');
  const std::string_view name =
      std::string_view(path).substr(slash == std::string::npos ? 0 : slash + 1);
  const auto number = [&](size_t at, size_t count) {
    int value = 0;
    std::from_chars(name.data() + at, name.data() + at + count, value);
    return value;
  };
  if (!IsOutboxName(name)) return {};
  return {number(0, 4), number(4, 2), number(6, 2), 0, 0, 0};
}

bool ReadOutboxLines(const std::string& path, std::vector<std::string>& lines) {
  platform::OpenOptions options;
  options.noFollow = true;
  options.noWait = true;
  const int fd = platform::OpenFile(path, platform::OpenMode::Read, options);
  if (fd < 0) return false;
  platform::FileInfo info;
  // Only a file of ours: in a shared /tmp someone else could leave one to
  // have their lines sent as this bench's.
  const bool regular =
      platform::InfoOf(fd, info) && info.kind == platform::FileKind::Regular && info.ours;
  const std::string bytes = regular ? ReadAt(fd, 0, static_cast<size_t>(info.size)) : "";
  platform::CloseFile(fd);
  lines.clear();
  for (size_t at = 0; at < bytes.size();) {
    const size_t end = std::min(bytes.find('\n', at), bytes.size());
    if (end > at) lines.push_back(bytes.substr(at, end - at));
    at = end + 1;
  }
  return regular;
}

std::vector<std::string> OutboxReader::Files() const { return OutboxNamesIn(m_folder); }

std::optional<OutboxReader::Position> OutboxReader::ReadMarkFile(const std::string& name) const {
  const int fd =
      platform::OpenFile(PathOf(name) + std::string(kMarkExtension), platform::OpenMode::Read);
  if (fd < 0) return std::nullopt;
  const std::string text = ReadAt(fd, 0, kMarkSize + 1);
  platform::CloseFile(fd);
  Position position;
  const char* const end = text.data() + text.size();
  const auto offset = std::from_chars(text.data(), end, position.offset);
  if (text.size() != kMarkSize || offset.ec != std::errc{} || offset.ptr != text.data() + 20 ||
      text[20] != ' ' || text.back() != '\n') {
    common::Trace("Outbox mark of %s unreadable, the file is sent again\n", name.c_str());
    return std::nullopt;
  }
  const auto fingerprint = std::from_chars(text.data() + 21, end, position.fingerprint, 16);
  if (fingerprint.ec != std::errc{} || fingerprint.ptr != end - 1) return std::nullopt;
  return position;
}

uint64_t OutboxReader::Mark(const std::string& name, int fd, uint64_t size) {
  std::optional<Position> position;
  if (const auto known = m_marks.find(name); known != m_marks.end()) {
    position = known->second;
  } else {
    position = ReadMarkFile(name);
  }
  // A mark past the end, or over bytes that are not the ones it was taken
  // after, belongs to another file of that name: this one is sent whole.
  if (position && position->offset > 0 &&
      (position->offset > size || Fingerprint(fd, position->offset) != position->fingerprint)) {
    common::Trace("Outbox %s changed under its mark, sent again from its start\n", name.c_str());
    m_changed.push_back(PathOf(name));
    position.reset();
  }
  if (!position) position = Position{0, Fingerprint(fd, 0)};
  m_marks[name] = *position;
  return position->offset;
}

std::vector<std::string> OutboxReader::TakeChangedFiles() {
  std::vector<std::string> changed;
  changed.swap(m_changed);
  return changed;
}

OutboxReader::~OutboxReader() {
  for (const auto& [name, fd] : m_markFiles) platform::CloseFile(fd);
}

OutboxBatch OutboxReader::Next(size_t most) {
  OutboxBatch batch;
  m_files = Files();
  for (const std::string& name : m_files) {
    if (batch.Size() >= most) break;
    const int fd = OpenOwn(PathOf(name), platform::OpenMode::Read);
    if (fd < 0) continue;
    const std::optional<uint64_t> regularSize = RegularSize(fd);
    if (!regularSize) {
      platform::CloseFile(fd);
      continue;
    }
    const uint64_t size = *regularSize;
    uint64_t offset = Mark(name, fd, size);
    const uint64_t start = offset;
    while (offset < size && batch.Size() < most) {
      const std::string block =
          ReadAt(fd, offset, static_cast<size_t>(std::min<uint64_t>(size - offset, kReadBlock)));
      size_t at = 0;
      while (batch.Size() < most) {
        const auto end =
            std::find_if(block.begin() + static_cast<long>(at), block.end(), IsLineEnd);
        if (end == block.end()) break;  // the rest is still being written
        const size_t lineEnd = static_cast<size_t>(end - block.begin());
        const std::string_view line(block.data() + at, lineEnd - at);
        at = lineEnd + 1;
        if (line.empty()) continue;
        if (auto result = ParseOutboxLine(line)) {
          batch.results.push_back(std::move(*result));
          batch.lines.emplace_back(line);
        } else if (auto event = ParseOutboxEventLine(line)) {
          batch.events.push_back(std::move(*event));
          batch.eventLines.emplace_back(line);
        } else {
          batch.malformed.emplace_back(line);
        }
      }
      if (at == 0) {
        // A whole block without a line end is no line we wrote.
        if (block.size() < kReadBlock) break;
        batch.malformed.emplace_back("(a block without a line end)");
        at = block.size();
      }
      offset += at;
      if (block.size() < kReadBlock && at < block.size()) break;
    }
    if (offset != start) batch.marks.push_back({name, offset, Fingerprint(fd, offset)});
    platform::CloseFile(fd);
  }
  return batch;
}

void OutboxReader::Commit(const OutboxBatch& batch, bool writerIdle) {
  for (const OutboxMark& mark : batch.marks) {
    const Position position{mark.offset, mark.fingerprint};
    m_marks[mark.name] = position;
    const std::string path = PathOf(mark.name);
    const bool newest = !m_files.empty() && m_files.back() == mark.name;
    if (!newest && writerIdle && SentWhole(path, position)) {
      // A past day sent whole. The mark goes first: a crash in between
      // leaves a file without a mark, which is sent again, never a mark
      // without its file.
      ForgetMarkFile(mark.name);
      platform::RemoveFile(path + std::string(kMarkExtension));
      platform::RemoveFile(path);
      m_marks.erase(mark.name);
      continue;
    }
    WriteMark(mark.name, position);
  }
}

bool OutboxReader::SentWhole(const std::string& path, const Position& position) {
  const int fd = OpenOwn(path, platform::OpenMode::Read);
  if (fd < 0) return false;
  platform::FileInfo info;
  const bool whole = platform::InfoOf(fd, info) && info.size == position.offset &&
                     Fingerprint(fd, position.offset) == position.fingerprint;
  platform::CloseFile(fd);
  return whole;
}

void OutboxReader::WriteMark(const std::string& name, const Position& position) {
  auto file = m_markFiles.find(name);
  if (file == m_markFiles.end()) {
    const int fd = OpenOwn(PathOf(name) + std::string(kMarkExtension), platform::OpenMode::Write);
    if (fd < 0) {
      common::Trace("Outbox mark of %s not written, its results may be sent again\n", name.c_str());
      return;
    }
    file = m_markFiles.emplace(name, fd).first;
  }
  char text[kMarkSize + 1];
  std::snprintf(text, sizeof text, "%020llu %016llx\n",
                static_cast<unsigned long long>(position.offset),
                static_cast<unsigned long long>(position.fingerprint));
  if (platform::WriteFileAt(file->second, text, kMarkSize, 0) !=
      static_cast<long long>(kMarkSize)) {
    common::Trace("Outbox mark of %s not written, its results may be sent again\n", name.c_str());
    ForgetMarkFile(name);
  }
}

void OutboxReader::ForgetMarkFile(const std::string& name) {
  if (const auto file = m_markFiles.find(name); file != m_markFiles.end()) {
    platform::CloseFile(file->second);
    m_markFiles.erase(file);
  }
}

size_t OutboxReader::CountUnsent() {
  size_t count = 0;
  for (const std::string& name : Files()) {
    const int fd = OpenOwn(PathOf(name), platform::OpenMode::Read);
    if (fd < 0) continue;
    platform::FileInfo info;
    if (platform::InfoOf(fd, info)) {
      const uint64_t size = info.size;
      bool inLine = false;
      for (uint64_t offset = Mark(name, fd, size); offset < size;) {
        const std::string block =
            ReadAt(fd, offset, static_cast<size_t>(std::min<uint64_t>(size - offset, kReadBlock)));
        if (block.empty()) break;
        for (const char c : block) {
          if (IsLineEnd(c)) {
            if (inLine) ++count;
            inLine = false;
          } else {
            inLine = true;
          }
        }
        offset += block.size();
      }
    }
    platform::CloseFile(fd);
  }
  return count;
}

}  // namespace orvana::store
