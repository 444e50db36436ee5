#pragma once

#include <cstdint>

namespace orvana::results {

// A value's verdict against its threshold; none for a cell that is not a
// judged value (a serial, a time, an imported row).
enum Outcome : uint8_t { OUTCOME_NONE = 0, OUTCOME_PASS = 1, OUTCOME_FAIL = 2 };

}  // namespace orvana::results
