#pragma once

#include <array>
#include <optional>

#include "results/column.h"
#include "results/results_table.h"
#include "results/settings_record.h"

// The main window's operations on the results table, without their questions
// to the user: the window asks, then calls these.
namespace orvana::results {

// Settings were applied: on an empty table switch to the black look and
// create the wavelength row; in any case name the wavelengths in row 0. When
// row 0 holds a result or an event, a new wavelength row goes in above it.
// Returns the row count found before, which becomes the current result row.
int ApplySettings(ResultsTable& table, const TestSettings& settings);

// Removes every row, the wavelength row included, and every colour. Whoever
// records results must also forget its pending recolouring.
void ClearTable(ResultsTable& table);

// Sets every cell of the selected row to one space; the row keeps its place
// and its colours. A selection mark of -1 or past the end changes nothing.
void BlankRow(ResultsTable& table, int selectionMark);

// Row 0 as an Apply makes it: a space in column 0, no time, no event.
bool IsWavelengthRow(const ResultsTable& table, int row);

// A row whose column 2 holds exactly one character has been blanked.
bool IsBlankedRow(const ResultsTable& table, int row);

inline constexpr std::array<int, kColumnCount> kInitialColumnWidths{50, 80, 80, 80, 80, 80, 80};

enum class SizeState { Restored, Maximized, Other };

struct TableMetrics {
  std::array<int, kColumnCount> columnWidths{};
  int rowHeight = 0;
  int fontHeight = 0;
  int fontWidth = 0;

  bool operator==(const TableMetrics&) const = default;
};

// Column widths, row height and font size for the window's size state and
// client width; nothing for a state that is neither restored nor maximized,
// in which case the table keeps what it has.
std::optional<TableMetrics> UpdateTableMetrics(SizeState state, int clientWidth);

}  // namespace orvana::results
