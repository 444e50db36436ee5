#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// Runs the real orvana-cli in a working folder of the test's choosing and
// reads its JSON lines as they come.
namespace orvana::e2e {

class CliProcess {
 public:
  CliProcess(const std::string& workingFolder, const std::vector<std::string>& args);
  ~CliProcess();
  CliProcess(const CliProcess&) = delete;
  CliProcess& operator=(const CliProcess&) = delete;

  // The next line on stdout, without its newline; nothing at end of output
  // or when the time is up.
  std::optional<std::string> NextLine(std::chrono::milliseconds timeout);
  // Reads lines until one satisfies `wanted`; every line read is kept.
  std::optional<std::string> WaitFor(const std::function<bool(const std::string&)>& wanted,
                                     std::chrono::milliseconds timeout);
  void Terminate();
  std::optional<int> WaitExit(std::chrono::milliseconds timeout);
  std::string ErrorText();

  const std::vector<std::string>& Lines() const { return lines_; }

 private:
  pid_t pid_ = -1;
  int output_ = -1;
  int errors_ = -1;
  std::string buffer_;
  std::vector<std::string> lines_;
};

}  // namespace orvana::e2e
