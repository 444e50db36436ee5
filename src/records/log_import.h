#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "records/daily_log.h"
#include "records/log_line.h"
#include "results/column.h"
#include "results/results_table.h"

// Reading daily logs back into the results table (the backup import).
namespace orvana::records {

// Cuts a log's bytes into lines as they arrive, in pieces of any size. An LF
// ends a line, and so does a run of NUL bytes: a crash can leave a block of
// them where a line was being written, and the next run's lines follow it.
// No line handed over holds a NUL or an LF. A line longer than
// kLongestLogLine is skipped and counted; memory stays bounded by that.
// Each line is handed with whether a NUL run touches it (ends it, or comes
// right before it): such a line may be a torn one, or the rest of one.
class LogLineReader {
 public:
  // Hands each complete line to onLine(std::string_view, bool nearNul), the
  // view valid only during the call.
  template <typename OnLine>
  void Feed(std::string_view bytes, OnLine&& onLine) {
    // Both ends are looked for ahead only once each, so a piece full of
    // short NUL runs costs no more than one full of short lines.
    size_t lf = bytes.find('\n');
    size_t nul = bytes.find('\0');
    size_t at = 0;
    if (m_inNulRun) {
      // A run that goes on from the last piece ends no further line.
      at = bytes.find_first_not_of('\0');
      if (at == std::string_view::npos) return;
      m_inNulRun = false;
    }
    while (at < bytes.size()) {
      if (lf != std::string_view::npos && lf < at) lf = bytes.find('\n', at);
      if (nul != std::string_view::npos && nul < at) nul = bytes.find('\0', at);
      const size_t end = lf < nul ? lf : nul;
      if (end == std::string_view::npos) {
        Hold(bytes.substr(at));
        return;
      }
      const std::string_view piece = bytes.substr(at, end - at);
      const bool nearNul = m_afterNul || end == nul;
      if (!m_skipping && m_carry.empty() && piece.size() <= kLongestLogLine) {
        onLine(piece, nearNul);  // the usual case: the whole line is in this piece
      } else {
        Hold(piece);
        EndLine(onLine, nearNul);
      }
      at = end + 1;
      m_afterNul = end == nul;
      if (end == nul) {
        at = bytes.find_first_not_of('\0', at);
        if (at == std::string_view::npos) {
          m_inNulRun = true;
          return;
        }
      }
    }
  }
  // The last line needs no line end.
  template <typename OnLine>
  void Finish(OnLine&& onLine) {
    if (m_skipping || !m_carry.empty()) EndLine(onLine, m_afterNul);
  }
  // Lines skipped so far for being longer than kLongestLogLine.
  size_t Skipped() const { return m_skipped; }

 private:
  void Hold(std::string_view piece);
  template <typename OnLine>
  void EndLine(OnLine&& onLine, bool nearNul) {
    if (m_skipping) {
      ++m_skipped;
      m_skipping = false;
      return;
    }
    onLine(std::string_view(m_carry), nearNul);
    m_carry.clear();
  }

  std::string m_carry;
  bool m_afterNul = false;  // the last line ended at a NUL run
  bool m_inNulRun = false;  // the last piece ended inside one
  bool m_skipping = false;
  size_t m_skipped = 0;
};

struct ImportSummary {
  size_t rows = 0;            // lines that gave a row
  size_t skippedTooLong = 0;  // lines skipped: longer than kLongestLogLine
  // Lines skipped as damaged: a NUL run touches them and they are not a
  // whole result line (six fields, the last a time of the log's own), so
  // they are a torn line or the rest of one. A value cut short by a crash
  // must never be read as a number that looks valid.
  size_t damaged = 0;
  // While a row is handed over: the number of its line in the file, from 1,
  // every line counted (blank and skipped ones too), so that a line keeps its
  // number however often the file is read and whatever is appended to it.
  size_t line = 0;
};

// Reads a log file piece by piece and hands each row to `row`, in file order
// (a file of uploaded records, "….records", row by row as it was uploaded);
// the views are valid only during the call. Memory stays bounded whatever the
// file holds. Fails, with `error` telling why (the system's reason included),
// when the path is not a regular file or cannot be opened or read; rows
// handed over before a read error are then to be thrown away. Lines another
// program appends meanwhile are not read, so none is read in half. Skipped
// lines are counted in `summary`, for the caller to tell.
using RowSink = std::function<void(const RowFields&)>;
bool ForEachLogRow(const std::string& path, const RowSink& row, ImportSummary& summary,
                   std::string& error);

// Reads a whole log file into rows (ForEachLogRow, collected); `summary`,
// when given, gets its summary.
std::optional<std::vector<results::RowTexts>> ReadLogFile(const std::string& path,
                                                          std::string& error,
                                                          ImportSummary* summary = nullptr);

// The backup import: reads the file straight into table rows and puts them
// after the wavelength row and ahead of the rows already there (at row 0 of
// an empty table), in file order, as one insert, without holding the file's
// texts a second time. They get no colours; colours of the rows already there
// move with their rows. Nothing changes when it fails. The summary says how
// many lines were skipped, for the user to be told; they are also traced
// ("N lines skipped: too long").
std::optional<ImportSummary> ImportLogFile(results::ResultsTable& table, const std::string& path,
                                           std::string& error);

}  // namespace orvana::records
