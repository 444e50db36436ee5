#include "store/schema.h"

#include <charconv>

namespace orvana::store {
namespace {

// Two benches starting on an empty database at once must not both try to
// create the tables; the first takes this lock and the second then finds
// them there.
constexpr const char* kCreateLock = "SELECT pg_advisory_xact_lock(7305142077)";

constexpr const char* kTables = R"(CREATE SCHEMA IF NOT EXISTS orvana;
CREATE TABLE IF NOT EXISTS orvana.schema_version (version integer NOT NULL);
CREATE TABLE IF NOT EXISTS orvana.results (
  bench          text NOT NULL,
  result_key     text NOT NULL,
  serial         text NOT NULL,
  recorded_at    timestamptz NOT NULL,
  time_text      text NOT NULL,
  il1 text NOT NULL, rl1 text NOT NULL, il2 text NOT NULL, rl2 text NOT NULL,
  il1_value real, rl1_value real, il2_value real, rl2_value real,
  il1_pass boolean, rl1_pass boolean, il2_pass boolean, rl2_pass boolean,
  il1_threshold real, rl1_threshold real, il2_threshold real, rl2_threshold real,
  wavelengths    text,
  device_name    text,
  product_number text,
  order_number   text,
  stored_at      timestamptz NOT NULL DEFAULT now(),
  PRIMARY KEY (bench, result_key)
);
-- The part's verdict, for whoever counts passes and fails: false when a
-- measured value failed, true when one passed and none failed, NULL when
-- none was judged (a line read from an old day log). A value with no text
-- (the other wavelength of a single-wavelength result) takes no part.
-- Derived by the server from the verdicts beside it, so that no bench and
-- no tool can store one that disagrees with them. Added apart from the
-- table, so that these same statements bring it to a table made before it.
ALTER TABLE orvana.results ADD COLUMN IF NOT EXISTS pass boolean GENERATED ALWAYS AS (
  CASE
    WHEN (il1 <> '' AND il1_pass IS FALSE) OR (rl1 <> '' AND rl1_pass IS FALSE)
      OR (il2 <> '' AND il2_pass IS FALSE) OR (rl2 <> '' AND rl2_pass IS FALSE) THEN false
    WHEN (il1 <> '' AND il1_pass IS TRUE) OR (rl1 <> '' AND rl1_pass IS TRUE)
      OR (il2 <> '' AND il2_pass IS TRUE) OR (rl2 <> '' AND rl2_pass IS TRUE) THEN true
  END) STORED;
CREATE INDEX IF NOT EXISTS results_recorded_at ON orvana.results (recorded_at);
CREATE INDEX IF NOT EXISTS results_order ON orvana.results (order_number, recorded_at);
CREATE TABLE IF NOT EXISTS orvana.records (
  bench          text NOT NULL,
  event_key      text NOT NULL,
  uploaded_at    timestamptz NOT NULL,
  record_date    text NOT NULL,
  event text NOT NULL, distance text NOT NULL, loss text NOT NULL,
  reflectance text NOT NULL, total_loss text NOT NULL, event_type text NOT NULL,
  stored_at      timestamptz NOT NULL DEFAULT now(),
  PRIMARY KEY (bench, event_key)
);
INSERT INTO orvana.schema_version (version)
  SELECT 1 WHERE NOT EXISTS (SELECT FROM orvana.schema_version);
)";

constexpr const char* kReadVersion = "SELECT max(version) FROM orvana.schema_version";

bool MissingSchema(const PgReply& reply) {
  // undefined_table, invalid_schema_name
  return reply.sqlState == "42P01" || reply.sqlState == "3F000";
}

std::string Failure(const PgReply& reply) {
  if (reply.sqlState == "42501") {
    return "this role may not use the Orvana schema (" + reply.message +
           "); grant it as orvana-cli store --schema shows";
  }
  return reply.message;
}

}  // namespace

std::string SchemaSql() { return std::string("BEGIN;\n") + kTables + "COMMIT;\n"; }

std::string EnsureSchema(PgLink& link) {
  std::string versionText;
  const auto readVersion = [&] {
    versionText.clear();
    return link.Exec(kReadVersion, {}, [&](const PgRow& row) {
      if (!row.IsNull(0)) versionText = row.Text(0);
    });
  };
  PgReply reply = readVersion();
  if (!reply.Ok() && MissingSchema(reply)) {
    // One transaction, so a bench killed half-way leaves nothing half made.
    const std::string create = std::string("BEGIN;\n") + kCreateLock + ";\n" + kTables + "COMMIT;";
    const PgReply created = link.Exec(create);
    if (!created.Ok()) {
      if (created.status != PgReply::Status::Failed) return created.message;
      if (created.sqlState == "42501") {
        return "the database has no Orvana schema, and this role may not create it: "
               "let the database's owner run orvana-cli store --schema's SQL";
      }
      return "cannot create the Orvana schema: " + created.message;
    }
    reply = readVersion();
  }
  if (!reply.Ok()) return reply.status == PgReply::Status::Failed ? Failure(reply) : reply.message;
  int version = 0;
  const auto [end, error] =
      std::from_chars(versionText.data(), versionText.data() + versionText.size(), version);
  if (error != std::errc{} || end != versionText.data() + versionText.size()) {
    return "the database's Orvana schema has no version";
  }
  if (version > kSchemaVersion) {
    return "the database holds Orvana schema version " + std::to_string(version) +
           ", newer than this program's " + std::to_string(kSchemaVersion) +
           ": install the newer Orvana on this bench";
  }
  return {};
}

}  // namespace orvana::store
