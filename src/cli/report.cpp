#include "cli/report.h"

#include <cstdio>
#include <filesystem>
#include <utility>

#include "app/message_texts.h"
#include "common/clock.h"
#include "records/log_import.h"
#include "records/workbook_writer.h"
#include "results/column.h"
#include "results/results_table.h"
#include "results/test_settings.h"

namespace orvana::cli {
namespace {

bool IsDigits(std::string_view text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

// "YYYYMMDD" from a time text "YYYY/MM/DD ...", or empty.
std::string DateOfTime(std::string_view time) {
  if (time.size() < 10 || time[4] != '/' || time[7] != '/') return {};
  std::string date;
  date.append(time.substr(0, 4)).append(time.substr(5, 2)).append(time.substr(8, 2));
  return IsDigits(date) ? date : std::string();
}

// The workbook's name when none is given: the date of the first log (its
// file name when that is a date, as daily logs are named, else the date of its
// first row that has one), else the log's own name, with ".xlsx".
std::string DefaultReportName(const std::string& firstLog,
                              const std::vector<results::RowTexts>& rows) {
  const std::string stem = std::filesystem::path(firstLog).stem().string();
  if (stem.size() == 8 && IsDigits(stem)) return stem + ".xlsx";
  for (const auto& row : rows) {
    const std::string date = DateOfTime(row[results::ColumnIndex(results::Column::Time)]);
    if (!date.empty()) return date + ".xlsx";
  }
  return (stem.empty() ? std::string("report") : stem) + ".xlsx";
}

}  // namespace

int RunReport(const std::vector<std::string>& args) {
  std::string output;
  std::vector<std::string> logs;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "-o") {
      if (i + 1 >= args.size() || args[i + 1].empty()) {
        std::fputs("orvana-cli: -o needs a file name\n", stderr);
        return 64;
      }
      output = args[++i];
    } else {
      logs.push_back(args[i]);
    }
  }
  if (logs.empty()) {
    std::fputs("usage: orvana-cli report [-o FILE.xlsx] LOG...\n", stderr);
    return 64;
  }

  // Every log is read before anything is written: one that cannot be read
  // means no report, rather than a report that silently lacks a day.
  std::vector<std::vector<results::RowTexts>> contents;
  for (const std::string& log : logs) {
    std::string error;
    auto rows = records::ReadLogFile(log, error);
    if (!rows) {
      std::fprintf(stderr, "orvana-cli: cannot read %s: %s\n", log.c_str(), error.c_str());
      return 2;
    }
    contents.push_back(std::move(*rows));
  }
  if (output.empty()) output = DefaultReportName(logs.front(), contents.front());

  // The rows the window's import would give, one log after another, in an
  // empty table.
  results::ResultsTable table;
  for (auto& rows : contents) records::PlaceImportedRows(table, std::move(rows));

  const app::MessageTexts texts = app::LoadMessageTexts(std::filesystem::current_path().string());
  records::ReportContent content;
  content.rows = records::ReportRows::FromTable(table);
  content.columnTitles = {texts.disten,  texts.loss,      texts.refl,
                          texts.allloss, texts.eventtype, texts.timedata};
  content.settings = results::TestSettings::StartValues();
  content.exportTime = common::SystemClock().Now();
  const records::WorkbookResult result = records::WriteWorkbook(output, content);
  if (!result.Written()) {
    std::fprintf(stderr, "orvana-cli: %s\n", result.error.c_str());
    return 1;
  }
  std::printf("%s\n", output.c_str());
  return 0;
}

}  // namespace orvana::cli
