#pragma once

#include <string>

// Where the bench's results go besides its day log, by the conventions of
// PostgreSQL's own clients: a libpq connection string, the password only in
// ~/.pgpass, PGPASSFILE or the service file, TLS by its sslmode.
namespace orvana::store {

struct StoreConfig {
  std::string conninfo;  // empty: no database, the bench keeps only its day log
  std::string bench;     // the name the bench's results carry
};

// ORVANA_DATABASE (unless `conninfo` is given, from a command line) and
// ORVANA_BENCH, which defaults to the host name; the bench's name is made
// storable (valid UTF-8) as the results' texts are.
StoreConfig StoreConfigFromEnvironment(const std::string& conninfo = {});

// Empty when libpq can read the connection string and it holds no password;
// else why it will not be used, in words for the person who set it.
std::string CheckConninfo(const std::string& conninfo);

}  // namespace orvana::store
