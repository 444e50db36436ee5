#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "store/result_store.h"
#include "store/stored_result.h"
#include "support/pg_cluster.h"
#include "support/temp_folder.h"

// A bench's store against a real server of the test's own, and what the
// tests ask of the database.
namespace orvana::store {

inline constexpr std::chrono::seconds kPatience{60};
inline constexpr common::LocalTime kDay{2026, 12, 9, 10, 0, 0};

// Results told apart by their serial.
inline StoredResult Numbered(int n) {
  StoredResult r;
  r.serial = "SN-" + std::to_string(n);
  r.timeText = "2026/12/09 10:00:00";
  r.recordedAt = "2026-12-09T10:00:00+00:00";
  r.texts = {"-0.21", "56.3", "-0.35", "54.0"};
  r.values = {-0.21f, 56.3f, -0.35f, 54.0f};
  r.passed = {true, true, false, false};
  r.thresholds = {-0.3f, 55.0f, -0.3f, 55.0f};
  r.wavelengths = "1310nm/1625nm";
  r.orderNumber = "4711";
  return r;
}

// Retries fast, so the tests do not wait on the back-off.
inline ForwarderOptions QuickRetries() {
  ForwarderOptions options;
  options.firstRetry = std::chrono::milliseconds(50);
  options.lastRetry = std::chrono::milliseconds(500);
  options.silenceLimit = std::chrono::seconds(3);
  return options;
}

class StoreTest : public ::testing::Test {
 protected:
  std::unique_ptr<ResultStore> Bench(const std::string& name, const std::string& conninfo) {
    // Unsaved results of the tests' own, never the user's.
    return std::make_unique<ResultStore>(StoreConfig{conninfo, name},
                                         m_work.Path() + "/" + name + "/outbox", QuickRetries(),
                                         std::vector<std::string>{m_work.Path() + "/unsaved"});
  }
  // "rows distinct-keys" of the bench's results.
  std::string Count(const std::string& bench) {
    return m_server.Sql(
        "SELECT count(*) || ' ' || count(DISTINCT serial) FROM orvana.results "
        "WHERE bench = '" +
        bench + "'");
  }
  // The bench's rows, -1 before the table is there.
  int Rows(const std::string& bench) {
    try {
      return std::stoi(
          m_server.Sql("SELECT count(*) FROM orvana.results WHERE bench = '" + bench + "'"));
    } catch (const std::exception&) {
      return -1;
    }
  }
  static std::string Exactly(int count) {
    return std::to_string(count) + " " + std::to_string(count);
  }
  // Waits until the bench has `count` rows; the last count seen otherwise.
  std::string WaitForCount(const std::string& bench, int count) {
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    std::string seen;
    while (std::chrono::steady_clock::now() < deadline) {
      try {
        seen = Count(bench);
      } catch (const std::exception&) {
        seen = "no table";
      }
      if (seen.rfind(std::to_string(count) + " ", 0) == 0) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return seen;
  }
  // Waits for an event of `kind`; every event taken meanwhile is kept.
  bool WaitForEvent(ResultStore& store, StoreEvent::Kind kind) {
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (std::chrono::steady_clock::now() < deadline) {
      for (StoreEvent& event : store.TakeEvents()) {
        const bool wanted = event.kind == kind;
        m_events.push_back(std::move(event));
        if (wanted) return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }

  testing::PgCluster m_server;
  testing::TempFolder m_work;
  std::vector<StoreEvent> m_events;
};

}  // namespace orvana::store
