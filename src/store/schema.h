#pragma once

#include <string>

#include "store/pg_link.h"

// The record's tables in the database, and their version. Other tools query
// orvana.results by its columns bench, serial, recorded_at, il1, rl1, il2 and
// rl2, so those never change meaning; a later version may only add.
namespace orvana::store {

// The schema version this program writes and reads. A column that a bench
// of the same version need not know of (the results' verdict, which the
// server derives) is added without a new version, so that older benches on
// the line go on recording into the same tables.
inline constexpr int kSchemaVersion = 1;

// The statements that create the schema, for a database's owner to run by
// hand when the benches' roles may not (also printed by `orvana-cli store
// --schema`).
std::string SchemaSql();

// Makes sure the schema is there and is one this program knows: creates it
// when it is missing and the role may, and refuses a newer one. Empty when
// the link can be used; else why not, in words for the technician.
std::string EnsureSchema(PgLink& link);

}  // namespace orvana::store
