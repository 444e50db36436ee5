#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "results/colors.h"
#include "results/column.h"
#include "results/outcome.h"
#include "results/table_look.h"

// The results table as data: rows of seven texts, a text colour and a verdict
// per cell, and the look. Views draw it; the recorder, the import, the upload and the export
// read and write it. Rows are addressed by index from 0, as a list view does.
namespace orvana::results {

// Told about every change, so a view can redraw and a headless station can
// print what changed. Called synchronously, after the change is made.
class ITableObserver {
 public:
  virtual ~ITableObserver() = default;
  // `count` rows now stand at first .. first + count - 1; rows that stood
  // there moved down by count.
  virtual void RowsInserted(int first, int count) = 0;
  // A text or a colour of the row changed.
  virtual void RowChanged(int row) = 0;
  // Every row is gone.
  virtual void TableCleared() = 0;
  virtual void LookChanged() {}
};

// The text of one cell: a view into the table's own storage, valid until the
// row is changed or the table cleared. It converts to std::string wherever one
// is wanted, so code written for a string reference keeps working; bind it to
// a std::string_view to read it without a copy.
class CellText : public std::string_view {
 public:
  constexpr CellText() = default;
  constexpr CellText(std::string_view text) : std::string_view(text) {}
  operator std::string() const { return std::string(data(), size()); }
};

// A whole row: its seven texts, the colours of its coloured cells and the
// verdicts of its judged values (decided when the result was recorded; the
// colour only shows them). The
// texts are views: into the caller's strings, or, from Content, into the
// table's own row (valid until that row is changed or the table cleared).
struct RowContent {
  std::array<std::string_view, kColumnCount> texts{};
  std::array<std::optional<Rgb>, kColumnCount> colors{};
  std::array<Outcome, kColumnCount> outcomes{};
};

class ResultsTable {
 public:
  // Identifies a row for as long as it exists, wherever inserts move it.
  // Never reused, so a key of a cleared row matches no row again.
  using RowKey = uint64_t;

  ResultsTable() = default;
  ResultsTable(const ResultsTable&) = delete;
  ResultsTable& operator=(const ResultsTable&) = delete;

  int RowCount() const { return static_cast<int>(m_rows.size()); }

  // Empty text for a cell outside the table.
  CellText Text(int row, Column column) const;
  CellText Text(int row, int column) const;
  // Does nothing for a row outside the table.
  void SetText(int row, Column column, std::string text);

  // Inserts a row with `serialText` in column 0 at `index`; an index outside
  // 0..RowCount() appends. Returns where the row went.
  int InsertRow(int index, std::string serialText);
  int AppendRow(std::string serialText) { return InsertRow(RowCount(), std::move(serialText)); }
  // Appends a row made whole, as one insert: a result's row is not built
  // cell by cell in front of the views.
  int AppendRow(const RowContent& content);
  // The row's texts, colours and verdicts; empty outside the table.
  RowContent Content(int row) const;
  // Replaces the row's texts, colours and verdicts, telling the observers once. The
  // content may be the row's own, from Content. Does nothing outside the
  // table.
  void SetRow(int row, const RowContent& content);
  // Inserts a block of rows, in order, at `index` (outside 0..RowCount():
  // appended), without colours or verdicts. Returns the index of the first.
  int InsertRows(int index, std::vector<RowTexts> rows);

 private:
  // One row in one allocation: its key, its colours, then its seven texts
  // back to back. See results_table.cpp.
  struct Row;
  struct RowDeleter {
    void operator()(Row* row) const;
  };
  using RowPtr = std::unique_ptr<Row, RowDeleter>;

 public:
  // Rows made ahead of their insert, as a file is read, so that a large block
  // goes in as one insert without its texts being held twice on the way.
  class RowBlock {
   public:
    RowBlock();
    ~RowBlock();
    RowBlock(RowBlock&&) noexcept;
    RowBlock& operator=(RowBlock&&) noexcept;

    // A row with these texts in columns 0 to 6.
    void Add(const std::array<std::string_view, kColumnCount>& texts);
    size_t Size() const { return m_rows.size(); }

   private:
    friend class ResultsTable;
    std::vector<RowPtr> m_rows;
  };
  // Inserts the block's rows, in order, as InsertRows does.
  int InsertBlock(int index, RowBlock block);
  void DeleteAllRows();

  // The colour travels with its row when rows are inserted above it. The
  // recorder colours whole rows (SetRow, with their verdicts); this is how
  // the tests, benchmarks and fuzzers paint a single cell of a row.
  void SetCellTextColor(Column column, int row, Rgb color);
  std::optional<Rgb> CellTextColor(int row, Column column) const;
  std::optional<Rgb> CellTextColor(int row, int column) const;
  // OUTCOME_NONE outside the table and for a cell that was never judged.
  Outcome CellOutcome(int row, int column) const;
  // Every cell's colour and verdict go.
  void ClearCellColors();

  const TableLook& Look() const { return m_look; }
  void SetLook(const TableLook& look);

  // Key of the row at `row`; 0 (no row's key) outside the table.
  RowKey KeyAt(int row) const;
  // Index of the row with `key`, -1 when it is gone. Searches from the end,
  // where recent rows usually are.
  int FindRow(RowKey key) const;

  // The observer must outlive the table or be removed first.
  void AddObserver(ITableObserver* observer);
  void RemoveObserver(ITableObserver* observer);

 private:
  bool Contains(int row) const { return row >= 0 && row < RowCount(); }

  template <typename Notify>
  void NotifyAll(Notify notify) {
    for (ITableObserver* observer : m_observers) notify(*observer);
  }

  // Rows are held by pointer so that inserting near the top of a large table
  // moves pointers, not whole rows, and a row's colours move with it.
  std::vector<RowPtr> m_rows;
  TableLook m_look = kStartLook;
  RowKey m_nextKey = 1;
  std::vector<ITableObserver*> m_observers;
};

}  // namespace orvana::results
