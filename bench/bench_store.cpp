// The result store against a real PostgreSQL server of its own (started in a
// scratch folder, as the tests do). Run by hand:
//
//   bench_store [--backlog N] [--seconds S] [--pace-seconds P]
//
//   1. Forwarding throughput: N results (200,000) waiting in an outbox, as a
//      bench that was cut off for a day would have; the time until the
//      database has committed them all, and results/s.
//   2. Latency at the meter's pace: a result every 25 ms for S seconds (20),
//      and for each the time from Record() until the forwarder has seen its
//      batch committed: median, 99th percentile and the longest.
//   3. In this process alone, at the same pace: the CPU per result of the
//      day log, and of the store (its outbox and its forwarder).
//   4. The station's CPU at the meter's pace, without and with the database:
//      bench_road pace --seconds P (15) twice, the second with --database.
//
// Exit status 1 when a result went missing, 2 for a setup failure.
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "bench_support.h"
#include "records/daily_log.h"
#include "store/outbox.h"
#include "store/result_store.h"
#include "store/schema.h"
#include "support/pg_cluster.h"
#include "support/temp_folder.h"

namespace {

using namespace orvana;
using namespace std::chrono_literals;
using bench::Clock;

constexpr common::LocalTime kDay{2026, 12, 9, 10, 0, 0};

store::StoredResult Result(int n) {
  store::StoredResult r;
  r.serial = "SN-" + std::to_string(n);
  r.timeText = "2026/12/09 10:00:00";
  r.recordedAt = "2026-12-09T10:00:00+00:00";
  r.texts = {"-0.21", "56.3", "-0.35", "54.0"};
  r.values = {-0.21f, 56.3f, -0.35f, 54.0f};
  r.passed = {true, true, false, false};
  r.thresholds = {-0.3f, 55.0f, -0.3f, 55.0f};
  r.wavelengths = "1310nm/1625nm";
  r.productNumber = "P-100";
  r.orderNumber = "4711";
  return r;
}

long long Rows(const testing::PgCluster& server) {
  return std::atoll(server.Sql("SELECT count(*) FROM orvana.results").c_str());
}

bool Throughput(const testing::PgCluster& server, int backlog) {
  testing::TempFolder work;
  const std::string outbox = work.Path() + "/outbox";
  {
    // The backlog, written the way the station writes it (the keys are the
    // store's), with no database configured.
    store::OutboxWriter writer(outbox);
    for (int n = 0; n < backlog; ++n) {
      store::StoredResult r = Result(n);
      r.key = store::NewResultKey();
      r.bench = "backlog";
      writer.Append(kDay, r);
    }
  }
  const long long before = Rows(server);
  const auto start = Clock::now();
  store::ResultStore bench(store::StoreConfig{server.Conninfo(), "backlog"}, outbox, {},
                           {outbox + "/unsaved"});
  while (bench.Sent() < static_cast<size_t>(backlog) && Clock::now() - start < 600s) {
    std::this_thread::sleep_for(1ms);
  }
  const double seconds = bench::Seconds(Clock::now() - start);
  const long long stored = Rows(server) - before;
  std::printf("throughput: %d results from the outbox in %.2f s: %.0f results/s; %lld rows%s\n",
              backlog, seconds, backlog / seconds, stored,
              stored == backlog ? "" : "  << RESULTS MISSING");
  return stored == backlog;
}

bool Latency(const testing::PgCluster& server, int seconds) {
  testing::TempFolder work;
  store::ResultStore bench(store::StoreConfig{server.Conninfo(), "paced"}, work.Path() + "/outbox",
                           {}, {work.Path() + "/unsaved"});
  // Connected and caught up before the first result.
  while (bench.TakeEvents().empty()) std::this_thread::sleep_for(1ms);
  const int count = seconds * 40;
  std::vector<Clock::time_point> recorded(static_cast<size_t>(count));
  std::vector<Clock::time_point> committed(static_cast<size_t>(count));
  std::atomic<bool> done{false};
  // Sent() moves once a batch is committed: the moment a result is in.
  std::thread watcher([&] {
    size_t seen = 0;
    while (seen < static_cast<size_t>(count) && !done) {
      const size_t sent = std::min(bench.Sent(), static_cast<size_t>(count));
      const auto now = Clock::now();
      for (; seen < sent; ++seen) committed[seen] = now;
      std::this_thread::sleep_for(200us);
    }
  });
  const auto start = Clock::now();
  for (int n = 0; n < count; ++n) {
    bench::SleepUntil(start + n * 25ms);
    recorded[static_cast<size_t>(n)] = Clock::now();
    bench.Record(kDay, Result(n));
  }
  const bool all = bench.WaitUntilSent(10s);
  done = true;
  watcher.join();
  std::vector<double> delays;
  for (int n = 0; n < count; ++n) {
    const auto index = static_cast<size_t>(n);
    delays.push_back(1000 * bench::Seconds(committed[index] - recorded[index]));
  }
  std::sort(delays.begin(), delays.end());
  std::printf(
      "latency at 40 results/s for %d s: %d results; record to commit median %.0f ms, "
      "99th percentile %.0f ms, longest %.0f ms%s\n",
      seconds, count, delays[delays.size() / 2], delays[delays.size() * 99 / 100], delays.back(),
      all ? "" : "  << RESULTS MISSING");
  return all;
}

double ProcessCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return bench::CpuSeconds(usage);
}

// What the store costs the station beside what its day log costs, both at
// the meter's pace and in this process alone: the day log appending a line
// per result, then the store recording each into its outbox and forwarding
// it. CPU per result, every thread counted.
bool CostAtPace(const testing::PgCluster& server, int seconds) {
  testing::TempFolder work;
  const int count = seconds * 40;
  const auto paced = [&](const auto& record) {
    const double before = ProcessCpuSeconds();
    const auto start = Clock::now();
    for (int n = 0; n < count; ++n) {
      bench::SleepUntil(start + n * 25ms);
      record(n);
    }
    return ProcessCpuSeconds() - before;
  };
  // Waking 40 times a second costs something of its own; it is the same in
  // both and taken off.
  const double wakeCpu = paced([](int) {});
  double logCpu = 0;
  {
    records::DailyLog log(work.Path() + "/Savetemp");
    logCpu = paced([&](int n) {
      log.Append(kDay, "SN-" + std::to_string(n), {"-0.21", "56.3", "-0.35", "54.0"},
                 "2026/12/09 10:00:00");
    });
  }
  double storeCpu = 0;
  bool all = false;
  {
    store::ResultStore bench(store::StoreConfig{server.Conninfo(), "cost"}, work.Path() + "/outbox",
                             {}, {work.Path() + "/unsaved"});
    storeCpu = paced([&](int n) { bench.Record(kDay, Result(n)); });
    all = bench.WaitUntilSent(10s);
  }
  logCpu -= wakeCpu;
  storeCpu -= wakeCpu;
  std::printf(
      "cost at 40 results/s for %d s (beside %.1f us to wake for each): day log %.1f us "
      "CPU/result (%.3f %% of a core), store %.1f us CPU/result (%.3f %% of a core)%s\n",
      seconds, wakeCpu * 1e6 / count, logCpu * 1e6 / count, 100 * logCpu / seconds,
      storeCpu * 1e6 / count, 100 * storeCpu / seconds, all ? "" : "  << RESULTS MISSING");
  return all;
}

int RoadPace(const std::string& database, int seconds) {
  std::string command =
      std::string(ORVANA_BENCH_ROAD_PATH) + " pace --seconds " + std::to_string(seconds);
  if (!database.empty()) command += " --database '" + database + "'";
  std::printf("%s database:\n", database.empty() ? "without a" : "with the");
  std::fflush(stdout);
  return std::system(command.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  int backlog = 200000;
  int seconds = 20;
  int paceSeconds = 15;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    const int value = std::max(1, std::atoi(argv[i + 1]));
    if (option == "--backlog") {
      backlog = value;
    } else if (option == "--seconds") {
      seconds = value;
    } else if (option == "--pace-seconds") {
      paceSeconds = value;
    } else {
      std::fputs("usage: bench_store [--backlog N] [--seconds S] [--pace-seconds P]\n", stderr);
      return 2;
    }
  }
  setenv("ORVANA_TRACE", "off", 1);
  try {
    testing::PgCluster server;
    server.Sql(store::SchemaSql());
    bool ok = Throughput(server, backlog);
    ok = Latency(server, seconds) && ok;
    ok = CostAtPace(server, seconds) && ok;
    ok = RoadPace({}, paceSeconds) == 0 && ok;
    ok = RoadPace(server.Conninfo(), paceSeconds) == 0 && ok;
    return ok ? 0 : 1;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "bench_store: %s\n", error.what());
    return 2;
  }
}
