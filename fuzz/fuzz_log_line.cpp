// Arbitrary bytes as a daily log, read as the backup import reads it.
//
// The line assembler is handed the bytes in pieces, as reads of a file end
// anywhere: whole, a byte at a time, and in pieces whose sizes come from the
// input itself, so the fuzzer steers where the reads end as it steers what
// they hold. Whatever the pieces, it must hand over the lines a plain
// byte-by-byte cut finds (an LF or a run of NULs ends a line; a line longer
// than kLongestLogLine is skipped and counted), none holding an LF or a NUL,
// none longer than the limit.
//
// Each line's split must lose nothing and invent nothing: the fields joined
// again give the line back, and there are never more than a line has.
//
// And the import of the bytes as a file must add one row per non-blank line,
// behind the wavelength row and ahead of the results already there, without
// touching those rows or their colours, and tell the lines it skipped; a line
// a NUL run touches is a row only when it is a whole result line.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/trace.h"
#include "records/daily_log.h"
#include "records/log_import.h"
#include "records/uploaded_records.h"
#include "results/results_table.h"

namespace {

using orvana::records::kFieldSeparator;
using orvana::records::kLongestLogLine;
using orvana::results::Column;

std::string_view WithoutTrailingCr(std::string_view line) {
  while (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

bool Blank(std::string_view line) {
  return line.find_first_not_of(" \t") == std::string_view::npos;
}

void CheckSplit(std::string_view line) {
  orvana::records::RowFields fields;
  const size_t count = orvana::records::SplitLineFields(line, fields);
  const std::string_view content = WithoutTrailingCr(line);
  if (Blank(content)) {
    if (count != 0) __builtin_trap();
    for (const std::string_view field : fields) {
      if (!field.empty()) __builtin_trap();
    }
    return;
  }
  if (count == 0 || count > 6) __builtin_trap();
  std::string joined(fields[0]);
  for (size_t i = 1; i < count; ++i) {
    joined += kFieldSeparator;
    joined += fields[i];
  }
  if (joined != content) __builtin_trap();
  for (size_t i = count; i < fields.size(); ++i) {
    if (!fields[i].empty()) __builtin_trap();
  }
  // An uploaded records' line is cut from the left, the last cell taking
  // the rest: joined again it is the line, too.
  orvana::records::RowFields cells;
  const size_t cellCount = orvana::records::SplitRecordFields(line, cells);
  if ((cellCount == 0) != Blank(content) || cellCount > cells.size()) __builtin_trap();
  if (cellCount > 0) {
    std::string rejoined(cells[0]);
    for (size_t i = 1; i < cellCount; ++i) {
      rejoined += kFieldSeparator;
      rejoined += cells[i];
    }
    if (rejoined != content) __builtin_trap();
  }
  // The values and the time are cut at the rightmost separators, so none of
  // them can hold one.
  if (count == 6) {
    for (size_t i = 1; i < count; ++i) {
      if (fields[i].find(kFieldSeparator) != std::string_view::npos) __builtin_trap();
    }
  }
}

struct Cut {
  std::vector<std::string> lines;  // the non-blank ones
  std::vector<bool> nearNul;       // each line's: a NUL run ends it or comes right before it
  size_t handed = 0;               // every line handed over, blank ones too
  size_t skipped = 0;
};

// The reference: a byte at a time, no cleverness.
Cut CutByteByByte(std::string_view content) {
  Cut cut;
  std::string line;
  bool afterNul = false;
  const auto end = [&](bool atNul) {
    if (line.size() > kLongestLogLine) {
      ++cut.skipped;
    } else {
      ++cut.handed;
      if (!Blank(WithoutTrailingCr(line))) {
        cut.lines.push_back(line);
        cut.nearNul.push_back(afterNul || atNul);
      }
    }
    afterNul = atNul;
    line.clear();
  };
  for (size_t i = 0; i < content.size(); ++i) {
    if (content[i] == '\n') {
      end(false);
    } else if (content[i] == '\0') {
      end(true);
      while (i + 1 < content.size() && content[i + 1] == '\0') ++i;
    } else {
      line += content[i];
    }
  }
  if (!line.empty()) end(false);
  return cut;
}

// Sizes of the reads that cover `content`, the n-th taken from its n-th byte
// (round and round): mostly up to 224 bytes, so lines, NUL runs and line
// ends fall across reads, and now and then pieces of many lines at once.
std::vector<size_t> PieceSizes(std::string_view content) {
  std::vector<size_t> sizes;
  for (size_t at = 0, n = 0; at < content.size(); ++n) {
    const auto byte = static_cast<unsigned char>(content[n % content.size()]);
    const size_t size = byte < 0xE0 ? 1 + size_t{byte} : (size_t{byte} - 0xDF) * 512;
    sizes.push_back(size);
    at += size;
  }
  return sizes;
}

Cut CutByAssembler(std::string_view content, const std::vector<size_t>& sizes) {
  Cut cut;
  const auto onLine = [&](std::string_view line, bool nearNul) {
    if (line.find('\n') != std::string_view::npos || line.find('\0') != std::string_view::npos) {
      __builtin_trap();
    }
    if (line.size() > kLongestLogLine) __builtin_trap();
    ++cut.handed;
    if (!Blank(WithoutTrailingCr(line))) {
      cut.lines.emplace_back(line);
      cut.nearNul.push_back(nearNul);
    }
  };
  orvana::records::LogLineReader reader;
  size_t at = 0;
  for (const size_t size : sizes) {
    reader.Feed(content.substr(at, size), onLine);
    at += size;
  }
  reader.Finish(onLine);
  cut.skipped = reader.Skipped();
  return cut;
}

// The content as a file the import can open: a memory file, reached through
// its descriptor's path, so no input touches the disk.
std::string AsFile(std::string_view content) {
  static const int fd = memfd_create("orvana-fuzz-log", MFD_CLOEXEC);
  if (fd < 0 || ftruncate(fd, 0) != 0) __builtin_trap();
  for (size_t at = 0; at < content.size();) {
    const ssize_t wrote =
        pwrite(fd, content.data() + at, content.size() - at, static_cast<off_t>(at));
    if (wrote <= 0) __builtin_trap();
    at += static_cast<size_t>(wrote);
  }
  return "/proc/self/fd/" + std::to_string(fd);
}

void CheckImport(std::string_view content, const Cut& reference) {
  orvana::results::ResultsTable table;
  table.AppendRow(" ");
  const int result = table.AppendRow("R");
  table.SetCellTextColor(Column::Value1, result, orvana::results::COLOR_FAIL);

  std::string error;
  orvana::common::TraceCapture trace;
  const auto summary = orvana::records::ImportLogFile(table, AsFile(content), error);
  if (!summary) __builtin_trap();
  // A line a NUL run touches is a row only when it is a whole result line.
  std::vector<std::string> rows;
  orvana::records::RowFields fields;
  for (size_t i = 0; i < reference.lines.size(); ++i) {
    const size_t fieldCount = orvana::records::SplitLineFields(reference.lines[i], fields);
    if (reference.nearNul[i] && orvana::records::IsDamagedLine(fields, fieldCount)) continue;
    rows.push_back(reference.lines[i]);
  }
  const size_t lines = rows.size();
  if (summary->rows != lines || summary->skippedTooLong != reference.skipped ||
      summary->damaged != reference.lines.size() - lines) {
    __builtin_trap();
  }
  if (trace.Contains("lines skipped: too long") != (reference.skipped > 0)) __builtin_trap();

  const int count = table.RowCount();
  if (count != 2 + static_cast<int>(lines)) __builtin_trap();
  if (table.Text(0, Column::Serial) != " ") __builtin_trap();
  if (table.Text(count - 1, Column::Serial) != "R") __builtin_trap();
  if (table.CellTextColor(count - 1, Column::Value1) != orvana::results::COLOR_FAIL) {
    __builtin_trap();
  }
  for (size_t i = 0; i < lines; ++i) {
    const int row = 1 + static_cast<int>(i);
    orvana::records::SplitLineFields(rows[i], fields);
    for (int column = 0; column < orvana::results::kColumnCount; ++column) {
      if (table.Text(row, column) != fields[static_cast<size_t>(column)]) __builtin_trap();
    }
  }
  for (int row = 0; row < count - 1; ++row) {
    for (int column = 0; column < orvana::results::kColumnCount; ++column) {
      if (table.CellTextColor(row, column)) __builtin_trap();
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view content(reinterpret_cast<const char*>(data), size);
  CheckSplit(content);

  const Cut reference = CutByteByByte(content);
  const std::vector<size_t> pieceSizes[] = {
      {content.size()}, std::vector<size_t>(content.size(), 1), PieceSizes(content)};
  for (const std::vector<size_t>& sizes : pieceSizes) {
    const Cut assembled = CutByAssembler(content, sizes);
    // Where reads end changes nothing, not even how lines are numbered.
    if (assembled.lines != reference.lines || assembled.nearNul != reference.nearNul ||
        assembled.handed != reference.handed || assembled.skipped != reference.skipped) {
      __builtin_trap();
    }
  }
  for (const std::string& line : reference.lines) CheckSplit(line);
  CheckImport(content, reference);
  return 0;
}
