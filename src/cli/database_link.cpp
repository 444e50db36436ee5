#include "cli/database_link.h"

#include <cstdio>

#include "store/schema.h"
#include "store/store_config.h"

namespace orvana::cli {

bool OpenRecord(store::PgLink& link, const std::string& conninfo) {
  const store::StoreConfig config = store::StoreConfigFromEnvironment(conninfo);
  if (config.conninfo.empty()) {
    std::fputs("orvana-cli: no database: set ORVANA_DATABASE or give --database CONNINFO\n",
               stderr);
    return false;
  }
  if (const std::string why = store::CheckConninfo(config.conninfo); !why.empty()) {
    std::fprintf(stderr, "orvana-cli: %s\n", why.c_str());
    return false;
  }
  if (!link.Connect(config.conninfo)) {
    std::fprintf(stderr, "orvana-cli: cannot reach the database: %s\n", link.Error().c_str());
    return false;
  }
  if (const std::string why = store::EnsureSchema(link); !why.empty()) {
    std::fprintf(stderr, "orvana-cli: %s\n", why.c_str());
    return false;
  }
  return true;
}

}  // namespace orvana::cli
