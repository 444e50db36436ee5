#pragma once

#include <cstddef>
#include <string>

namespace orvana::store {

// What the store's user (the station) learns of the database and of the bench's own
// outbox, each told once as the state changes:
// - Up: the database is reachable; Down: it is not, or refuses the bench
//   (why, and how many results wait on the bench); CaughtUp: every result
//   waiting when it came up is in it now (how many were sent since).
// - Failing: the outbox cannot take results (why, how many are held in
//   memory); Recovered: every held result is in the outbox again.
// - Refused: the database would not take some results (how many, and the
//   file they are kept in for a person to look at).
// - Changed: an outbox file was deleted, truncated or replaced by someone
//   else; what it held unsent is only in the day log now (the file).
struct StoreEvent {
  enum class Kind { Up, Down, CaughtUp, Failing, Recovered, Refused, Changed };
  Kind kind = Kind::Up;
  std::string reason;  // Down, Failing
  size_t pending = 0;  // Down, Failing
  size_t sent = 0;     // CaughtUp
  size_t results = 0;  // Refused
  std::string file;    // Refused, Changed
};

}  // namespace orvana::store
