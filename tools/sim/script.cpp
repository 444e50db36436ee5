#include "sim/script.h"

#include <charconv>
#include <limits>
#include <string>

namespace orvana::sim {

const char* const kScriptGrammar =
    "  result dual A B C D [record|show]   dual result: IL1 RL1 IL2 RL2 in dB\n"
    "  result single WL B D [record|show]  single result: WL 5 = second wavelength,\n"
    "                                      other = first; B is the RL, D the IL\n"
    "  raw HEX...                          bytes as given, e.g. raw 50 03 02 AB 01\n"
    "  wait MS                             pause the script (answers keep flowing)\n"
    "  store-record YY MM DD HH MI         store a record (year within the century)\n"
    "  store-event N DIST LOSS REFL TOTAL TYPE\n"
    "                                      add an event to the last stored record\n"
    "                                      (TYPE 2 = loss, other = reflective)\n"
    "  badsum                              the next frame has a wrong checksum\n"
    "  garbage N                           N random bytes, never 0x50\n"
    "  split MS                            following bytes go out one by one, MS apart\n"
    "                                      (split 0: whole frames again)\n"
    "  overlong [L]                        a result-coded frame with L = 47..255 (47)\n"
    "  hangup                              close the line and exit\n"
    "  # text                              comment; blank lines are ignored\n";

ScriptError::ScriptError(size_t line, const std::string& message)
    : std::runtime_error("line " + std::to_string(line) + ": " + message), m_line(line) {}

namespace {

// Thrown by the word parsers; ParseLine adds the line number.
struct BadWord {
  std::string message;
};

std::string Quoted(std::string_view word) { return "'" + std::string(word) + "'"; }

long long Integer(std::string_view word, long long lowest, long long highest,
                  std::string_view what) {
  long long value = 0;
  const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
  if (error != std::errc{} || end != word.data() + word.size()) {
    throw BadWord{std::string(what) + " must be a whole number, not " + Quoted(word)};
  }
  if (value < lowest || value > highest) {
    throw BadWord{std::string(what) + " must be " + std::to_string(lowest) + " to " +
                  std::to_string(highest) + ", not " + Quoted(word)};
  }
  return value;
}

template <typename T>
T Narrow(std::string_view word, long long lowest, long long highest, std::string_view what) {
  return static_cast<T>(Integer(word, lowest, highest, what));
}

float Real(std::string_view word, std::string_view what) {
  float value = 0.0f;
  const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
  if (error != std::errc{} || end != word.data() + word.size()) {
    throw BadWord{std::string(what) + " must be a number, not " + Quoted(word)};
  }
  return value;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void AppendHex(std::string_view word, Bytes& out) {
  if (word.size() % 2 != 0) throw BadWord{"odd number of hex digits in " + Quoted(word)};
  for (size_t i = 0; i < word.size(); i += 2) {
    const int high = HexDigit(word[i]);
    const int low = HexDigit(word[i + 1]);
    if (high < 0 || low < 0) throw BadWord{"not hex: " + Quoted(word)};
    out.push_back(static_cast<uint8_t>(high * 16 + low));
  }
}

void ExpectCount(const std::vector<std::string_view>& words, size_t lowest, size_t highest,
                 std::string_view usage) {
  const size_t arguments = words.size() - 1;
  if (arguments < lowest || arguments > highest) {
    throw BadWord{"usage: " + std::string(usage)};
  }
}

bool RecordFlag(const std::vector<std::string_view>& words, size_t index) {
  if (index >= words.size() || words[index] == "record") return true;
  if (words[index] == "show") return false;
  throw BadWord{"expected 'record' or 'show', not " + Quoted(words[index])};
}

std::vector<std::string_view> Split(std::string_view line) {
  if (const size_t hash = line.find('#'); hash != std::string_view::npos) {
    line = line.substr(0, hash);
  }
  std::vector<std::string_view> words;
  constexpr std::string_view kBlanks = " \t\r\n\v\f";
  size_t pos = 0;
  while ((pos = line.find_first_not_of(kBlanks, pos)) != std::string_view::npos) {
    const size_t stop = line.find_first_of(kBlanks, pos);
    if (stop == std::string_view::npos) {
      words.push_back(line.substr(pos));
      break;
    }
    words.push_back(line.substr(pos, stop - pos));
    pos = stop;
  }
  return words;
}

constexpr long long kMaxWaitMs = 3'600'000;
constexpr long long kMaxSplitMs = 10'000;
constexpr size_t kMaxBytes = 4096;

}  // namespace

std::optional<Command> ScriptParser::ParseLine(std::string_view line) {
  ++m_line;
  const std::vector<std::string_view> words = Split(line);
  if (words.empty()) return std::nullopt;
  try {
    return ParseCommand(words);
  } catch (const BadWord& bad) {
    throw ScriptError(m_line, std::string(words[0]) + ": " + bad.message);
  }
}

Command ScriptParser::ParseCommand(const std::vector<std::string_view>& words) {
  const std::string_view name = words[0];
  if (name == "result") {
    if (words.size() >= 2 && words[1] == "dual") {
      ExpectCount(words, 5, 6, "result dual A B C D [record|show]");
      return SendResult{{.dual = true,
                         .wavelengthCode = 0,
                         .a = Real(words[2], "A"),
                         .b = Real(words[3], "B"),
                         .c = Real(words[4], "C"),
                         .d = Real(words[5], "D"),
                         .record = RecordFlag(words, 6)}};
    }
    if (words.size() >= 2 && words[1] == "single") {
      ExpectCount(words, 4, 5, "result single WL B D [record|show]");
      return SendResult{{.dual = false,
                         .wavelengthCode = Narrow<uint8_t>(words[2], 0, 255, "WL"),
                         .a = 0.0f,
                         .b = Real(words[3], "B"),
                         .c = 0.0f,
                         .d = Real(words[4], "D"),
                         .record = RecordFlag(words, 5)}};
    }
    throw BadWord{"expected 'dual' or 'single' after 'result'"};
  }
  if (name == "raw") {
    if (words.size() < 2) throw BadWord{"usage: raw HEX..."};
    Bytes bytes;
    for (size_t i = 1; i < words.size(); ++i) AppendHex(words[i], bytes);
    if (bytes.size() > kMaxBytes) throw BadWord{"more than 4096 bytes"};
    return SendRaw{std::move(bytes)};
  }
  if (name == "wait") {
    ExpectCount(words, 1, 1, "wait MS");
    return Wait{std::chrono::milliseconds(Integer(words[1], 0, kMaxWaitMs, "MS"))};
  }
  if (name == "store-record") {
    ExpectCount(words, 5, 5, "store-record YY MM DD HH MI");
    StoreRecordHeader header{{.year = Narrow<uint8_t>(words[1], 0, 99, "YY"),
                              .month = Narrow<uint8_t>(words[2], 1, 12, "MM"),
                              .day = Narrow<uint8_t>(words[3], 1, 31, "DD"),
                              .hour = Narrow<uint8_t>(words[4], 0, 23, "HH"),
                              .minute = Narrow<uint8_t>(words[5], 0, 59, "MI"),
                              .events = {}}};
    m_haveRecord = true;
    return header;
  }
  if (name == "store-event") {
    ExpectCount(words, 6, 6, "store-event N DIST LOSS REFL TOTAL TYPE");
    if (!m_haveRecord) throw BadWord{"no store-record before it"};
    return StoreRecordEvent{{.number = Narrow<int8_t>(words[1], -128, 127, "N"),
                             .distance = Narrow<int16_t>(words[2], -32768, 32767, "DIST"),
                             .loss = Real(words[3], "LOSS"),
                             .reflectance = Real(words[4], "REFL"),
                             .totalLoss = Real(words[5], "TOTAL"),
                             .type = Narrow<uint8_t>(words[6], 0, 255, "TYPE")}};
  }
  if (name == "badsum") {
    ExpectCount(words, 0, 0, "badsum");
    return CorruptNextChecksum{};
  }
  if (name == "garbage") {
    ExpectCount(words, 1, 1, "garbage N");
    return SendGarbage{static_cast<size_t>(Integer(words[1], 1, kMaxBytes, "N"))};
  }
  if (name == "split") {
    ExpectCount(words, 1, 1, "split MS");
    return SetSplit{std::chrono::milliseconds(Integer(words[1], 0, kMaxSplitMs, "MS"))};
  }
  if (name == "overlong") {
    ExpectCount(words, 0, 1, "overlong [L]");
    const uint8_t length = words.size() == 2
                               ? Narrow<uint8_t>(words[1], kLongestLength + 1, 255, "L")
                               : static_cast<uint8_t>(kLongestLength + 1);
    return SendOverlong{length};
  }
  if (name == "hangup") {
    ExpectCount(words, 0, 0, "hangup");
    return HangUp{};
  }
  throw BadWord{"unknown command"};
}

std::vector<Command> ParseScript(std::istream& input) {
  ScriptParser parser;
  std::vector<Command> commands;
  std::string line;
  while (std::getline(input, line)) {
    if (auto command = parser.ParseLine(line)) commands.push_back(std::move(*command));
  }
  return commands;
}

}  // namespace orvana::sim
