#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "common/trace.h"
#ifndef _WIN32
#include "support/fifo_trap.h"
#endif
#include "support/temp_folder.h"
#include "texts/message_texts.h"

namespace orvana::texts {
namespace {

using testing::TempFolder;

// Capacities of the texts, as the language files of the meter software have
// always been written against. Kept apart from the loader's own table so a
// slip there shows up here.
const std::map<std::string, size_t> kExpectedCapacity = {
    {"save", 50},     {"dellall", 20},   {"exit", 20},          {"readrecord", 20},
    {"clearlcd", 20}, {"dellsel", 20},   {"nocom", 50},         {"comnotopen", 20},
    {"connect", 20},  {"dellallok", 60}, {"conok", 20},         {"dellallts", 60},
    {"timedata", 20}, {"allloss", 20},   {"eventtype", 20},     {"disten", 20},
    {"refl", 20},     {"loss", 20},      {"createxcelerr", 50},
};

size_t CharacterCount(std::string_view utf8) {
  size_t count = 0;
  for (char c : utf8) count += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
  return count;
}

// The text read for `key`, found by the key table the reader goes by.
const std::string* FindMessageText(const MessageTexts& texts, std::string_view key) {
  for (const MessageTextKey& entry : kMessageTextKeys) {
    if (entry.key == key) return &(texts.*entry.member);
  }
  return nullptr;
}

TEST(MessageTexts, WithoutLanguageFileEveryTextReadsError) {
  TempFolder folder;
  const MessageTexts texts = LoadMessageTexts(folder.Path());
  for (const auto& [key, capacity] : kExpectedCapacity) {
    const std::string* text = FindMessageText(texts, key);
    ASSERT_NE(text, nullptr) << key;
    EXPECT_EQ(*text, "Error") << key;
  }
  // The one newer text reads as a sentence, not as "Error", in a file that
  // predates it; a file that has it wins.
  EXPECT_EQ(texts.noanswer, kNoAnswerDefault);
  folder.Write("language.ini", "[Section1]\nnoanswer=仪表没有应答\n");
  EXPECT_EQ(LoadMessageTexts(folder.Path()).noanswer, "仪表没有应答");
}

#ifndef _WIN32  // a FIFO, which Windows has no files of
TEST(MessageTexts, LanguageFileThatIsNotARegularFileIsRefusedWithoutWaiting) {
  TempFolder folder;
  testing::FifoTrap fifo(folder / "language.ini");
  common::TraceCapture trace;
  MessageTexts texts;
  EXPECT_FALSE(fifo.Run([&] { texts = LoadMessageTexts(folder.Path()); }))
      << "opening the FIFO blocked";
  EXPECT_EQ(texts.save, "Error");
  EXPECT_EQ(texts.createxcelerr, "Error");
  EXPECT_TRUE(trace.Contains(fifo.Path() + ": not a regular file")) << trace.Text();
}
#endif

TEST(MessageTexts, EachKeyFillsItsOwnField) {
  TempFolder folder;
  std::string file = "[Section1]\r\n";
  for (const auto& [key, capacity] : kExpectedCapacity) file += key + "=" + key + "\r\n";
  folder.Write("language.ini", file);

  const MessageTexts t = LoadMessageTexts(folder.Path() + "/");
  EXPECT_EQ(t.save, "save");
  EXPECT_EQ(t.dellall, "dellall");
  EXPECT_EQ(t.exit, "exit");
  EXPECT_EQ(t.readrecord, "readrecord");
  EXPECT_EQ(t.clearlcd, "clearlcd");
  EXPECT_EQ(t.dellsel, "dellsel");
  EXPECT_EQ(t.nocom, "nocom");
  EXPECT_EQ(t.comnotopen, "comnotopen");
  EXPECT_EQ(t.connect, "connect");
  EXPECT_EQ(t.dellallok, "dellallok");
  EXPECT_EQ(t.conok, "conok");
  EXPECT_EQ(t.dellallts, "dellallts");
  EXPECT_EQ(t.timedata, "timedata");
  EXPECT_EQ(t.allloss, "allloss");
  EXPECT_EQ(t.eventtype, "eventtype");
  EXPECT_EQ(t.disten, "disten");
  EXPECT_EQ(t.refl, "refl");
  EXPECT_EQ(t.loss, "loss");
  EXPECT_EQ(t.createxcelerr, "createxcelerr");

  for (const auto& [key, capacity] : kExpectedCapacity) {
    ASSERT_NE(FindMessageText(t, key), nullptr);
    EXPECT_EQ(*FindMessageText(t, key), key);
  }
  EXPECT_EQ(FindMessageText(t, "nosuchkey"), nullptr);
}

TEST(MessageTexts, EveryKeyIsCutAtItsOwnCapacity) {
  TempFolder folder;
  const std::string longValue(100, 'x');
  std::string file = "[Section1]\n";
  for (const auto& [key, capacity] : kExpectedCapacity) file += key + "=" + longValue + "\n";
  folder.Write("language.ini", file);

  const MessageTexts texts = LoadMessageTexts(folder.Path());
  for (const auto& [key, capacity] : kExpectedCapacity) {
    EXPECT_EQ(*FindMessageText(texts, key), std::string(capacity - 1, 'x')) << key;
  }
}

TEST(MessageTexts, EraseQuestionOfFiftyNineChineseCharactersIsShownWhole) {
  std::string fiftyNine;
  for (int i = 0; i < 59; ++i) fiftyNine += "确";
  TempFolder whole;
  whole.Write("language.ini", "[Section1]\ndellallts=" + fiftyNine + "\n");
  EXPECT_EQ(LoadMessageTexts(whole.Path()).dellallts, fiftyNine);

  TempFolder cut;
  cut.Write("language.ini", "[Section1]\ndellallts=" + fiftyNine + "定\n");
  EXPECT_EQ(LoadMessageTexts(cut.Path()).dellallts, fiftyNine);
}

class ShippedLanguageFile : public ::testing::TestWithParam<const char*> {};

TEST_P(ShippedLanguageFile, HasEveryKeyWithinItsCapacity) {
  const std::string directory = std::string(ORVANA_LANG_DIR) + "/" + GetParam();
  const IniFile file = IniFile::Load(LanguageFilePath(directory));
  ASSERT_TRUE(file.Loaded()) << directory;
  std::set<std::string> distinct;
  for (const auto& [key, capacity] : kExpectedCapacity) {
    const std::string uncut = file.Get(kMessageTextSection, key, kMessageTextDefault, 1000);
    EXPECT_NE(uncut, "Error") << key;
    EXPECT_FALSE(uncut.empty()) << key;
    EXPECT_LE(CharacterCount(uncut), capacity - 1) << key << ": " << uncut;
    distinct.insert(uncut);
  }
  EXPECT_EQ(distinct.size(), kExpectedCapacity.size()) << "two keys share one text";
}

INSTANTIATE_TEST_SUITE_P(Languages, ShippedLanguageFile, ::testing::Values("zh_CN", "en"));

}  // namespace
}  // namespace orvana::texts
