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
  }
  // On a table that already holds rows this renames row 0 whatever it is, so
  // the names come back after a clear only on an empty table.
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
