#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace orvana::sim {

struct Options {
  std::optional<std::string> linkPath;
  std::optional<std::string> scriptPath;
  bool readStdin = false;
  bool demo = false;
  std::optional<std::chrono::milliseconds> interval;
  std::optional<uint32_t> seed;
  bool verbose = false;
  bool help = false;

  // Without a script the meter plays the demo.
  bool PlaysDemo() const { return demo || (!scriptPath && !readStdin); }
  // Zero: no periodic results.
  std::chrono::milliseconds ResultInterval() const;
};

inline constexpr std::chrono::milliseconds kDemoInterval{1500};

// `args` without the program name. Throws std::invalid_argument with a message
// fit for the user.
Options ParseOptions(std::span<const std::string_view> args);

std::string HelpText();

}  // namespace orvana::sim
