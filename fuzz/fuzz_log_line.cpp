// Arbitrary bytes as one stored log line and as a whole log file: splitting
// must lose nothing and invent nothing (the fields joined again give the line
// back), never make more fields than a line has; the line reader must cut the
// same lines whether the bytes come whole or one at a time, as a plain
// byte-by-byte cut does (an LF or a run of NULs ends a line, overlong lines
// are skipped); and importing must add one row per non-blank line without
// disturbing the rows already in the table or their colours.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "records/daily_log.h"
#include "records/log_import.h"
#include "results/results_table.h"

namespace {

using orvana::records::kFieldSeparator;
using orvana::results::Column;

std::string_view WithoutTrailingCr(std::string_view line) {
  while (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

bool Blank(std::string_view line) {
  return line.find_first_not_of(" \t") == std::string_view::npos;
}

void CheckSplit(std::string_view line) {
  const std::vector<std::string> fields = orvana::records::SplitLine(line);
  // The import's own split, into views, must cut exactly the same.
  orvana::records::RowFields views;
  if (orvana::records::SplitLineFields(line, views) != fields.size()) __builtin_trap();
  for (size_t i = 0; i < views.size(); ++i) {
    if (views[i] != (i < fields.size() ? std::string_view(fields[i]) : std::string_view()))
      __builtin_trap();
  }
  const std::string_view content = WithoutTrailingCr(line);
  if (Blank(content)) {
    if (!fields.empty()) __builtin_trap();
    return;
  }
  if (fields.empty() || fields.size() > 6) __builtin_trap();
  std::string joined = fields[0];
  for (size_t i = 1; i < fields.size(); ++i) {
    joined += kFieldSeparator;
    joined += fields[i];
  }
  if (joined != content) __builtin_trap();
  // The values and the time are cut at the rightmost separators, so none of
  // them can hold one.
  if (fields.size() == 6) {
    for (size_t i = 1; i < fields.size(); ++i) {
      if (fields[i].find(kFieldSeparator) != std::string::npos) __builtin_trap();
    }
  }
}

struct Cut {
  std::vector<std::string> lines;  // the non-blank ones
  size_t skipped = 0;
};

// The reference: a byte at a time, no cleverness.
Cut CutByteByByte(std::string_view content) {
  Cut cut;
  std::string line;
  const auto end = [&] {
    if (line.size() > orvana::records::kLongestLogLine) {
      ++cut.skipped;
    } else if (!Blank(WithoutTrailingCr(line))) {
      cut.lines.push_back(line);
    }
    line.clear();
  };
  for (size_t i = 0; i < content.size(); ++i) {
    if (content[i] == '\n') {
      end();
    } else if (content[i] == '\0') {
      end();
      while (i + 1 < content.size() && content[i + 1] == '\0') ++i;
    } else {
      line += content[i];
    }
  }
  if (!line.empty()) end();
  return cut;
}

Cut CutByReader(std::string_view content, size_t pieceSize) {
  Cut cut;
  const auto onLine = [&](std::string_view line) {
    if (line.find('\n') != std::string_view::npos || line.find('\0') != std::string_view::npos) {
      __builtin_trap();
    }
    if (line.size() > orvana::records::kLongestLogLine) __builtin_trap();
    if (!Blank(WithoutTrailingCr(line))) cut.lines.emplace_back(line);
  };
  orvana::records::LogLineReader reader;
  for (size_t at = 0; at < content.size(); at += pieceSize) {
    reader.Feed(content.substr(at, pieceSize), onLine);
  }
  reader.Finish(onLine);
  cut.skipped = reader.Skipped();
  return cut;
}

void CheckImport(std::string_view content) {
  const Cut reference = CutByteByByte(content);
  for (const size_t pieceSize : {content.size() + 1, size_t{1}, size_t{7}}) {
    const Cut read = CutByReader(content, pieceSize);
    if (read.lines != reference.lines || read.skipped != reference.skipped) __builtin_trap();
  }
  for (const std::string& line : reference.lines) CheckSplit(line);
  const size_t lines = reference.lines.size();

  orvana::results::ResultsTable table;
  table.AppendRow(" ");
  const int result = table.AppendRow("R");
  table.SetCellTextColor(Column::Value1, result, orvana::results::COLOR_FAIL);

  auto rows = orvana::records::ParseLogContent(content);
  if (rows.size() != lines) __builtin_trap();
  for (const auto& row : rows) {
    for (const std::string& cell : row) {
      if (cell.find('\n') != std::string::npos || cell.find('\0') != std::string::npos) {
        __builtin_trap();
      }
    }
    if (!row[6].empty()) __builtin_trap();
  }
  const int placedAt = orvana::records::PlaceImportedRows(table, std::move(rows));
  const int count = table.RowCount();
  if (placedAt != 1 || count != 2 + static_cast<int>(lines)) __builtin_trap();
  if (table.Text(0, Column::Serial) != " ") __builtin_trap();
  if (table.Text(count - 1, Column::Serial) != "R") __builtin_trap();
  if (table.CellTextColor(count - 1, Column::Value1) != orvana::results::COLOR_FAIL) {
    __builtin_trap();
  }
  for (int row = 0; row < count - 1; ++row) {
    for (int column = 0; column < orvana::results::kColumnCount; ++column) {
      if (table.CellTextColor(row, column)) __builtin_trap();
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  CheckSplit(bytes);
  CheckImport(bytes);
  return 0;
}
