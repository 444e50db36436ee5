#include "cli/report.h"

#include <cstdio>
#include <filesystem>
#include <utility>

#include "cli/database_link.h"
#include "common/clock.h"
#include "records/log_import.h"
#include "records/workbook_file.h"
#include "records/workbook_writer.h"
#include "results/column.h"
#include "results/results_table.h"
#include "results/settings_record.h"
#include "results/time_text.h"
#include "store/record_queries.h"
#include "texts/message_texts.h"
#include "texts/work_place.h"

namespace orvana::cli {
namespace {

constexpr const char* kUsage =
    "usage: orvana-cli report [-o FILE.xlsx] LOG...\n"
    "       orvana-cli report --from-database [--database CONNINFO] [--since YYYY-MM-DD]\n"
    "                         [--until YYYY-MM-DD] [--bench NAME] [--order NUMBER]\n"
    "                         [-o FILE.xlsx]\n";
constexpr int kExitUsage = 64;
constexpr int kExitNotWritten = 1;
constexpr int kExitUnreadable = 2;

bool IsDigits(std::string_view text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

// "YYYYMMDD" of a time text, or empty.
std::string DateOfTime(std::string_view text) {
  const auto time = results::ParseTimestamp(text);
  if (!time) return {};
  char date[16];
  std::snprintf(date, sizeof date, "%04d%02d%02d", time->year, time->month, time->day);
  return date;
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

// Written as every workbook to a user's name is; a run stopped by a signal
// leaves no partial workbook behind.
int WriteReport(const records::WorkbookTarget& target, const records::ReportContent& content) {
  const records::WorkbookResult result =
      records::WriteWorkbookTo(target, content, {}, /*removeOnStopSignal=*/true);
  if (result.Written()) return 0;
  std::fprintf(stderr, "orvana-cli: %s\n", result.error.c_str());
  return kExitNotWritten;
}

// The line's report: the record's rows that pass the filter, oldest first,
// with their bench in column I.
int ReportFromDatabase(const std::string& conninfo, const store::ReportFilter& filter,
                       std::string output) {
  if (const std::string why = store::CheckFilter(filter); !why.empty()) {
    std::fprintf(stderr, "orvana-cli: %s\n", why.c_str());
    return kExitUsage;
  }
  const common::LocalTime now = common::SystemClock().Now();
  if (output.empty()) {
    char name[32];
    std::snprintf(name, sizeof name, "record-%04d%02d%02d.xlsx", now.year, now.month, now.day);
    output = name;
  }
  records::WorkbookTarget target;
  std::string why = records::ResolveWorkbookTarget(output, {}, target);
  if (!why.empty()) {
    std::fprintf(stderr, "orvana-cli: will not write the report to %s: %s\n", output.c_str(),
                 why.c_str());
    return kExitNotWritten;
  }
  store::PgLink link;
  if (!OpenRecord(link, conninfo)) return kExitNoDatabase;
  const texts::MessageTexts texts =
      texts::LoadMessageTextFile(texts::FindWorkPlaceOfProcess({}).languageFile);
  records::ReportContent content;
  content.rows = records::ReportRows::WithColumns(results::kColumnCount + 1);
  content.columnTitles = texts::TableColumnTitles(texts);
  content.settings = results::TestSettings::StartValues();
  content.exportTime = now;
  content.extraColumnTitle = texts.benchtitle;
  bool complete = true;
  why = store::QueryReportRows(link, filter, [&](const store::ReportRowTexts& row) {
    complete = complete && content.rows.AppendRow(row);
  });
  if (!why.empty()) {
    std::fprintf(stderr, "orvana-cli: %s\n", why.c_str());
    return kExitNoDatabase;
  }
  if (!complete) {
    std::fputs(
        "orvana-cli: the report would be too large for one workbook: narrow it with "
        "--since, --until, --bench or --order\n",
        stderr);
    return kExitNotWritten;
  }
  const int status = WriteReport(target, content);
  if (status == 0) std::printf("%s\n", output.c_str());
  return status;
}

}  // namespace

int RunReport(const std::vector<std::string>& args) {
  std::string output;
  std::vector<std::string> logs;
  bool fromDatabase = false;
  std::string conninfo;
  store::ReportFilter filter;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string* value = args[i] == "--database" ? &conninfo
                         : args[i] == "--since"  ? &filter.since
                         : args[i] == "--until"  ? &filter.until
                         : args[i] == "--bench"  ? &filter.bench
                         : args[i] == "--order"  ? &filter.order
                                                 : nullptr;
    if (args[i] == "--from-database") {
      fromDatabase = true;
    } else if (value != nullptr) {
      if (i + 1 >= args.size() || args[i + 1].empty()) {
        std::fprintf(stderr, "orvana-cli: %s needs a value\n", args[i].c_str());
        std::fputs(kUsage, stderr);
        return kExitUsage;
      }
      *value = args[++i];
    } else if (args[i] == "-o") {
      if (i + 1 >= args.size() || args[i + 1].empty()) {
        std::fputs("orvana-cli: -o needs a file name\n", stderr);
        std::fputs(kUsage, stderr);
        return kExitUsage;
      }
      output = args[++i];
    } else if (args[i].size() > 1 && args[i][0] == '-') {
      std::fprintf(stderr, "orvana-cli: unknown option %s\n", args[i].c_str());
      std::fputs(kUsage, stderr);
      return kExitUsage;
    } else {
      logs.push_back(args[i]);
    }
  }
  const bool filtered = !conninfo.empty() || !filter.since.empty() || !filter.until.empty() ||
                        !filter.bench.empty() || !filter.order.empty();
  if (fromDatabase && logs.empty()) return ReportFromDatabase(conninfo, filter, output);
  if (fromDatabase || filtered || logs.empty()) {
    std::fputs(kUsage, stderr);
    return kExitUsage;
  }

  // Every log is read before anything is written: one that cannot be read
  // means no report, rather than a report that silently lacks a day.
  std::vector<std::vector<results::RowTexts>> contents;
  std::vector<records::FileId> logFiles;
  for (const std::string& log : logs) {
    std::string error;
    records::ImportSummary summary;
    auto rows = records::ReadLogFile(log, error, &summary);
    if (!rows) {
      std::fprintf(stderr, "orvana-cli: cannot read %s: %s\n", log.c_str(), error.c_str());
      return kExitUnreadable;
    }
    if (summary.skippedTooLong > 0) {
      std::fprintf(stderr, "orvana-cli: %s: %zu lines skipped (longer than %zu bytes)\n",
                   log.c_str(), summary.skippedTooLong, records::kLongestLogLine);
    }
    if (summary.damaged > 0) {
      std::fprintf(stderr, "orvana-cli: %s: %zu damaged lines skipped (torn by a crash)\n",
                   log.c_str(), summary.damaged);
    }
    if (records::FileId id; records::IdOfFile(log, id)) logFiles.push_back(id);
    contents.push_back(std::move(*rows));
  }
  if (output.empty()) output = DefaultReportName(logs.front(), contents.front());

  records::WorkbookTarget target;
  if (const std::string why = records::ResolveWorkbookTarget(output, logFiles, target);
      !why.empty()) {
    std::fprintf(stderr, "orvana-cli: will not write the report to %s: %s\n", output.c_str(),
                 why.c_str());
    return kExitNotWritten;
  }

  // The days one after another, in the order given, each in its own order:
  // a report is read from top to bottom, unlike the window's table, where
  // each import goes in after the first row.
  results::ResultsTable table;
  for (auto& rows : contents) table.InsertRows(table.RowCount(), std::move(rows));

  const texts::MessageTexts texts =
      texts::LoadMessageTextFile(texts::FindWorkPlaceOfProcess({}).languageFile);
  const records::ReportContent content = records::BuildReportContent(
      table, records::ReportInformation{}, results::TestSettings::StartValues(),
      texts::TableColumnTitles(texts), common::SystemClock().Now());
  const int status = WriteReport(target, content);
  if (status == 0) std::printf("%s\n", output.c_str());
  return status;
}

}  // namespace orvana::cli
