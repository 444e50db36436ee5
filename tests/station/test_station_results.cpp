// The road of one result through the station: value fields, table row and
// colours, the daily log line, and the table operations around it.
#include <algorithm>
#include <cstdlib>
#include <fstream>

#include "results/colors.h"
#include "station/station_fixture.h"

namespace orvana::testing {
namespace {

using results::COLOR_FAIL;
using results::COLOR_PASS;
using results::COLOR_PASS_LATEST;

TEST_F(StationTest, RecordedResultBecomesARowAndALogLineUnderTheSerialStandingInTheField) {
  // Typed or scanned, nothing else: no click into the field, no tick.
  ui.serialEdit = "A17050301";
  Feed(DualResultBytes(-0.12f, 55.3f, -0.20f, 56.1f));
  ui.serialEdit = "A17050302";
  Feed(DualResultBytes(-0.12f, 55.3f, -0.20f, 56.1f));

  ASSERT_EQ(ui.shownValues.size(), 2u);
  EXPECT_EQ(ui.shownValues[0], (std::array<std::string, 4>{"-0.12", "55.3", "-0.20", "56.1"}));
  ASSERT_EQ(table.RowCount(), 2);
  EXPECT_EQ(table.Text(0, 0), "A17050301");
  EXPECT_EQ(table.Text(1, 0), "A17050302");
  EXPECT_EQ(table.Text(0, 5), "2017/05/03 12:34:56");
  EXPECT_EQ(table.Text(0, 6), "");
  EXPECT_EQ(LogFile("20170503.txt"),
            "A17050301   -0.12   55.3   -0.20   56.1   2017/05/03 12:34:56\r\r\n"
            "A17050302   -0.12   55.3   -0.20   56.1   2017/05/03 12:34:56\r\r\n");
  EXPECT_EQ(ui.writes, 0) << "what the user typed is never written over";
}

// The folder for unsaved lines is pointed here through XDG_DATA_HOME, which
// only the POSIX side reads.
#ifndef _WIN32
TEST_F(StationTest, AnUnwritableLogIsToldOnceAndWhatItKeptIsSavedAtClosing) {
  WriteFile((folder / "Savetemp").string(), "a file in the folder's way");
  const std::string unsaved = (folder / "data").string();
  setenv("XDG_DATA_HOME", unsaved.c_str(), 1);
  for (int n = 0; n < 3; ++n) {
    Feed(DualResultBytes(-0.12f, 55.3f, -0.20f, 56.1f));
    station->OnLogEvents();
  }
  ASSERT_EQ(ui.messages.size(), 1u) << "once per failure, not once per line";
  EXPECT_EQ(
      ui.messages[0].text.rfind(texts.logfailing + "\n\n" + (folder / "Savetemp").string(), 0), 0u)
      << ui.messages[0].text;

  EXPECT_TRUE(station->OnClosing());
  unsetenv("XDG_DATA_HOME");
  const std::string saved = unsaved + "/orvana/unsaved/20170503.txt";
  ASSERT_EQ(ui.messages.size(), 2u);
  EXPECT_EQ(ui.messages[1].text, texts.logsaved + "\n\n" + saved);
  const std::string line = "****   -0.12   55.3   -0.20   56.1   2017/05/03 12:34:56\r\r\n";
  EXPECT_EQ(ReadFile(saved), line + line + line);
}

#endif

TEST_F(StationTest, ShownOnlyResultChangesTheFieldsAndNothingElse) {
  Feed(DualResultBytes(-0.12f, 55.3f, -0.20f, 56.1f, false));
  EXPECT_EQ(ui.shownValues.size(), 1u);
  EXPECT_EQ(station->Fields().valueText[0], "-0.12");
  EXPECT_EQ(table.RowCount(), 0);
  EXPECT_FALSE(std::filesystem::exists(folder / "Savetemp" / "20170503.txt"));
}

TEST_F(StationTest, EachResultIsJudgedAndTheOneBeforeIsRecoloured) {
  Feed(DualResultBytes(-0.21f, 56.3f, -0.35f, 54.0f));
  EXPECT_EQ(table.CellTextColor(0, 1), COLOR_PASS_LATEST);
  EXPECT_EQ(table.CellTextColor(0, 2), COLOR_PASS_LATEST);
  EXPECT_EQ(table.CellTextColor(0, 3), COLOR_FAIL);
  EXPECT_EQ(table.CellTextColor(0, 4), COLOR_FAIL);
  EXPECT_EQ(table.Text(0, 0), "****");

  Feed(sim::BuildResultFrame({false, 1, 0, 57.0f, 0, -0.12f}));
  EXPECT_EQ(table.CellTextColor(0, 1), COLOR_PASS);
  EXPECT_EQ(table.CellTextColor(0, 2), COLOR_PASS);
  EXPECT_EQ(table.CellTextColor(0, 4), COLOR_FAIL);
  EXPECT_EQ(table.Text(1, 1), "-0.12");
  EXPECT_EQ(table.Text(1, 2), "57.0");
  EXPECT_EQ(table.Text(1, 3), "");
  EXPECT_EQ(LogFile("20170503.txt"),
            "****   -0.21   56.3   -0.35   54.0   2017/05/03 12:34:56\r\r\n"
            "****   -0.12   57.0         2017/05/03 12:34:56\r\r\n");
}

TEST_F(StationTest, NewThresholdsJudgeTheNextResult) {
  station->Settings().rlThreshold1 = 60.0f;
  Feed(DualResultBytes(-0.2f, 56.3f, -0.2f, 56.0f));
  EXPECT_EQ(table.CellTextColor(0, 2), COLOR_FAIL);
}

TEST_F(StationTest, ResultsAfterMidnightGoToTheNextDaysFile) {
  clock.Set({2017, 5, 3, 23, 59, 59});
  Feed(DualResultBytes(-0.2f, 56.0f, -0.2f, 56.0f));
  clock.Set({2017, 5, 4, 0, 0, 5});
  Feed(DualResultBytes(-0.2f, 56.0f, -0.2f, 56.0f));
  EXPECT_NE(LogFile("20170503.txt").find("23:59:59"), std::string::npos);
  EXPECT_NE(LogFile("20170504.txt").find("2017/05/04 00:00:05"), std::string::npos);
}

TEST_F(StationTest, WavelengthRowSurvivesAClearBetweenResults) {
  Feed(DualResultBytes(-0.2f, 56.0f, -0.2f, 56.0f));
  station->OnClearScreen();
  EXPECT_EQ(ui.messages.back().caption, "OTDR");
  EXPECT_EQ(table.RowCount(), 0);
  station->OnSettingsApplied();
  Feed(DualResultBytes(-0.5f, 50.0f, -0.5f, 50.0f));
  ASSERT_EQ(table.RowCount(), 2);
  EXPECT_EQ(table.Text(0, 1), "1310nm");
  EXPECT_EQ(table.Text(0, 3), "1625nm");
  EXPECT_EQ(table.Text(1, 1), "-0.50");
}

TEST_F(StationTest, BlankedLastRowIsNotRecoloured) {
  Feed(DualResultBytes(-0.2f, 56.0f, -0.2f, 56.0f));
  station->OnBlankSelectedRow(0);
  EXPECT_EQ(ui.messages.back().caption, "IL&RL");
  Feed(DualResultBytes(-0.2f, 56.0f, -0.2f, 56.0f));
  for (int column = 0; column < 7; ++column) EXPECT_EQ(table.Text(0, column), " ");
  EXPECT_EQ(table.CellTextColor(0, 1), COLOR_PASS_LATEST) << "left as it was";
}

TEST_F(StationTest, ImportPutsALogBackBehindTheWavelengthRow) {
  station->OnSettingsApplied();
  Feed(DualResultBytes(-0.5f, 50.0f, -0.5f, 50.0f));
  const std::string path = (folder / "Savetemp" / "20170503.txt").string();
  std::string error;
  ASSERT_TRUE(station->OnImportBackup(path, error)) << error;
  ASSERT_EQ(table.RowCount(), 3);
  EXPECT_EQ(table.Text(1, 0), "****");
  EXPECT_EQ(table.Text(1, 5), "2017/05/03 12:34:56");
  EXPECT_FALSE(table.CellTextColor(1, 1).has_value()) << "imported rows carry no colours";
  EXPECT_EQ(table.CellTextColor(2, 1), COLOR_FAIL) << "the live row keeps its own colours";
  EXPECT_EQ(station->ResultRow(), 1) << "the current result row is not moved by an import";

  EXPECT_FALSE(station->OnImportBackup((folder / "missing.txt").string(), error));
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(table.RowCount(), 3);
}

}  // namespace
}  // namespace orvana::testing
