#include "store/store_config.h"

#include <libpq-fe.h>

#include <cstdlib>
#include <cstring>

#include "platform/system.h"
#include "store/outbox_line.h"
#include "store/pg_link.h"

namespace orvana::store {

StoreConfig StoreConfigFromEnvironment(const std::string& conninfo) {
  StoreConfig config;
  config.conninfo = conninfo;
  if (config.conninfo.empty()) {
    if (const char* database = std::getenv("ORVANA_DATABASE")) config.conninfo = database;
  }
  if (const char* bench = std::getenv("ORVANA_BENCH"); bench != nullptr && *bench != '\0') {
    config.bench = bench;
  } else {
    config.bench = platform::HostName();
    if (config.bench.empty()) config.bench = "bench";
  }
  // The database holds UTF-8 only: a name with other bytes would have every
  // result refused. It is made storable as the results' own texts are.
  config.bench = StorableText(config.bench);
  return config;
}

std::string CheckConninfo(const std::string& conninfo) {
  char* error = nullptr;
  PQconninfoOption* options = PQconninfoParse(conninfo.c_str(), &error);
  if (options == nullptr) {
    std::string why = "the database connection string cannot be read";
    if (error != nullptr) {
      why += ": " + OneLine(error);
      PQfreemem(error);
    }
    return why;
  }
  std::string why;
  for (const PQconninfoOption* option = options; option->keyword != nullptr; ++option) {
    // A password there would show in every process list and shell history.
    if (std::strcmp(option->keyword, "password") == 0 && option->val != nullptr &&
        *option->val != '\0') {
      why =
          "the database connection string holds a password: put it in ~/.pgpass or "
          "PGPASSFILE instead";
    }
  }
  PQconninfoFree(options);
  return why;
}

}  // namespace orvana::store
