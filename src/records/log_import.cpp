#include "records/log_import.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "records/daily_log.h"

namespace orvana::records {
namespace {

using namespace std::chrono_literals;

// Serial, four values, time.
constexpr size_t kFieldCount = 6;
// Index of the first imported row in a table that holds rows: right after
// the wavelength row.
constexpr int kImportIndex = 1;

std::string_view DropTrailingCr(std::string_view line) {
  while (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

bool OnlyBlanks(std::string_view line) {
  return line.find_first_not_of(" \t") == std::string_view::npos;
}

size_t CountSeparators(std::string_view line) {
  size_t count = 0;
  for (size_t at = line.find(kFieldSeparator); at != std::string_view::npos;
       at = line.find(kFieldSeparator, at + kFieldSeparator.size())) {
    ++count;
  }
  return count;
}

std::vector<std::string> SplitFromRight(std::string_view line) {
  std::vector<std::string> fields(kFieldCount);
  // The value texts and the time never start or end with a space, so the
  // rightmost separator always ends the field before them; a serial with
  // spaces, even three in a row, stays whole on the left.
  for (size_t field = kFieldCount - 1; field > 0; --field) {
    const size_t at = line.rfind(kFieldSeparator);
    if (at == std::string_view::npos) break;  // callers count separators first
    fields[field] = std::string(line.substr(at + kFieldSeparator.size()));
    line = line.substr(0, at);
  }
  fields[0] = std::string(line);
  return fields;
}

std::vector<std::string> SplitFromLeft(std::string_view line) {
  std::vector<std::string> fields;
  while (true) {
    const size_t at = line.find(kFieldSeparator);
    fields.emplace_back(line.substr(0, at));
    if (at == std::string_view::npos) break;
    line = line.substr(at + kFieldSeparator.size());
  }
  return fields;
}

bool LockShared(int fd) {
  // Waits briefly for a writer to finish its line; reading without the lock
  // afterwards is still better than importing nothing.
  for (int attempt = 0; attempt < 100; ++attempt) {
    if (::flock(fd, LOCK_SH | LOCK_NB) == 0) return true;
    if (errno != EWOULDBLOCK && errno != EINTR) return false;
    std::this_thread::sleep_for(5ms);
  }
  return false;
}

}  // namespace

std::vector<std::string> SplitLine(std::string_view line) {
  line = DropTrailingCr(line);
  if (OnlyBlanks(line)) return {};
  if (CountSeparators(line) >= kFieldCount - 1) return SplitFromRight(line);
  return SplitFromLeft(line);
}

results::RowTexts FieldsToRow(std::vector<std::string> fields) {
  results::RowTexts row;
  const size_t count = std::min(fields.size(), row.size());
  for (size_t column = 0; column < count; ++column) row[column] = std::move(fields[column]);
  return row;
}

std::vector<results::RowTexts> ParseLogContent(std::string_view content) {
  std::vector<results::RowTexts> rows;
  rows.reserve(static_cast<size_t>(std::count(content.begin(), content.end(), '\n')) + 1);
  while (!content.empty()) {
    const size_t end = content.find('\n');
    // The CR of a CR LF pair goes with the line and is dropped by SplitLine.
    std::vector<std::string> fields = SplitLine(content.substr(0, end));
    if (!fields.empty()) rows.push_back(FieldsToRow(std::move(fields)));
    if (end == std::string_view::npos) break;
    content.remove_prefix(end + 1);
  }
  return rows;
}

std::optional<std::vector<results::RowTexts>> ReadLogFile(const std::string& path,
                                                          std::string& error) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    error = "Cannot open " + path + ": " + std::strerror(errno);
    return std::nullopt;
  }
  const bool locked = LockShared(fd);
  std::string content;
  char buffer[64 * 1024];
  bool readFailed = false;
  while (true) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      error = "Cannot read " + path + ": " + std::strerror(errno);
      readFailed = true;
      break;
    }
    if (got == 0) break;
    content.append(buffer, static_cast<size_t>(got));
  }
  if (locked) ::flock(fd, LOCK_UN);
  ::close(fd);
  if (readFailed) return std::nullopt;
  return ParseLogContent(content);
}

int PlaceImportedRows(results::ResultsTable& table, std::vector<results::RowTexts> rows) {
  const int index = table.RowCount() == 0 ? 0 : kImportIndex;
  return table.InsertRows(index, std::move(rows));
}

}  // namespace orvana::records
