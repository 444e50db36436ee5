#pragma once

#include <chrono>
#include <optional>
#include <string>

// `orvana-cli listen`: the station without a window, on one port.
namespace orvana::cli {

struct ListenOptions {
  std::string port;
  std::optional<std::chrono::seconds> seconds;  // run for ever (until a signal) when empty
  bool upload = false;
  bool erase = false;
  // When the port goes away, watch for it to come back instead of ending.
  bool reconnect = false;
  // A libpq connection string for the line's record; ORVANA_DATABASE when
  // empty, and no database when that is unset too.
  std::string database;
  // The serial of every part recorded ("****" when empty), and the product
  // and order numbers that go with each into the line's record.
  std::string serial;
  std::string productNumber;
  std::string orderNumber;
  // Each line of standard input is the serial of the next part recorded, as
  // a scan into the window's serial field is; a part recorded before the
  // next line keeps the serial before (and is told as reused). The end of
  // the input keeps the last serial, and the run goes on.
  bool serialsFromStdin = false;
  // A readable line per part for a person, instead of JSON for scripts.
  bool text = false;
};

// Returns the process exit status: 0 after a normal end, 2 when the port
// cannot be opened, 3 when the port went away (without `reconnect`, at once;
// with it, when the run ends while the port is still gone), 4 when standard
// output has closed (the station then stops as after a signal). With a
// database the results also go there, and the store's state is printed as it
// changes.
int RunListen(const ListenOptions& options);

}  // namespace orvana::cli
