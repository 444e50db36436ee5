#pragma once

#include <string>
#include <vector>

// `orvana-cli store`: day logs into the line's record, and what the record
// holds.
namespace orvana::cli {

// `args` are the words after "store". Returns the exit status.
int RunStore(const std::vector<std::string>& args);

}  // namespace orvana::cli
