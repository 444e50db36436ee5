#pragma once

#include <array>
#include <cstddef>
#include <string>

namespace orvana::results {

// The seven columns of the results table. Value1..Value4 are, in order, IL and
// RL of the first wavelength, then IL and RL of the second. Extra is empty in a
// live result row and holds the record date in an uploaded event row.
enum class Column { Serial = 0, Value1, Value2, Value3, Value4, Time, Extra };

inline constexpr int kColumnCount = 7;

constexpr int ColumnIndex(Column column) { return static_cast<int>(column); }

// Value k (0..3) lives in column Value1 + k.
constexpr Column ValueColumn(int valueIndex) {
  return static_cast<Column>(ColumnIndex(Column::Value1) + valueIndex);
}

// The texts of one row, in column order.
using RowTexts = std::array<std::string, kColumnCount>;

}  // namespace orvana::results
