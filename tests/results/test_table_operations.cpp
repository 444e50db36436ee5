#include <gtest/gtest.h>

#include "results/table_operations.h"

namespace orvana::results {
namespace {

void ExpectWavelengthRow(const ResultsTable& table, const char* first, const char* second) {
  EXPECT_EQ(table.Text(0, Column::Serial), " ");
  EXPECT_EQ(table.Text(0, Column::Value1), first);
  EXPECT_EQ(table.Text(0, Column::Value2), first);
  EXPECT_EQ(table.Text(0, Column::Value3), second);
  EXPECT_EQ(table.Text(0, Column::Value4), second);
  EXPECT_EQ(table.Text(0, Column::Time), "");
  EXPECT_EQ(table.Text(0, Column::Extra), "");
}

TEST(ApplySettingsToTable, EmptyTableGetsTheWavelengthRowAndTheBlackLook) {
  ResultsTable table;
  EXPECT_EQ(ApplySettings(table, TestSettings::StartValues()), 0);
  ASSERT_EQ(table.RowCount(), 1);
  ExpectWavelengthRow(table, "1310nm", "1625nm");
  EXPECT_EQ(table.Look(), kAppliedLook);
}

TEST(ApplySettingsToTable, ResultsKeepTheirValuesAndTheNamesGoAboveThem) {
  // After a clear, row 0 is a result: Apply must not rename its values.
  ResultsTable table;
  table.AppendRow("first result");
  table.SetText(0, Column::Value1, "-0.21");
  table.SetText(0, Column::Value4, "54.0");
  table.SetText(0, Column::Time, "2017/05/03 12:34:56");
  table.SetCellTextColor(Column::Value4, 0, COLOR_FAIL);
  table.AppendRow("second result");
  TestSettings settings = TestSettings::StartValues();
  settings.multiMode = true;
  EXPECT_EQ(ApplySettings(table, settings), 2) << "the next row to write";
  ASSERT_EQ(table.RowCount(), 3);
  ExpectWavelengthRow(table, "850nm", "1300nm");
  EXPECT_EQ(table.Text(1, Column::Serial), "first result");
  EXPECT_EQ(table.Text(1, Column::Value1), "-0.21");
  EXPECT_EQ(table.Text(1, Column::Value4), "54.0");
  EXPECT_EQ(table.CellTextColor(1, Column::Value4), COLOR_FAIL);
  EXPECT_EQ(table.Look(), kStartLook) << "only an empty table switches the look";
  // The row it made is the wavelength row from now on: renamed, not doubled.
  EXPECT_EQ(ApplySettings(table, TestSettings::StartValues()), 3);
  ASSERT_EQ(table.RowCount(), 3);
  ExpectWavelengthRow(table, "1310nm", "1625nm");
}

TEST(ApplySettingsToTable, ApplyingAgainSwitchesTheWavelengthFamily) {
  ResultsTable table;
  ApplySettings(table, TestSettings::StartValues());
  TestSettings multi = TestSettings::StartValues();
  multi.multiMode = true;
  EXPECT_EQ(ApplySettings(table, multi), 1);
  ASSERT_EQ(table.RowCount(), 1);
  ExpectWavelengthRow(table, "850nm", "1300nm");
}

TEST(ClearTheTable, RemovesTheWavelengthRowAndEveryColour) {
  ResultsTable table;
  ApplySettings(table, TestSettings::StartValues());
  table.AppendRow("r");
  table.SetCellTextColor(Column::Value1, 1, COLOR_FAIL);
  ClearTable(table);
  EXPECT_EQ(table.RowCount(), 0);
  table.AppendRow("new");
  table.AppendRow("new");
  EXPECT_EQ(table.CellTextColor(1, Column::Value1), std::nullopt);
  EXPECT_EQ(table.Look(), kAppliedLook) << "nothing switches back to grey";
}

TEST(BlankSelectedRow, SevenSpacesAndColoursKept) {
  ResultsTable table;
  table.AppendRow("a");
  table.AppendRow("b");
  table.SetText(1, Column::Value2, "56.3");
  table.SetCellTextColor(Column::Value2, 1, COLOR_PASS);
  BlankRow(table, 1);
  for (int column = 0; column < kColumnCount; ++column) EXPECT_EQ(table.Text(1, column), " ");
  EXPECT_EQ(table.CellTextColor(1, Column::Value2), COLOR_PASS);
  EXPECT_TRUE(IsBlankedRow(table, 1));
  EXPECT_FALSE(IsBlankedRow(table, 0));
  EXPECT_EQ(table.Text(0, Column::Serial), "a");
}

TEST(BlankSelectedRow, NoSelectionOrPastTheEndChangesNothing) {
  ResultsTable table;
  table.AppendRow("a");
  BlankRow(table, -1);
  BlankRow(table, 1);
  EXPECT_EQ(table.RowCount(), 1);
  EXPECT_EQ(table.Text(0, Column::Serial), "a");
}

TEST(TableMetrics, ByWindowState) {
  const auto maximized = UpdateTableMetrics(SizeState::Maximized, 1280);
  ASSERT_TRUE(maximized);
  EXPECT_EQ(maximized->columnWidths, (std::array<int, 7>{172, 142, 142, 142, 142, 142, 284}));
  EXPECT_EQ(maximized->rowHeight, 33);
  EXPECT_EQ(maximized->fontHeight, 26);

  // (1920 - 143) / 8 = 222.125, truncated.
  EXPECT_EQ(UpdateTableMetrics(SizeState::Maximized, 1920)->columnWidths[1], 222);

  const auto restored = UpdateTableMetrics(SizeState::Restored, 1280);
  ASSERT_TRUE(restored);
  EXPECT_EQ(restored->columnWidths, (std::array<int, 7>{110, 80, 80, 80, 80, 80, 160}));
  EXPECT_EQ(restored->rowHeight, 22);
  EXPECT_EQ(restored->fontHeight, 20);

  EXPECT_EQ(UpdateTableMetrics(SizeState::Other, 1280), std::nullopt);
}

}  // namespace
}  // namespace orvana::results
