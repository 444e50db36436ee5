#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// One of our programs run for real as a child: its stdin is ours to write,
// its stdout is read line by line as it comes, its stderr kept for messages.
namespace orvana::testing {

class ChildProcess {
 public:
  // An empty `workingFolder` keeps the test's own.
  ChildProcess(const std::string& program, const std::vector<std::string>& args,
               const std::string& workingFolder = {});
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // The next line on stdout, without its newline; nothing at the end of the
  // output or when the time is up. Every line read is kept in Lines().
  std::optional<std::string> NextLine(std::chrono::milliseconds timeout);
  // Reads lines until one satisfies `wanted`.
  std::optional<std::string> WaitFor(const std::function<bool(const std::string&)>& wanted,
                                     std::chrono::milliseconds timeout);
  const std::vector<std::string>& Lines() const { return m_lines; }

  void Input(std::string_view text);
  void CloseInput();
  void Signal(int number);
  // The exit status once it has ended by itself in time (128 + signal when a
  // signal ended it); what it printed before is read into Lines().
  std::optional<int> WaitExit(std::chrono::milliseconds timeout = std::chrono::milliseconds(5000));
  // What it wrote on stderr so far.
  std::string ErrorText();

 private:
  pid_t m_pid = -1;
  int m_input = -1;
  int m_output = -1;
  int m_errors = -1;
  std::string m_buffer;
  std::vector<std::string> m_lines;
};

}  // namespace orvana::testing
