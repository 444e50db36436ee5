// The bench's store against a real PostgreSQL server that fails in the ways
// servers and networks do: every result reaches the database exactly once,
// and the bench never waits for it.
#include <algorithm>
#include <atomic>
#include <filesystem>

#include "store/batch_insert.h"
#include "store/outbox.h"
#include "store/pg_link.h"
#include "store/schema.h"
#include "store/store_config.h"
#include "store_fixture.h"

namespace orvana::store {
namespace {

using std::chrono::milliseconds;

TEST_F(StoreTest, AServerDownAtStartGetsEveryResultOnceItComes) {
  m_server.Stop();
  auto bench = Bench("b1", m_server.Conninfo());
  for (int n = 0; n < 500; ++n) bench->Record(kDay, Numbered(n));
  ASSERT_TRUE(WaitForEvent(*bench, StoreEvent::Kind::Down));
  EXPECT_NE(m_events.back().reason.find("No such file or directory"), std::string::npos)
      << m_events.back().reason;
  EXPECT_EQ(OutboxReader(m_work.Path() + "/b1/outbox").CountUnsent(), 500u);

  ASSERT_TRUE(m_server.Start());
  ASSERT_TRUE(WaitForEvent(*bench, StoreEvent::Kind::CaughtUp));
  EXPECT_EQ(m_events.back().sent, 500u);
  EXPECT_EQ(Count("b1"), Exactly(500));
}

TEST_F(StoreTest, AServerKilledInTheMiddleOfAFloodLosesAndDoublesNothing) {
  auto bench = Bench("b1", m_server.Conninfo());
  constexpr int kResults = 30000;
  for (int n = 0; n < kResults / 2; ++n) bench->Record(kDay, Numbered(n));
  // Killed while batches are on their way: some committed, one perhaps in
  // doubt, the rest still on the bench.
  while (Rows("b1") <= 0) std::this_thread::sleep_for(milliseconds(1));
  m_server.Kill();
  for (int n = kResults / 2; n < kResults; ++n) bench->Record(kDay, Numbered(n));
  ASSERT_TRUE(m_server.Start());
  EXPECT_EQ(WaitForCount("b1", kResults), Exactly(kResults));
}

TEST_F(StoreTest, AStalledServerHoldsTheBenchUpInNothing) {
  auto bench = Bench("b1", m_server.Conninfo());
  std::atomic<bool> stop{false};
  std::atomic<int> recorded{0};
  // A meter far faster than a real one, recording all the while.
  std::thread meter([&] {
    while (!stop) {
      bench->Record(kDay, Numbered(recorded));
      ++recorded;
      std::this_thread::sleep_for(milliseconds(1));
    }
  });
  std::this_thread::sleep_for(milliseconds(500));
  m_server.Pause();
  const int beforeStall = recorded;
  std::this_thread::sleep_for(std::chrono::seconds(10));
  const int duringStall = recorded - beforeStall;
  m_server.Resume();
  std::this_thread::sleep_for(milliseconds(500));
  stop = true;
  meter.join();
  // The station went on as if nothing happened (a thousand or so a second
  // here; a blocked recorder would have managed none).
  EXPECT_GT(duringStall, 1000);
  EXPECT_EQ(WaitForCount("b1", recorded), Exactly(recorded));
}

TEST_F(StoreTest, TwoBenchesFloodingOneDatabaseEachGetEveryResultOnce) {
  auto first = Bench("b1", m_server.Conninfo());
  auto second = Bench("b2", m_server.Conninfo());
  constexpr int kResults = 20000;
  std::thread one([&] {
    for (int n = 0; n < kResults; ++n) first->Record(kDay, Numbered(n));
  });
  for (int n = 0; n < kResults; ++n) second->Record(kDay, Numbered(n));
  one.join();
  EXPECT_EQ(WaitForCount("b1", kResults), Exactly(kResults));
  EXPECT_EQ(WaitForCount("b2", kResults), Exactly(kResults));
}

TEST_F(StoreTest, ARefusingDatabaseIsToldClearlyAndTheBenchKeepsItsResults) {
  // A newer program has been at this database.
  {
    PgLink owner;
    ASSERT_TRUE(owner.Connect(m_server.Conninfo()));
    ASSERT_EQ(EnsureSchema(owner), "");
  }
  m_server.Sql("UPDATE orvana.schema_version SET version = 2");
  m_server.Sql("CREATE ROLE pw_bench LOGIN PASSWORD 'right'");
  const std::string passwords = m_work.Path() + "/pgpass";
  testing::WriteFile(passwords, "*:*:*:pw_bench:wrong\n");
  std::filesystem::permissions(
      passwords, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  ::setenv("PGPASSFILE", passwords.c_str(), 1);

  const struct {
    std::string name;
    std::string conninfo;
    std::string says;
  } cases[] = {
      {"newer", m_server.Conninfo(), "newer than this program's 1"},
      {"password", m_server.Conninfo("orvana", "pw_bench"), "password authentication failed"},
      {"database", m_server.Conninfo("nosuch"), "\"nosuch\" does not exist"},
      {"inline", m_server.Conninfo() + " password=secret", "put it in ~/.pgpass"},
  };
  for (const auto& c : cases) {
    auto bench = Bench(c.name, c.conninfo);
    for (int n = 0; n < 3; ++n) bench->Record(kDay, Numbered(n));
    ASSERT_TRUE(WaitForEvent(*bench, StoreEvent::Kind::Down)) << c.name;
    EXPECT_NE(m_events.back().reason.find(c.says), std::string::npos) << m_events.back().reason;
    EXPECT_EQ(m_events.back().reason.find("secret"), std::string::npos);
    bench.reset();
    EXPECT_EQ(OutboxReader(m_work.Path() + "/" + c.name + "/outbox").CountUnsent(), 3u) << c.name;
  }
  ::unsetenv("PGPASSFILE");
  EXPECT_EQ(m_server.Sql("SELECT count(*) FROM orvana.results"), "0");
}

TEST_F(StoreTest, ABenchRoleNeedsOnlyToInsertAndToReadTheVersion) {
  {
    PgLink owner;
    ASSERT_TRUE(owner.Connect(m_server.Conninfo()));
    ASSERT_EQ(EnsureSchema(owner), "");
  }
  m_server.Sql(
      "CREATE ROLE bench_7 LOGIN; GRANT USAGE ON SCHEMA orvana TO bench_7; "
      "GRANT INSERT ON orvana.results TO bench_7; "
      "GRANT SELECT ON orvana.schema_version TO bench_7;");
  auto bench = Bench("b7", m_server.Conninfo("orvana", "bench_7"));
  for (int n = 0; n < 100; ++n) bench->Record(kDay, Numbered(n));
  EXPECT_EQ(WaitForCount("b7", 100), Exactly(100));
  // Sent twice (a commit in doubt), a result is still there once.
  bench.reset();
  std::filesystem::remove(m_work.Path() + "/b7/outbox/20261209.outbox.sent");
  bench = Bench("b7", m_server.Conninfo("orvana", "bench_7"));
  ASSERT_TRUE(WaitForEvent(*bench, StoreEvent::Kind::CaughtUp));
  EXPECT_EQ(m_events.back().sent, 100u);
  EXPECT_EQ(Count("b7"), Exactly(100));
}

TEST_F(StoreTest, AResultTheDatabaseRefusesIsSetAsideToldAndTheRestArrive) {
  auto bench = Bench("b1", m_server.Conninfo());
  for (int n = 0; n < 99; ++n) {
    StoredResult result = Numbered(n);
    // A day that never was: the outbox takes it, the database will not.
    if (n == 41) result.recordedAt = "2026-02-30T10:00:00+00:00";
    bench->Record(kDay, result);
  }
  EXPECT_EQ(WaitForCount("b1", 98), Exactly(98));
  ASSERT_TRUE(WaitForEvent(*bench, StoreEvent::Kind::CaughtUp));
  const std::string rejected = testing::ReadFile(m_work.Path() + "/b1/outbox/rejected.txt");
  EXPECT_NE(rejected.find("\tSN-41\t"), std::string::npos);
  EXPECT_EQ(std::count(rejected.begin(), rejected.end(), '\n'), 1);
  // Told, not only written where nobody looks.
  EXPECT_TRUE(std::any_of(m_events.begin(), m_events.end(), [&](const StoreEvent& event) {
    return event.kind == StoreEvent::Kind::Refused && event.results == 1 &&
           event.file == m_work.Path() + "/b1/outbox/rejected.txt";
  }));
}

// The part's verdict is the server's: the AND of the values measured, in a
// database the bench makes and in one made before the verdict was there,
// once its owner runs the schema's statements again (as often as they like).
TEST_F(StoreTest, ThePartsVerdictIsDerivedFromTheValuesMeasuredInNewAndOlderDatabases) {
  const auto part = [](const std::string& serial, std::array<std::string, 4> texts,
                       std::array<std::optional<bool>, 4> passed) {
    StoredResult result = Numbered(0);
    result.key = "r:" + serial;
    result.bench = "b1";
    result.serial = serial;
    result.texts = std::move(texts);
    result.passed = passed;
    return result;
  };
  const std::array<std::string, 4> dual = {"-0.21", "56.3", "-0.25", "55.5"};
  const std::vector<StoredResult> parts = {
      part("all-pass", dual, {true, true, true, true}),
      part("one-fail", dual, {true, true, false, true}),
      // The other wavelength was not measured: whatever stands beside its
      // empty texts takes no part.
      part("single", {"-0.12", "57.0", "", ""}, {true, true, false, std::nullopt}),
      // A line read from an old day log: nothing judged.
      part("none-judged", dual, {std::nullopt, std::nullopt, std::nullopt, std::nullopt}),
  };
  const std::string expected = "all-pass true\nnone-judged null\none-fail false\nsingle true";
  const auto verdicts = [&] {
    return m_server.Sql(
        "SELECT serial || ' ' || coalesce(pass::text, 'null') FROM orvana.results ORDER BY 1");
  };

  PgLink link;
  ASSERT_TRUE(link.Connect(m_server.Conninfo()));
  ASSERT_EQ(EnsureSchema(link), "");
  ASSERT_TRUE(InsertResults(link, parts).Done());
  EXPECT_EQ(verdicts(), expected);

  // As the previous version left its databases: rows, and no verdict.
  m_server.Sql("ALTER TABLE orvana.results DROP COLUMN pass");
  // Quietly: what already exists is said to be skipped otherwise.
  const std::string schema = "SET client_min_messages TO warning;\n" + SchemaSql();
  m_server.Sql(schema);
  EXPECT_EQ(verdicts(), expected);
  m_server.Sql(schema);
  EXPECT_EQ(verdicts(), expected);
}

TEST_F(StoreTest, ABenchNameThatIsNotUtf8IsMadeStorableRatherThanEveryResultRefused) {
  ::setenv("ORVANA_BENCH", "bench-\xff", 1);
  const StoreConfig config = StoreConfigFromEnvironment(m_server.Conninfo());
  ::unsetenv("ORVANA_BENCH");
  EXPECT_EQ(config.bench, "bench-\xEF\xBF\xBD");
  // A name handed in straight, as a caller may, is made storable too.
  auto bench = Bench("b\xfe", m_server.Conninfo());
  for (int n = 0; n < 20; ++n) bench->Record(kDay, Numbered(n));
  EXPECT_EQ(WaitForCount("b\xEF\xBF\xBD", 20), Exactly(20));
  ASSERT_TRUE(WaitForEvent(*bench, StoreEvent::Kind::CaughtUp));
  EXPECT_TRUE(std::none_of(m_events.begin(), m_events.end(), [](const StoreEvent& event) {
    return event.kind == StoreEvent::Kind::Refused;
  }));
}

}  // namespace
}  // namespace orvana::store
