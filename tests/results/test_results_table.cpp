#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "results/results_table.h"

namespace orvana::results {
namespace {

struct RecordingObserver final : ITableObserver {
  void RowsInserted(int first, int count) override {
    events.push_back("insert " + std::to_string(first) + "+" + std::to_string(count));
  }
  void RowChanged(int row) override { events.push_back("change " + std::to_string(row)); }
  void TableCleared() override { events.push_back("clear"); }
  void LookChanged() override { events.push_back("look"); }
  std::vector<std::string> events;
};

RowTexts Row(std::string serial) {
  RowTexts row;
  row[0] = std::move(serial);
  return row;
}

std::vector<std::string> Serials(const ResultsTable& table) {
  std::vector<std::string> serials;
  for (int row = 0; row < table.RowCount(); ++row) serials.push_back(table.Text(row, 0));
  return serials;
}

TEST(TableRows, InsertPlacesAtIndexOrAppendsPastTheEnd) {
  ResultsTable table;
  EXPECT_EQ(table.InsertRow(1, "a"), 0) << "an empty table has no row 1";
  EXPECT_EQ(table.AppendRow("c"), 1);
  EXPECT_EQ(table.InsertRow(1, "b"), 1);
  EXPECT_EQ(table.InsertRow(99, "d"), 3);
  EXPECT_EQ(table.InsertRow(-1, "e"), 4);
  EXPECT_EQ(table.InsertRow(0, "z"), 0);
  EXPECT_EQ(Serials(table), (std::vector<std::string>{"z", "a", "b", "c", "d", "e"}));
}

TEST(TableRows, TextsOutsideTheTableReadEmptyAndWritesAreIgnored) {
  ResultsTable table;
  table.AppendRow("a");
  table.SetText(0, Column::Time, "12:00");
  table.SetText(1, Column::Time, "lost");
  table.SetText(-1, Column::Time, "lost");
  EXPECT_EQ(table.Text(0, Column::Time), "12:00");
  EXPECT_EQ(table.Text(0, 5), "12:00");
  EXPECT_EQ(table.Text(1, Column::Serial), "");
  EXPECT_EQ(table.Text(0, 7), "");
  EXPECT_EQ(table.Text(0, -1), "");
  EXPECT_EQ(table.RowCount(), 1);
}

TEST(TableRows, BlockInsertKeepsOrderAndAllSevenTexts) {
  ResultsTable table;
  table.AppendRow("top");
  table.AppendRow("bottom");
  RowTexts full{"s", "1", "2", "3", "4", "time", "extra"};
  EXPECT_EQ(table.InsertRows(1, {Row("x"), full, Row("y")}), 1);
  EXPECT_EQ(Serials(table), (std::vector<std::string>{"top", "x", "s", "y", "bottom"}));
  for (int column = 0; column < kColumnCount; ++column) {
    EXPECT_EQ(table.Text(2, column), full[static_cast<size_t>(column)]);
  }
  EXPECT_EQ(table.InsertRows(50, {Row("end")}), 5);
  EXPECT_EQ(table.InsertRows(0, {}), 0);
  EXPECT_EQ(table.RowCount(), 6);
}

TEST(CellColors, ColorsStayWithTheirRowsWhenRowsAreInsertedAbove) {
  ResultsTable table;
  table.AppendRow(" ");
  table.AppendRow("result");
  table.SetCellTextColor(Column::Value1, 1, COLOR_FAIL);
  table.SetCellTextColor(Column::Value2, 1, COLOR_PASS_LATEST);
  table.InsertRows(1, {Row("imported 1"), Row("imported 2")});
  table.InsertRow(1, "one more");
  ASSERT_EQ(table.Text(4, Column::Serial), "result");
  EXPECT_EQ(table.CellTextColor(4, Column::Value1), COLOR_FAIL);
  EXPECT_EQ(table.CellTextColor(4, Column::Value2), COLOR_PASS_LATEST);
  for (int row = 0; row < 4; ++row) {
    for (int column = 0; column < kColumnCount; ++column) {
      EXPECT_EQ(table.CellTextColor(row, column), std::nullopt) << row << "," << column;
    }
  }
}

TEST(CellColors, RewritingTextsKeepsTheRowsColoursKeyAndOtherTexts) {
  ResultsTable table;
  table.AppendRow("first");
  table.AppendRow("second");
  table.SetText(1, Column::Value1, "-0.12");
  table.SetCellTextColor(Column::Value1, 1, COLOR_FAIL);
  table.SetCellTextColor(Column::Value4, 1, COLOR_PASS);
  const auto key = table.KeyAt(1);
  const std::string_view other = table.Text(0, Column::Serial);
  // Longer, shorter and empty texts: the row is laid out anew each time.
  table.SetText(1, Column::Time, "2017/05/03 12:34:56");
  table.SetText(1, Column::Serial, "a serial number far longer than any before it");
  table.SetText(1, Column::Value2, "");
  table.SetText(1, Column::Value1, "x");
  EXPECT_EQ(table.Text(1, Column::Serial), "a serial number far longer than any before it");
  EXPECT_EQ(table.Text(1, Column::Value1), "x");
  EXPECT_EQ(table.Text(1, Column::Value2), "");
  EXPECT_EQ(table.Text(1, Column::Time), "2017/05/03 12:34:56");
  EXPECT_EQ(table.CellTextColor(1, Column::Value1), COLOR_FAIL);
  EXPECT_EQ(table.CellTextColor(1, Column::Value4), COLOR_PASS);
  EXPECT_EQ(table.CellTextColor(1, Column::Value2), std::nullopt);
  EXPECT_EQ(table.FindRow(key), 1);
  EXPECT_EQ(other, "first") << "changing one row leaves the others' texts where they were";
  // A row whose texts pass what 16-bit offsets hold is laid out wide, and
  // comes back whole, colours and all; and narrow again when it shrinks.
  const std::string huge = "\xC3\xA9" + std::string(40000, 'e');
  table.SetText(1, Column::Extra, huge);
  EXPECT_EQ(table.Text(1, Column::Extra), huge);
  EXPECT_EQ(table.Text(1, Column::Time), "2017/05/03 12:34:56");
  EXPECT_EQ(table.CellTextColor(1, Column::Value4), COLOR_PASS);
  EXPECT_EQ(table.CellTextColor(1, Column::Serial), std::nullopt);
  table.SetCellTextColor(Column::Serial, 1, COLOR_PASS_LATEST);
  EXPECT_EQ(table.Text(1, Column::Value1), "x");
  table.SetText(1, Column::Extra, "");
  EXPECT_EQ(table.Text(1, Column::Extra), "");
  EXPECT_EQ(table.Text(1, Column::Time), "2017/05/03 12:34:56");
  EXPECT_EQ(table.CellTextColor(1, Column::Serial), COLOR_PASS_LATEST);
  table.ClearCellColors();
  EXPECT_EQ(table.CellTextColor(1, Column::Value4), std::nullopt);
  EXPECT_EQ(table.Text(1, Column::Value1), "x");
  // The text converts to a string for code written against one.
  const std::string& copy = table.Text(1, Column::Value1);
  EXPECT_EQ(copy, "x");
}

TEST(CellColors, AWholeRowIsAppendedAndRewrittenFromItsOwnContentInOneChange) {
  ResultsTable table;
  RecordingObserver observer;
  table.AppendRow("first");
  table.AddObserver(&observer);
  RowContent content;
  const std::string serial = "SN-7";
  content.texts[0] = serial;
  content.texts[1] = "-0.21";
  content.colors[1] = COLOR_FAIL;
  EXPECT_EQ(table.AppendRow(content), 1);
  // Rewritten from views into the row itself, one cell changed.
  RowContent own = table.Content(1);
  own.texts[1] = "-0.22";
  own.colors[4] = COLOR_PASS;
  table.SetRow(1, own);
  table.SetRow(5, own);  // no such row
  EXPECT_EQ(table.Text(1, Column::Serial), "SN-7");
  EXPECT_EQ(table.Text(1, Column::Value1), "-0.22");
  EXPECT_EQ(table.CellTextColor(1, Column::Value1), COLOR_FAIL);
  EXPECT_EQ(table.CellTextColor(1, Column::Value4), COLOR_PASS);
  EXPECT_EQ(table.CellTextColor(1, Column::Serial), std::nullopt);
  EXPECT_EQ(observer.events, (std::vector<std::string>{"insert 1+1", "change 1"}));
  EXPECT_TRUE(table.Content(9).texts[0].empty());
}

TEST(CellColors, ReplacingAndClearing) {
  ResultsTable table;
  table.AppendRow("a");
  table.SetCellTextColor(Column::Value3, 0, COLOR_PASS_LATEST);
  table.SetCellTextColor(Column::Value3, 0, COLOR_PASS);
  table.SetCellTextColor(Column::Value3, 5, COLOR_FAIL);  // no such row: ignored
  EXPECT_EQ(table.CellTextColor(0, Column::Value3), COLOR_PASS);
  EXPECT_EQ(table.CellTextColor(0, Column::Value4), std::nullopt);
  EXPECT_EQ(table.CellTextColor(5, Column::Value3), std::nullopt);
  table.ClearCellColors();
  EXPECT_EQ(table.CellTextColor(0, Column::Value3), std::nullopt);
  EXPECT_EQ(table.Text(0, Column::Serial), "a") << "clearing colours keeps the texts";
}

TEST(RowKeys, KeyFindsItsRowWhereverInsertsMovedIt) {
  ResultsTable table;
  table.AppendRow("a");
  const auto key = table.KeyAt(0);
  EXPECT_NE(key, 0u);
  EXPECT_EQ(table.KeyAt(1), 0u);
  table.InsertRows(0, {Row("x"), Row("y")});
  table.AppendRow("z");
  EXPECT_EQ(table.FindRow(key), 2);
  table.DeleteAllRows();
  table.AppendRow("a");
  EXPECT_EQ(table.FindRow(key), -1) << "a new row never takes an old row's key";
  EXPECT_EQ(table.FindRow(0), -1);
}

TEST(TableObserver, IsToldOfEveryChangeAfterItIsMade) {
  ResultsTable table;
  RecordingObserver observer;
  table.AddObserver(&observer);
  table.AddObserver(&observer);  // once is enough
  table.AppendRow("a");
  table.SetText(0, Column::Value1, "x");
  table.SetCellTextColor(Column::Value1, 0, COLOR_FAIL);
  table.InsertRows(0, {Row("b"), Row("c")});
  table.SetText(9, Column::Value1, "ignored");
  table.ClearCellColors();
  table.SetLook(kAppliedLook);
  table.DeleteAllRows();
  table.RemoveObserver(&observer);
  table.AppendRow("unseen");
  EXPECT_EQ(observer.events, (std::vector<std::string>{"insert 0+1", "change 0", "change 0",
                                                       "insert 0+2", "change 2", "look", "clear"}));
}

TEST(TableLookData, TwoLooksAndTheHeaderGradient) {
  ResultsTable table;
  EXPECT_EQ(table.Look(), kStartLook);
  EXPECT_EQ(kStartLook.background, (Rgb{204, 204, 204}));
  EXPECT_EQ(kStartLook.textColor, (Rgb{0, 0, 0}));
  EXPECT_EQ(kStartLook.headerStep, 6);
  EXPECT_EQ(kAppliedLook.background, (Rgb{0, 0, 0}));
  EXPECT_EQ(kAppliedLook.textColor, (Rgb{51, 204, 51}));
  EXPECT_EQ(kAppliedLook.headerStart, (Rgb{139, 255, 139}));
  EXPECT_EQ(HeaderGradientAt(kAppliedLook, 0), (Rgb{139, 255, 139}));
  EXPECT_EQ(HeaderGradientAt(kAppliedLook, 17), (Rgb{3, 119, 3}));
  EXPECT_EQ(HeaderGradientAt(kAppliedLook, 18), (Rgb{0, 111, 0}));
  EXPECT_EQ(HeaderGradientAt(kAppliedLook, 200), (Rgb{0, 0, 0}));
  EXPECT_EQ(HeaderGradientAt(kStartLook, 2), (Rgb{192, 192, 192}));
}

}  // namespace
}  // namespace orvana::results
