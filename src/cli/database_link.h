#pragma once

#include <string>

#include "store/pg_link.h"

// orvana-cli's commands that talk to the line's record open their link here.
namespace orvana::cli {

// The exit status when the database cannot be used (unreachable, refusing
// the role, a schema this program does not know).
inline constexpr int kExitNoDatabase = 2;

// Connects with `conninfo` (ORVANA_DATABASE when empty) and makes sure the
// schema is one this program knows. False, with the reason on stderr, when
// it cannot.
bool OpenRecord(store::PgLink& link, const std::string& conninfo);

}  // namespace orvana::cli
