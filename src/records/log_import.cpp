#include "records/log_import.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <thread>

#include "common/error_text.h"
#include "common/trace.h"
#include "platform/file_info.h"
#include "platform/file_io.h"
#include "platform/files.h"
#include "platform/open_file.h"
#include "records/daily_log.h"
#include "records/regular_file.h"
#include "records/uploaded_records.h"

namespace orvana::records {
namespace {

using namespace std::chrono_literals;

// Index of the first imported row in a table that holds rows: right after
// the wavelength row.
constexpr int kImportIndex = 1;
// How much of the file is read at a time.
constexpr size_t kReadChunk = 256 * 1024;

bool LockShared(int fd) {
  // Waits briefly for a writer to finish its line; reading without the lock
  // afterwards is still better than importing nothing.
  for (int attempt = 0; attempt < 100; ++attempt) {
    if (platform::TryLockFile(fd, platform::LockKind::Shared)) return true;
    if (errno != EWOULDBLOCK && errno != EINTR) return false;
    std::this_thread::sleep_for(5ms);
  }
  return false;
}

// The file's size once no writer is between two lines: lines appended later
// lie beyond it and are left for the next import.
bool SizeBetweenLines(int fd, uint64_t& size) {
  const bool locked = LockShared(fd);
  platform::FileInfo info;
  const bool known = platform::InfoOf(fd, info);
  const int error = errno;
  if (locked) platform::UnlockFile(fd);
  errno = error;
  size = info.size;
  return known;
}

}  // namespace

void LogLineReader::Hold(std::string_view piece) {
  if (m_skipping) return;
  if (m_carry.size() + piece.size() > kLongestLogLine) {
    m_skipping = true;
    m_carry.clear();
    m_carry.shrink_to_fit();
    return;
  }
  m_carry.append(piece);
}

bool ForEachLogRow(const std::string& path, const RowSink& row, ImportSummary& summary,
                   std::string& error) {
  summary = {};
  const RegularFile file = OpenRegularFile(path, platform::OpenMode::Read);
  if (!file.Opened()) {
    error = "Cannot open " + path + ": " + file.Reason();
    return false;
  }
  uint64_t left = 0;
  if (!SizeBetweenLines(file.fd, left)) {
    error = "Cannot read " + path + ": " + common::ErrorText(errno);
    platform::CloseFile(file.fd);
    return false;
  }

  LogLineReader lines;
  RowFields fields;
  size_t handed = 0;
  const bool records = IsRecordsFile(path);
  const auto onLine = [&](std::string_view line, bool nearNul) {
    summary.line = ++handed + lines.Skipped();
    const size_t count = records ? SplitRecordFields(line, fields) : SplitLineFields(line, fields);
    if (count == 0) return;
    if (nearNul && (records ? count < fields.size() : IsDamagedLine(fields, count))) {
      ++summary.damaged;
      return;
    }
    ++summary.rows;
    row(fields);
  };
  // Each read fills what it hands on: nothing to clear first.
  const auto buffer = std::make_unique_for_overwrite<char[]>(kReadChunk);
  bool readFailed = false;
  while (left > 0) {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(left, kReadChunk));
    const long long got = platform::ReadSome(file.fd, buffer.get(), want);
    if (got < 0) {
      error = "Cannot read " + path + ": " + common::ErrorText(errno);
      readFailed = true;
      break;
    }
    if (got == 0) break;  // cut short meanwhile
    left -= static_cast<uint64_t>(got);
    lines.Feed(std::string_view(buffer.get(), static_cast<size_t>(got)), onLine);
  }
  platform::CloseFile(file.fd);
  if (readFailed) return false;
  lines.Finish(onLine);
  summary.skippedTooLong = lines.Skipped();
  return true;
}

std::optional<std::vector<results::RowTexts>> ReadLogFile(const std::string& path,
                                                          std::string& error,
                                                          ImportSummary* summaryOut) {
  std::vector<results::RowTexts> rows;
  ImportSummary summary;
  const bool read = ForEachLogRow(
      path,
      [&](const RowFields& fields) {
        results::RowTexts& texts = rows.emplace_back();
        for (size_t column = 0; column < texts.size(); ++column) texts[column] = fields[column];
      },
      summary, error);
  if (!read) return std::nullopt;
  if (summaryOut != nullptr) *summaryOut = summary;
  return rows;
}

std::optional<ImportSummary> ImportLogFile(results::ResultsTable& table, const std::string& path,
                                           std::string& error) {
  results::ResultsTable::RowBlock block;
  ImportSummary summary;
  if (!ForEachLogRow(
          path, [&](const RowFields& fields) { block.Add(fields); }, summary, error)) {
    return std::nullopt;
  }
  if (summary.skippedTooLong > 0) {
    common::Trace("Import of %s: %zu lines skipped: too long\n", path.c_str(),
                  summary.skippedTooLong);
  }
  if (summary.damaged > 0) {
    common::Trace("Import of %s: %zu lines skipped: damaged\n", path.c_str(), summary.damaged);
  }
  const int index = table.RowCount() == 0 ? 0 : kImportIndex;
  table.InsertBlock(index, std::move(block));
  return summary;
}

}  // namespace orvana::records
