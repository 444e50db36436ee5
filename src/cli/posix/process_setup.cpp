#include "cli/process_setup.h"

#include <csignal>

namespace orvana::cli {

void PrepareProcess() {
  // A log that reaches a file-size limit is the daily log's failure to handle
  // (it keeps the line); the signal must not end the station.
  std::signal(SIGXFSZ, SIG_IGN);
  // A reader that goes away is a write error to handle in order, never a
  // signal that ends the station before its files are closed.
  std::signal(SIGPIPE, SIG_IGN);
}

std::vector<std::string> ProgramArguments(int argc, char** argv) { return {argv, argv + argc}; }

}  // namespace orvana::cli
