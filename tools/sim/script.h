#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <istream>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "sim/meter_frames.h"
#include "sim/wire_frame.h"

// The little language that drives the simulated meter, one command per line.
// The grammar is in tools/sim/README.md and in `orvana-sim --help`.
namespace orvana::sim {

struct SendResult {
  ResultValues values;
};
struct SendRaw {
  Bytes bytes;
};
struct Wait {
  std::chrono::milliseconds duration;
};
struct StoreRecordHeader {
  StoredRecord record;  // without events; store-event lines add them
};
struct StoreRecordEvent {
  StoredEvent event;
};
struct CorruptNextChecksum {};
struct SendGarbage {
  size_t count;
};
struct SetSplit {
  std::chrono::milliseconds pause;
};
struct SendOverlong {
  uint8_t length;
};
struct HangUp {};

using Command = std::variant<SendResult, SendRaw, Wait, StoreRecordHeader, StoreRecordEvent,
                             CorruptNextChecksum, SendGarbage, SetSplit, SendOverlong, HangUp>;

class ScriptError : public std::runtime_error {
 public:
  ScriptError(size_t line, const std::string& message);
  size_t Line() const { return m_line; }

 private:
  size_t m_line;
};

// Reads commands line by line, counting lines so that an error names the one
// at fault. Keeps the little state the grammar has (an event belongs to a
// record stored before it).
class ScriptParser {
 public:
  // The command on the next line, or nothing for a blank or comment line.
  // Throws ScriptError naming the line.
  std::optional<Command> ParseLine(std::string_view line);
  size_t LineNumber() const { return m_line; }

 private:
  Command ParseCommand(const std::vector<std::string_view>& words);

  size_t m_line = 0;
  bool m_haveRecord = false;
};

// Every command of a whole script; throws ScriptError at the first bad line.
std::vector<Command> ParseScript(std::istream& input);

// The grammar as shown by --help.
extern const char* const kScriptGrammar;

}  // namespace orvana::sim
