#include "cli/store_command.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string_view>
#include <unordered_map>

#include "cli/database_link.h"
#include "cli/json_text.h"
#include "common/clock.h"
#include "records/log_import.h"
#include "store/batch_insert.h"
#include "store/logged_result.h"
#include "store/outbox.h"
#include "store/outbox_line.h"
#include "store/record_queries.h"
#include "store/schema.h"
#include "store/store_config.h"

namespace orvana::cli {
namespace {

constexpr const char* kUsage =
    "usage: orvana-cli store [--database CONNINFO] [--bench NAME] LOG...\n"
    "       orvana-cli store --status [--database CONNINFO]\n"
    "       orvana-cli store --schema\n";
constexpr int kExitUsage = 64;
constexpr int kExitUnreadable = 2;
constexpr size_t kBatch = 5000;

int Usage() {
  std::fputs(kUsage, stderr);
  return kExitUsage;
}

// What a database's owner runs once, and what a bench's role needs.
void PrintSchema() {
  std::fputs(store::SchemaSql().c_str(), stdout);
  std::fputs(
      "\n-- A bench needs no more than this (its password goes into the bench's ~/.pgpass):\n"
      "--   CREATE ROLE bench_7 LOGIN;\n"
      "--   GRANT USAGE ON SCHEMA orvana TO bench_7;\n"
      "--   GRANT INSERT ON orvana.results TO bench_7;\n"
      "--   GRANT INSERT ON orvana.records TO bench_7;  -- the records a meter uploads\n"
      "--   GRANT SELECT ON orvana.schema_version TO bench_7;\n"
      "-- Reports and orvana-cli store LOG... also read the results:\n"
      "--   GRANT SELECT ON orvana.results TO reporting_role;\n"
      "-- A database made by an earlier version gains the records' table and the results'\n"
      "-- verdict (pass) when its owner runs this again; until then a bench keeps its\n"
      "-- uploaded records in its own files. Adding the verdict rewrites orvana.results\n"
      "-- once, which holds up its readers and the benches' inserts meanwhile (the benches\n"
      "-- keep their results in their outboxes and send them after).\n",
      stdout);
}

int Status(const std::string& conninfo) {
  store::PgLink link;
  if (!OpenRecord(link, conninfo)) return kExitNoDatabase;
  std::vector<store::BenchStatus> benches;
  if (const std::string why = store::QueryBenchStatus(link, benches); !why.empty()) {
    std::fprintf(stderr, "orvana-cli: %s\n", why.c_str());
    return kExitNoDatabase;
  }
  for (const store::BenchStatus& bench : benches) {
    std::string line = "{\"bench\":";
    AppendJsonString(line, bench.bench);
    line += ",\"results\":" + std::to_string(bench.results) + ",\"last\":";
    AppendJsonString(line, bench.last);
    line += "}\n";
    std::fputs(line.c_str(), stdout);
  }
  return std::fflush(stdout) == 0 ? 0 : 4;
}

struct LogCount {
  size_t lines = 0;    // result lines in the log
  size_t queued = 0;   // of them, waiting in the bench's outbox: it sends them itself
  size_t missing = 0;  // of them, neither in the record nor queued
  size_t stored = 0;   // of those, stored now
  size_t refused = 0;  // of those, the database would not take
};

// A result as its logged texts say it, to match a log's lines with what the
// record holds: the same six texts are the same line, whoever sent it.
std::string MatchText(const std::array<std::string_view, 6>& texts) {
  std::string joined;
  for (const std::string_view text : texts) joined.append(text).push_back('\x1f');
  return joined;
}

// How often the bench's outbox beside the log (and what a run saved for it
// in the unsaved folders) holds each line of the day, not yet sent: the
// bench sends those itself, under their own keys, and storing them here
// too would put them in the record twice.
void QueuedTexts(const std::string& log, const std::string& bench, const std::string& day,
                 std::unordered_map<std::string, size_t>& queued) {
  const std::string prefix = day.substr(0, 4) + "/" + day.substr(4, 2) + "/" + day.substr(6, 2);
  const auto count = [&](const store::StoredResult& result) {
    if (result.bench != bench || result.timeText.compare(0, prefix.size(), prefix) != 0) return;
    ++queued[MatchText({result.serial, result.texts[0], result.texts[1], result.texts[2],
                        result.texts[3], result.timeText})];
  };
  const std::filesystem::path folder = std::filesystem::path(log).parent_path() / "outbox";
  store::OutboxReader reader(folder.empty() ? std::string("outbox") : folder.string());
  for (const store::StoredResult& result : reader.Next(SIZE_MAX).results) count(result);
  for (const std::string& unsaved : records::UnsavedLineFolders()) {
    for (const std::string& path : store::OutboxFilesIn(unsaved)) {
      std::vector<std::string> lines;
      if (!store::ReadOutboxLines(path, lines)) continue;
      for (const std::string& line : lines) {
        if (auto result = store::ParseOutboxLine(line)) count(*result);
      }
    }
  }
}

// How often the record holds each logged line of the bench's day.
std::string RecordedTexts(store::PgLink& link, const std::string& bench, const std::string& day,
                          std::unordered_map<std::string, size_t>& held) {
  return store::QueryDayTexts(link, bench, day, [&](const store::ReportRowTexts& row) {
    ++held[MatchText({row[0], row[1], row[2], row[3], row[4], row[5]})];
  });
}

int StoreLogs(const std::string& conninfo, const std::string& benchName,
              const std::vector<std::string>& logs) {
  for (const std::string& log : logs) {
    if (records::DayOfLogName(log).empty()) {
      std::fprintf(stderr, "orvana-cli: %s: not a day log (named YYYYMMDD.txt)\n", log.c_str());
      return kExitUnreadable;
    }
  }
  store::PgLink link;
  if (!OpenRecord(link, conninfo)) return kExitNoDatabase;
  const std::string bench = store::StorableText(
      benchName.empty() ? store::StoreConfigFromEnvironment(conninfo).bench : benchName);

  for (const std::string& log : logs) {
    const std::string day = records::DayOfLogName(log);
    // What the record holds of the day, however it got there (sent live, or
    // by an earlier store): only the lines beyond that are missing. Two
    // equal lines need two equal rows.
    std::unordered_map<std::string, size_t> held;
    if (const std::string why = RecordedTexts(link, bench, day, held); !why.empty()) {
      std::fprintf(stderr, "orvana-cli: %s\n", why.c_str());
      return kExitNoDatabase;
    }
    std::unordered_map<std::string, size_t> queued;
    QueuedTexts(log, bench, day, queued);
    LogCount count;
    std::vector<store::StoredResult> batch;
    std::string failure;
    const auto send = [&] {
      if (batch.empty() || !failure.empty()) return;
      const store::InsertOutcome outcome = store::InsertResults(link, batch);
      if (!outcome.Done()) {
        failure = outcome.reply.message;
      } else {
        count.stored += outcome.inserted;
        count.refused += outcome.refused.size();
      }
      batch.clear();
    };
    records::ImportSummary summary;
    std::string error;
    const bool read = records::ForEachLogRow(
        log,
        [&](const records::RowFields& fields) {
          ++count.lines;
          store::StoredResult result = store::StoredResultOfLine(day, summary.line, fields);
          const std::string match = MatchText({result.serial, result.texts[0], result.texts[1],
                                               result.texts[2], result.texts[3], result.timeText});
          const auto take = [&match](std::unordered_map<std::string, size_t>& texts) {
            const auto found = texts.find(match);
            if (found == texts.end() || found->second == 0) return false;
            --found->second;
            return true;
          };
          if (take(held)) return;
          if (take(queued)) {
            ++count.queued;
            return;
          }
          ++count.missing;
          result.bench = bench;
          batch.push_back(std::move(result));
          if (batch.size() >= kBatch) send();
        },
        summary, error);
    send();
    if (!read) {
      std::fprintf(stderr, "orvana-cli: cannot read %s: %s\n", log.c_str(), error.c_str());
      return kExitUnreadable;
    }
    if (!failure.empty()) {
      std::fprintf(stderr, "orvana-cli: %s: %s\n", log.c_str(), failure.c_str());
      return kExitNoDatabase;
    }
    // Lines that are no result are told, never stored cut short.
    if (summary.skippedTooLong > 0 || summary.damaged > 0) {
      std::fprintf(stderr,
                   "orvana-cli: %s: %zu lines skipped (longer than %zu bytes), %zu damaged lines "
                   "skipped (torn by a crash)\n",
                   log.c_str(), summary.skippedTooLong, records::kLongestLogLine, summary.damaged);
    }
    std::string line = "{\"log\":";
    AppendJsonString(line, log);
    line += ",\"lines\":" + std::to_string(count.lines) +
            ",\"stored\":" + std::to_string(count.stored) + ",\"present\":" +
            std::to_string(count.lines - count.stored - count.refused - count.queued) +
            ",\"queued\":" + std::to_string(count.queued) +
            ",\"missing\":" + std::to_string(count.missing) +
            ",\"refused\":" + std::to_string(count.refused) +
            ",\"skipped\":" + std::to_string(summary.skippedTooLong) +
            ",\"damaged\":" + std::to_string(summary.damaged) + "}\n";
    std::fputs(line.c_str(), stdout);
    std::fflush(stdout);
  }
  return 0;
}

}  // namespace

int RunStore(const std::vector<std::string>& args) {
  std::string conninfo;
  std::string bench;
  bool status = false;
  bool schema = false;
  std::vector<std::string> logs;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--database" || arg == "--bench") {
      if (i + 1 >= args.size() || args[i + 1].empty()) {
        std::fprintf(stderr, "orvana-cli: %s needs a value\n", arg.c_str());
        return Usage();
      }
      (arg == "--database" ? conninfo : bench) = args[++i];
    } else if (arg == "--status") {
      status = true;
    } else if (arg == "--schema") {
      schema = true;
    } else if (arg.size() > 1 && arg[0] == '-') {
      std::fprintf(stderr, "orvana-cli: unknown option %s\n", arg.c_str());
      return Usage();
    } else {
      logs.push_back(arg);
    }
  }
  if (schema) {
    if (status || !logs.empty() || !conninfo.empty() || !bench.empty()) return Usage();
    PrintSchema();
    return 0;
  }
  if (status) return logs.empty() && bench.empty() ? Status(conninfo) : Usage();
  if (logs.empty()) return Usage();
  return StoreLogs(conninfo, bench, logs);
}

}  // namespace orvana::cli
