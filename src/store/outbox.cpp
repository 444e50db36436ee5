#include "store/outbox.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string_view>

#include "common/trace.h"
#include "store/outbox_line.h"

namespace orvana::store {
namespace {

constexpr std::string_view kMarkExtension = ".sent";
// A mark is always this long (20 digits and LF), so rewriting it in place
// never leaves a longer old one's tail.
constexpr size_t kMarkSize = 21;
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
    const ssize_t n =
        ::pread(fd, bytes.data() + got, count - got, static_cast<off_t>(offset + got));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  bytes.resize(got);
  return bytes;
}

}  // namespace

OutboxWriter::FolderLock::FolderLock(const std::string& folder) {
  std::error_code ignored;
  std::filesystem::create_directories(folder, ignored);
  m_fd = ::open((folder + "/.writer").c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (m_fd >= 0 && ::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(m_fd);
    m_fd = -1;
  }
}

OutboxWriter::FolderLock::~FolderLock() {
  if (m_fd >= 0) ::close(m_fd);
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

std::vector<std::string> OutboxReader::Files() const {
  std::vector<std::string> names;
  std::unique_ptr<DIR, int (*)(DIR*)> folder(::opendir(m_folder.c_str()), ::closedir);
  if (!folder) return names;
  while (const dirent* entry = ::readdir(folder.get())) {
    if (IsOutboxName(entry->d_name)) names.emplace_back(entry->d_name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

uint64_t OutboxReader::Mark(const std::string& name, uint64_t size) {
  if (const auto known = m_marks.find(name); known != m_marks.end() && known->second <= size) {
    return known->second;
  }
  uint64_t mark = 0;
  const int fd = ::open((PathOf(name) + std::string(kMarkExtension)).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd >= 0) {
    const std::string text = ReadAt(fd, 0, kMarkSize + 1);
    ::close(fd);
    uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    // A mark that is not one we wrote, or that points past the file, is
    // ignored: the file is sent again from its start, and the database
    // keeps each result once.
    if (text.size() == kMarkSize && error == std::errc{} && end == text.data() + kMarkSize - 1 &&
        text.back() == '\n' && value <= size) {
      mark = value;
    } else {
      common::Trace("Outbox mark of %s unreadable, the file is sent again\n", name.c_str());
    }
  }
  m_marks[name] = mark;
  return mark;
}

OutboxReader::~OutboxReader() {
  for (const auto& [name, fd] : m_markFiles) ::close(fd);
}

OutboxBatch OutboxReader::Next(size_t most) {
  OutboxBatch batch;
  m_files = Files();
  for (const std::string& name : m_files) {
    if (batch.results.size() >= most) break;
    const int fd = ::open(PathOf(name).c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) continue;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
      ::close(fd);
      continue;
    }
    const uint64_t size = static_cast<uint64_t>(info.st_size);
    uint64_t offset = Mark(name, size);
    const uint64_t start = offset;
    while (offset < size && batch.results.size() < most) {
      const std::string block =
          ReadAt(fd, offset, static_cast<size_t>(std::min<uint64_t>(size - offset, kReadBlock)));
      size_t at = 0;
      while (batch.results.size() < most) {
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
    ::close(fd);
    if (offset != start) batch.marks.push_back({name, offset});
  }
  return batch;
}

void OutboxReader::Commit(const OutboxBatch& batch, bool writerIdle) {
  for (const OutboxMark& mark : batch.marks) {
    m_marks[mark.name] = mark.offset;
    const std::string path = PathOf(mark.name);
    const bool newest = !m_files.empty() && m_files.back() == mark.name;
    struct stat info {};
    if (!newest && writerIdle && ::stat(path.c_str(), &info) == 0 &&
        static_cast<uint64_t>(info.st_size) == mark.offset) {
      // A past day sent whole. The mark goes first: a crash in between
      // leaves a file without a mark, which is sent again, never a mark
      // without its file.
      ForgetMarkFile(mark.name);
      ::unlink((path + std::string(kMarkExtension)).c_str());
      ::unlink(path.c_str());
      m_marks.erase(mark.name);
      continue;
    }
    WriteMark(mark.name, mark.offset);
  }
}

void OutboxReader::WriteMark(const std::string& name, uint64_t offset) {
  auto file = m_markFiles.find(name);
  if (file == m_markFiles.end()) {
    const int fd = ::open((PathOf(name) + std::string(kMarkExtension)).c_str(),
                          O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
      common::Trace("Outbox mark of %s not written, its results may be sent again\n", name.c_str());
      return;
    }
    file = m_markFiles.emplace(name, fd).first;
  }
  char text[kMarkSize + 1];
  std::snprintf(text, sizeof text, "%020llu\n", static_cast<unsigned long long>(offset));
  if (::pwrite(file->second, text, kMarkSize, 0) != static_cast<ssize_t>(kMarkSize)) {
    common::Trace("Outbox mark of %s not written, its results may be sent again\n", name.c_str());
    ForgetMarkFile(name);
  }
}

void OutboxReader::ForgetMarkFile(const std::string& name) {
  if (const auto file = m_markFiles.find(name); file != m_markFiles.end()) {
    ::close(file->second);
    m_markFiles.erase(file);
  }
}

size_t OutboxReader::CountUnsent() {
  size_t count = 0;
  for (const std::string& name : Files()) {
    const int fd = ::open(PathOf(name).c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) continue;
    struct stat info {};
    if (::fstat(fd, &info) == 0) {
      const uint64_t size = static_cast<uint64_t>(info.st_size);
      bool inLine = false;
      for (uint64_t offset = Mark(name, size); offset < size;) {
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
    ::close(fd);
  }
  return count;
}

}  // namespace orvana::store
