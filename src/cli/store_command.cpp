#include "cli/store_command.h"

#include <cstdio>
#include <optional>

#include "cli/database_link.h"
#include "cli/json_text.h"
#include "common/clock.h"
#include "records/log_import.h"
#include "store/batch_insert.h"
#include "store/logged_result.h"
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
      "--   GRANT SELECT ON orvana.schema_version TO bench_7;\n"
      "-- Reports and orvana-cli store LOG... also read the results:\n"
      "--   GRANT SELECT ON orvana.results TO reporting_role;\n",
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
  size_t stored = 0;   // new in the record
  size_t live = 0;     // left out: the bench sent them live
  size_t refused = 0;  // the database would not take them
};

int StoreLogs(const std::string& conninfo, const std::string& benchName,
              const std::vector<std::string>& logs) {
  for (const std::string& log : logs) {
    if (store::DayOfLogName(log).empty()) {
      std::fprintf(stderr, "orvana-cli: %s: not a day log (named YYYYMMDD.txt)\n", log.c_str());
      return kExitUnreadable;
    }
  }
  store::PgLink link;
  if (!OpenRecord(link, conninfo)) return kExitNoDatabase;
  const std::string bench =
      benchName.empty() ? store::StoreConfigFromEnvironment(conninfo).bench : benchName;
  // From the bench's first live result on, its lines are in the record
  // already, under their own keys; storing them again would count them twice.
  std::optional<long long> liveFrom;
  if (const std::string why = store::QueryFirstLiveResult(link, bench, liveFrom); !why.empty()) {
    std::fprintf(stderr, "orvana-cli: %s\n", why.c_str());
    return kExitNoDatabase;
  }

  for (const std::string& log : logs) {
    const std::string day = store::DayOfLogName(log);
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
          store::StoredResult result = store::LoggedResult(day, summary.line, fields);
          if (liveFrom &&
              common::MomentOf(store::LoggedTime(day, result.timeText)) >= *liveFrom) {
            ++count.live;
            return;
          }
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
    std::string line = "{\"log\":";
    AppendJsonString(line, log);
    line += ",\"lines\":" + std::to_string(count.lines) +
            ",\"stored\":" + std::to_string(count.stored) + ",\"present\":" +
            std::to_string(count.lines - count.stored - count.live - count.refused) +
            ",\"live\":" + std::to_string(count.live) +
            ",\"refused\":" + std::to_string(count.refused) + "}\n";
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
