#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>

#include "sim/script.h"

namespace orvana::sim {
namespace {

using std::chrono::milliseconds;

template <typename T>
T Only(std::string_view line) {
  ScriptParser parser;
  std::optional<Command> command = parser.ParseLine(line);
  EXPECT_TRUE(command.has_value()) << line;
  EXPECT_TRUE(command && std::holds_alternative<T>(*command)) << line;
  return command ? std::get<T>(*command) : T{};
}

// The message of the error a script raises, and the line it names.
std::pair<size_t, std::string> ErrorOf(const std::string& script) {
  std::istringstream input(script);
  try {
    ParseScript(input);
  } catch (const ScriptError& error) {
    return {error.Line(), error.what()};
  }
  ADD_FAILURE() << "no error for:\n" << script;
  return {0, ""};
}

TEST(ScriptParser, ReadsBothKindsOfResult) {
  const ResultValues dual = Only<SendResult>("result dual -0.21 56.3 -0.35 54.0 record").values;
  EXPECT_TRUE(dual.dual);
  EXPECT_FLOAT_EQ(dual.a, -0.21f);
  EXPECT_FLOAT_EQ(dual.b, 56.3f);
  EXPECT_FLOAT_EQ(dual.c, -0.35f);
  EXPECT_FLOAT_EQ(dual.d, 54.0f);
  EXPECT_TRUE(dual.record);

  const ResultValues single = Only<SendResult>("result single 5 57.0 -0.12 show").values;
  EXPECT_FALSE(single.dual);
  EXPECT_EQ(single.wavelengthCode, 5);
  EXPECT_FLOAT_EQ(single.b, 57.0f);
  EXPECT_FLOAT_EQ(single.d, -0.12f);
  EXPECT_FALSE(single.record);

  // Recording is what a result usually asks for, so it may go unsaid.
  EXPECT_TRUE(Only<SendResult>("result single 1 57 -0.1").values.record);
  // A failed measurement can be sent as not-a-number.
  EXPECT_TRUE(std::isnan(Only<SendResult>("result dual nan 55 -0.2 55").values.a));
}

TEST(ScriptParser, ReadsTheLineAndStorageCommands) {
  EXPECT_EQ(Only<SendRaw>("raw 50 03 02 ab 01").bytes, (Bytes{0x50, 0x03, 0x02, 0xAB, 0x01}));
  EXPECT_EQ(Only<SendRaw>("raw 500302AB01").bytes, (Bytes{0x50, 0x03, 0x02, 0xAB, 0x01}));
  EXPECT_EQ(Only<Wait>("wait 250").duration, milliseconds(250));
  EXPECT_EQ(Only<SendGarbage>("garbage 17").count, 17u);
  EXPECT_EQ(Only<SetSplit>("split 5").pause, milliseconds(5));
  EXPECT_EQ(Only<SetSplit>("split 0").pause, milliseconds(0));
  EXPECT_EQ(Only<SendOverlong>("overlong").length, 47);
  EXPECT_EQ(Only<SendOverlong>("overlong 255").length, 255);
  Only<CorruptNextChecksum>("badsum");
  Only<HangUp>("  hangup\t# and go\r");

  const StoredRecord record = Only<StoreRecordHeader>("store-record 17 3 5 9 7").record;
  EXPECT_EQ(record.year, 17);
  EXPECT_EQ(record.month, 3);
  EXPECT_EQ(record.day, 5);
  EXPECT_EQ(record.hour, 9);
  EXPECT_EQ(record.minute, 7);

  ScriptParser parser;
  parser.ParseLine("store-record 24 11 2 0 5");
  const std::optional<Command> event = parser.ParseLine("store-event -1 -2 0.5 -40 1.25 2");
  ASSERT_TRUE(event && std::holds_alternative<StoreRecordEvent>(*event));
  const StoredEvent& e = std::get<StoreRecordEvent>(*event).event;
  EXPECT_EQ(e.number, -1);
  EXPECT_EQ(e.distance, -2);
  EXPECT_FLOAT_EQ(e.loss, 0.5f);
  EXPECT_FLOAT_EQ(e.reflectance, -40.0f);
  EXPECT_FLOAT_EQ(e.totalLoss, 1.25f);
  EXPECT_EQ(e.type, 2);
}

TEST(ScriptParser, SkipsBlankAndCommentLinesButCountsThem) {
  std::istringstream input("# a comment\n\n   \nbadsum\nwait 10  # pause\n");
  const std::vector<Command> commands = ParseScript(input);
  ASSERT_EQ(commands.size(), 2u);
  EXPECT_TRUE(std::holds_alternative<CorruptNextChecksum>(commands[0]));
  EXPECT_TRUE(std::holds_alternative<Wait>(commands[1]));

  const auto [line, message] = ErrorOf("# header\n\nbadsum\nfrobnicate 3\n");
  EXPECT_EQ(line, 4u);
  EXPECT_NE(message.find("line 4"), std::string::npos) << message;
  EXPECT_NE(message.find("frobnicate"), std::string::npos) << message;
}

TEST(ScriptParser, BadLinesNameTheLineAndTheFault) {
  struct Case {
    const char* line;
    const char* mentions;
  };
  const Case cases[] = {
      {"result dual -0.2 55 -0.2", "usage: result dual"},
      {"result dual -0.2 55 -0.2 55 keep", "'record' or 'show'"},
      {"result dual -0.2 55 x 55", "C must be a number"},
      {"result triple 1 2 3", "'dual' or 'single'"},
      {"result single 256 55 -0.2", "WL must be 0 to 255"},
      {"raw", "usage: raw"},
      {"raw 5", "odd number of hex digits"},
      {"raw 5G", "not hex"},
      {"wait soon", "MS must be a whole number"},
      {"wait -1", "MS must be 0 to"},
      {"wait 10 20", "usage: wait MS"},
      {"store-record 17 13 5 9 7", "MM must be 1 to 12"},
      {"store-record 17 3 5 9", "usage: store-record"},
      {"garbage 0", "N must be 1 to 4096"},
      {"split 1.5", "MS must be a whole number"},
      {"overlong 46", "L must be 47 to 255"},
      {"badsum now", "usage: badsum"},
      {"hangup 1", "usage: hangup"},
      {"Result dual 1 2 3 4", "unknown command"},
  };
  for (const Case& c : cases) {
    const auto [line, message] = ErrorOf(std::string("wait 1\n") + c.line + "\n");
    EXPECT_EQ(line, 2u) << c.line;
    EXPECT_NE(message.find("line 2: "), std::string::npos) << message;
    EXPECT_NE(message.find(c.mentions), std::string::npos) << c.line << " -> " << message;
  }
}

TEST(ScriptParser, AnEventNeedsARecordStoredBeforeIt) {
  const auto [line, message] = ErrorOf("badsum\nstore-event 0 10 0.1 -50 0.1 2\n");
  EXPECT_EQ(line, 2u);
  EXPECT_NE(message.find("no store-record before it"), std::string::npos) << message;

  // A record whose own line was bad does not count as stored.
  const auto [badLine, badMessage] =
      ErrorOf("store-record 17 3 5 9 99\nstore-event 0 10 0.1 -50 0.1 2\n");
  EXPECT_EQ(badLine, 1u) << badMessage;
  ScriptParser parser;
  EXPECT_THROW(parser.ParseLine("store-record 17 3 5 9 99"), ScriptError);
  EXPECT_THROW(parser.ParseLine("store-event 0 10 0.1 -50 0.1 2"), ScriptError);
  EXPECT_EQ(parser.LineNumber(), 2u);
}

}  // namespace
}  // namespace orvana::sim
