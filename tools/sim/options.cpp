#include "sim/options.h"

#include <charconv>
#include <stdexcept>

#include "sim/script.h"

namespace orvana::sim {

namespace {

unsigned long long Number(std::string_view option, std::string_view text,
                          unsigned long long highest) {
  unsigned long long value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc{} || end != text.data() + text.size() || value > highest) {
    throw std::invalid_argument(std::string(option) + " needs a number from 0 to " +
                                std::to_string(highest) + ", not '" + std::string(text) + "'");
  }
  return value;
}

}  // namespace

std::chrono::milliseconds Options::ResultInterval() const {
  if (interval) return *interval;
  return PlaysDemo() ? kDemoInterval : std::chrono::milliseconds{0};
}

Options ParseOptions(std::span<const std::string_view> args) {
  Options options;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string_view name = args[i];
    std::optional<std::string_view> inlineValue;
    if (const size_t equals = name.find('='); name.starts_with("--") && equals != name.npos) {
      inlineValue = name.substr(equals + 1);
      name = name.substr(0, equals);
    }
    auto value = [&]() -> std::string_view {
      if (inlineValue) return *inlineValue;
      if (i + 1 >= args.size()) throw std::invalid_argument(std::string(name) + " needs a value");
      return args[++i];
    };
    auto flag = [&]() {
      if (inlineValue) throw std::invalid_argument(std::string(name) + " takes no value");
    };
    if (name == "--link") {
      options.linkPath = std::string(value());
    } else if (name == "--script") {
      options.scriptPath = std::string(value());
    } else if (name == "--stdin") {
      flag();
      options.readStdin = true;
    } else if (name == "--demo") {
      flag();
      options.demo = true;
    } else if (name == "--interval-ms") {
      options.interval = std::chrono::milliseconds(Number(name, value(), 3'600'000));
    } else if (name == "--seed") {
      options.seed = static_cast<uint32_t>(Number(name, value(), UINT32_MAX));
    } else if (name == "-v" || name == "--verbose") {
      flag();
      options.verbose = true;
    } else if (name == "-h" || name == "--help") {
      flag();
      options.help = true;
    } else {
      throw std::invalid_argument("unknown option '" + std::string(args[i]) + "'");
    }
  }
  if (options.scriptPath && options.readStdin) {
    throw std::invalid_argument("--script and --stdin cannot be used together");
  }
  return options;
}

std::string HelpText() {
  return std::string(
             "Usage: orvana-sim [OPTIONS]\n"
             "A simulated IL&RL meter on a pseudo-terminal. The first line on standard\n"
             "output is the port to open (the pseudo-terminal's slave path).\n"
             "\n"
             "  --link PATH        also make PATH a symbolic link to the port (its folder is\n"
             "                     created; the link is removed at exit), e.g.\n"
             "                     --link /tmp/orvana-ports/ttySIM0\n"
             "  --script FILE      run the commands in FILE (checked whole before start)\n"
             "  --stdin            run commands read line by line from standard input; a bad\n"
             "                     line is reported and skipped; end of input ends the run\n"
             "  --demo             one stored record and a result every 1500 ms; the default\n"
             "                     when neither --script nor --stdin is given\n"
             "  --interval-ms N    send a made-up result every N ms (0: none)\n"
             "  --seed N           seed for made-up results and garbage (default: random)\n"
             "  -v, --verbose      report commands received and frames sent on stderr\n"
             "  -h, --help         show this text\n"
             "\n"
             "The meter answers greeting (1), erase (9) and upload (48) at any time; the\n"
             "keep-alive (80) gets no answer; frames with a bad checksum are ignored.\n"
             "\n"
             "Script commands, one per line:\n") +
         kScriptGrammar +
         "\n"
         "A script waits for everything queued before it to be written before it goes on.\n"
         "At the end of a --script file the meter keeps running until SIGINT or SIGTERM.\n"
         "Exit status: 0 on a signal, hangup or end of --stdin input; 1 on a failure of the\n"
         "line; 2 on a bad option or script.\n";
}

}  // namespace orvana::sim
