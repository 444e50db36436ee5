#include "cli/report.h"

#include <cstdio>
#include <filesystem>
#include <optional>
#include <utility>

#include "cli/database_link.h"
#include "common/clock.h"
#include "platform/open_file.h"
#include "records/log_import.h"
#include "records/regular_file.h"
#include "records/report_content.h"
#include "records/workbook_file.h"
#include "records/workbook_writer.h"
#include "results/column.h"
#include "results/settings_record.h"
#include "results/time_text.h"
#include "store/record_queries.h"
#include "texts/message_texts.h"
#include "texts/report_words.h"
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

// A log that cannot be read, as the report has always told it.
void TellUnreadable(const std::string& log, const std::string& error) {
  std::fprintf(stderr, "orvana-cli: cannot read %s: %s\n", log.c_str(), error.c_str());
}

void TellSkipped(const std::string& log, const records::ImportSummary& summary) {
  if (summary.skippedTooLong > 0) {
    std::fprintf(stderr, "orvana-cli: %s: %zu lines skipped (longer than %zu bytes)\n", log.c_str(),
                 summary.skippedTooLong, records::kLongestLogLine);
  }
  if (summary.damaged > 0) {
    std::fprintf(stderr, "orvana-cli: %s: %zu damaged lines skipped (torn by a crash)\n",
                 log.c_str(), summary.damaged);
  }
}

// The workbook's name when none is given: the date of the first log (its
// file name when that is a date, as daily logs are named, else the date of its
// first row that has one), else the log's own name, with ".xlsx". Nothing
// when the log had to be read and could not be (`error` says why).
std::optional<std::string> DefaultReportName(const std::string& firstLog, std::string& error) {
  const std::string stem = std::filesystem::path(firstLog).stem().string();
  if (stem.size() == 8 && IsDigits(stem)) return stem + ".xlsx";
  std::string date;
  records::ImportSummary summary;
  const bool read = records::ForEachLogRow(
      firstLog,
      [&](const records::RowFields& fields) {
        if (date.empty()) date = DateOfTime(fields[results::ColumnIndex(results::Column::Time)]);
      },
      summary, error);
  if (!read) return std::nullopt;
  if (!date.empty()) return date + ".xlsx";
  return (stem.empty() ? std::string("report") : stem) + ".xlsx";
}

// Refuses what cannot be a log before anything is written, in the words the
// reading itself would use: the usual way a report fails costs no writing.
bool CheckLogs(const std::vector<std::string>& logs) {
  for (const std::string& log : logs) {
    const records::RegularFile file = records::OpenRegularFile(log, platform::OpenMode::Read);
    if (!file.Opened()) {
      TellUnreadable(log, "Cannot open " + log + ": " + file.Reason());
      return false;
    }
    platform::CloseFile(file.fd);
  }
  return true;
}

// Both reports are made the one way: their rows, wherever they come from,
// under the bench's column titles, with the settings the program starts with
// and no report information. Written as every workbook to a user's name is;
// a run stopped by a signal leaves no partial workbook behind.
records::WorkbookResult WriteReport(const records::WorkbookTarget& target,
                                    records::ReportRowSource rows, const texts::MessageTexts& texts,
                                    std::string extraColumnTitle, const common::LocalTime& now) {
  const records::ReportContent content = records::BuildReportContent(
      std::move(rows), records::ReportInformation{}, results::TestSettings::StartValues(),
      texts::TableColumnTitles(texts), now, std::move(extraColumnTitle),
      texts::ReportWordsFor(texts));
  return records::WriteWorkbookTo(target, content, {}, /*removeOnStopSignal=*/true);
}

texts::MessageTexts BenchTexts() {
  return texts::LoadMessageTextFile(texts::FindWorkPlaceOfProcess({}).languageFile);
}

// The line's report: the record's rows that pass the filter, oldest first,
// with their bench in column I, written as they arrive from the server.
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
  if (const std::string why = records::ResolveWorkbookTarget(output, {}, target); !why.empty()) {
    std::fprintf(stderr, "orvana-cli: will not write the report to %s: %s\n", output.c_str(),
                 why.c_str());
    return kExitNotWritten;
  }
  store::PgLink link;
  if (!OpenRecord(link, conninfo)) return kExitNoDatabase;
  const texts::MessageTexts texts = BenchTexts();
  std::string queryError;
  const auto rows = records::ReportRowSource::Streamed(
      results::kColumnCount + 1, [&](const records::ReportRowSink& sink) {
        bool taking = true;
        // The server sends what is left even once the workbook takes no
        // more; it is passed over.
        queryError = store::QueryReportRows(
            link, filter, [&](const store::ReportRowTexts& row) { taking = taking && sink(row); });
        return queryError;
      });
  const records::WorkbookResult result = WriteReport(target, rows, texts, texts.benchtitle, now);
  if (!queryError.empty()) {
    std::fprintf(stderr, "orvana-cli: %s\n", queryError.c_str());
    return kExitNoDatabase;
  }
  if (!result.Written()) {
    std::fprintf(stderr, "orvana-cli: %s\n", result.error.c_str());
    return kExitNotWritten;
  }
  std::printf("%s\n", output.c_str());
  return 0;
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

  // Every log is read before the workbook takes its name (it is written in a
  // private folder while they are read): one that cannot be read means no
  // report, rather than a report that silently lacks a day.
  if (!CheckLogs(logs)) return kExitUnreadable;
  if (output.empty()) {
    std::string error;
    const std::optional<std::string> name = DefaultReportName(logs.front(), error);
    if (!name) {
      TellUnreadable(logs.front(), error);
      return kExitUnreadable;
    }
    output = *name;
  }
  std::vector<records::FileId> logFiles;
  for (const std::string& log : logs) {
    if (records::FileId id; records::IdOfFile(log, id)) logFiles.push_back(id);
  }
  records::WorkbookTarget target;
  if (const std::string why = records::ResolveWorkbookTarget(output, logFiles, target);
      !why.empty()) {
    std::fprintf(stderr, "orvana-cli: will not write the report to %s: %s\n", output.c_str(),
                 why.c_str());
    return kExitNotWritten;
  }

  records::LogReading reading;
  const records::WorkbookResult result = WriteReport(target, records::LogReportRows(logs, reading),
                                                     BenchTexts(), {}, common::SystemClock().Now());
  for (size_t i = 0; i < reading.summaries.size(); ++i) TellSkipped(logs[i], reading.summaries[i]);
  if (!reading.failedLog.empty()) {
    TellUnreadable(reading.failedLog, reading.error);
    return kExitUnreadable;
  }
  if (!result.Written()) {
    std::fprintf(stderr, "orvana-cli: %s\n", result.error.c_str());
    return kExitNotWritten;
  }
  std::printf("%s\n", output.c_str());
  return 0;
}

}  // namespace orvana::cli
