#include "results/table_operations.h"

namespace orvana::results {
namespace {

// Column 0 text of the wavelength row and of a blanked cell.
constexpr const char* kSpace = " ";

}  // namespace

int ApplySettings(ResultsTable& table, const TestSettings& settings) {
  const int rowCount = table.RowCount();
  if (rowCount == 0) {
    table.SetLook(kAppliedLook);
    table.InsertRow(0, kSpace);
  } else if (!IsWavelengthRow(table, 0)) {
    // After a clear, row 0 is the first result: its values are a record and
    // are never renamed. The names get a row of their own above it, where an
    // import then puts its rows after them as it always does.
    table.InsertRow(0, kSpace);
  }
  const WavelengthNames names = WavelengthNamesFor(settings.multiMode);
  table.SetText(0, Column::Value1, std::string(names.first));
  table.SetText(0, Column::Value2, std::string(names.first));
  table.SetText(0, Column::Value3, std::string(names.second));
  table.SetText(0, Column::Value4, std::string(names.second));
  return rowCount;
}

void ClearTable(ResultsTable& table) {
  table.ClearCellColors();
  table.DeleteAllRows();
}

void BlankRow(ResultsTable& table, int selectionMark) {
  if (selectionMark < 0 || selectionMark >= table.RowCount()) return;
  for (int column = 0; column < kColumnCount; ++column) {
    table.SetText(selectionMark, static_cast<Column>(column), kSpace);
  }
}

bool IsWavelengthRow(const ResultsTable& table, int row) {
  // A result or an uploaded event always has its time or its event type; a
  // blanked row has a space there.
  return row >= 0 && row < table.RowCount() && table.Text(row, Column::Serial) == kSpace &&
         table.Text(row, Column::Time).empty() && table.Text(row, Column::Extra).empty();
}

bool IsBlankedRow(const ResultsTable& table, int row) {
  return table.Text(row, Column::Value2).size() == 1;
}

std::optional<TableMetrics> UpdateTableMetrics(SizeState state, int clientWidth) {
  TableMetrics metrics;
  int width = 0;
  switch (state) {
    case SizeState::Restored:
      width = 80;
      metrics.rowHeight = 22;
      metrics.fontHeight = 20;
      break;
    case SizeState::Maximized:
      // Eight shares of what the window's fixed parts leave: one for each of
      // columns 0 to 5 (column 0 a little wider), two for column 6.
      width = (clientWidth - 143) / 8;
      metrics.rowHeight = 33;
      metrics.fontHeight = 26;
      break;
    case SizeState::Other:
      return std::nullopt;
  }
  metrics.columnWidths = {width + 30, width, width, width, width, width, 2 * width};
  return metrics;
}

}  // namespace orvana::results
