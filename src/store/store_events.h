#pragma once

#include <cstddef>
#include <string>

namespace orvana::store {

// What the owner of a store learns of the database, each told once as the
// state changes: the database is reachable (Up), it is not, or refuses the
// bench (Down, with why and how many results wait on the bench), and every
// result waiting when it came up is in it now (CaughtUp, with how many were
// sent since it came up).
struct StoreEvent {
  enum class Kind { Up, Down, CaughtUp };
  Kind kind = Kind::Up;
  std::string reason;  // Down
  size_t pending = 0;  // Down
  size_t sent = 0;     // CaughtUp
};

}  // namespace orvana::store
