#include <gtest/gtest.h>

#include <string>

#include "support/temp_folder.h"
#include "texts/ini_reader.h"

namespace orvana::texts {
namespace {

using testing::TempFolder;

std::string Repeat(std::string_view piece, size_t times) {
  std::string text;
  for (size_t i = 0; i < times; ++i) text += piece;
  return text;
}

// UTF-16 bytes with a byte-order mark, from UTF-16 code units.
std::string Utf16WithBom(std::u16string_view units, bool bigEndian) {
  std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
  for (char16_t unit : units) {
    const char high = static_cast<char>(unit >> 8);
    const char low = static_cast<char>(unit & 0xFF);
    bytes += bigEndian ? high : low;
    bytes += bigEndian ? low : high;
  }
  return bytes;
}

TEST(IniLookup, MissingFileSectionOrKeyGivesTheFallback) {
  const IniFile missing = IniFile::Load("/nonexistent/folder/language.ini");
  EXPECT_FALSE(missing.Loaded());
  EXPECT_EQ(missing.Get("Section1", "save", "Error", 50), "Error");

  const IniFile file = IniFile::FromBytes(
      "orphan=before any section\n[Other]\nsave=elsewhere\n[Section1]\nconnect=Connect\n");
  EXPECT_TRUE(file.Loaded());
  EXPECT_EQ(file.Get("Section1", "connect", "Error", 20), "Connect");
  EXPECT_EQ(file.Get("Section1", "save", "Error", 50), "Error");
  EXPECT_EQ(file.Get("Section2", "connect", "Error", 50), "Error");
  EXPECT_EQ(file.Get("", "orphan", "Error", 50), "Error");
}

TEST(IniLookup, FolderInsteadOfFileIsNotLoaded) {
  TempFolder folder;
  const IniFile file = IniFile::Load(folder.Path());
  EXPECT_FALSE(file.Loaded());
  EXPECT_EQ(file.Get("Section1", "save", "Error", 50), "Error");
}

TEST(IniLookup, SectionAndKeyIgnoreAsciiCase) {
  const IniFile file = IniFile::FromBytes("[SECTION1]\nSaVe=Export\n");
  EXPECT_EQ(file.Get("section1", "SAVE", "Error", 50), "Export");
  EXPECT_EQ(file.Get("Section1", "save", "Error", 50), "Export");
}

TEST(IniLookup, NamesAndValuesAreTrimmedAndOneQuotePairDropped) {
  const IniFile file = IniFile::FromBytes(
      "  [ Section1 ]  \n"
      "\t save \t=   Save report  \n"
      "quoted=\"  spaced out  \"\n"
      "twice=\"\"inner\"\"\n"
      "lone=\"\n"
      "formula=a=b\n"
      "empty=\n");
  EXPECT_EQ(file.Get("Section1", "save", "Error", 50), "Save report");
  EXPECT_EQ(file.Get("Section1", "quoted", "Error", 50), "  spaced out  ");
  EXPECT_EQ(file.Get("Section1", "twice", "Error", 50), "\"inner\"");
  EXPECT_EQ(file.Get("Section1", "lone", "Error", 50), "\"");
  EXPECT_EQ(file.Get("Section1", "formula", "Error", 50), "a=b");
  // A key that is present but empty is an empty text, not the fallback.
  EXPECT_EQ(file.Get("Section1", "empty", "Error", 50), "");
}

TEST(IniLookup, CommentsAreSkippedAndFirstOccurrenceWins) {
  const IniFile file = IniFile::FromBytes(
      "[Section1]\n"
      ";save=commented out\n"
      "save=first\n"
      "SAVE=second\n"
      "[section1]\n"
      "save=third\n"
      "exit=only in the repeated section\n");
  EXPECT_EQ(file.Get("Section1", "save", "Error", 50), "first");
  EXPECT_EQ(file.Get("Section1", "exit", "Error", 50), "Error");
  EXPECT_EQ(file.Get("Section1", ";save", "Error", 50), "Error");
}

TEST(IniLookup, EveryLineEndingSeparatesLines) {
  const IniFile file =
      IniFile::FromBytes("[Section1]\r\nsave=crlf\r\nexit=cr\rconnect=lf\nloss=last");
  EXPECT_EQ(file.Get("Section1", "save", "Error", 50), "crlf");
  EXPECT_EQ(file.Get("Section1", "exit", "Error", 50), "cr");
  EXPECT_EQ(file.Get("Section1", "connect", "Error", 50), "lf");
  EXPECT_EQ(file.Get("Section1", "loss", "Error", 50), "last");
}

TEST(IniCapacity, CutsToCapacityMinusOneCharacters) {
  const std::string chinese59 = Repeat("删", 59);
  const std::string chinese60 = Repeat("删", 60);
  const IniFile file = IniFile::FromBytes("[Section1]\nfits=" + chinese59 + "\nlong=" + chinese60 +
                                          "\nemoji=a\xF0\x9F\x98\x80" + "bc\n");
  EXPECT_EQ(file.Get("Section1", "fits", "Error", 60), chinese59);
  EXPECT_EQ(file.Get("Section1", "long", "Error", 60), chinese59);
  // A character outside the BMP counts once, and is never split.
  EXPECT_EQ(file.Get("Section1", "emoji", "Error", 3), "a\xF0\x9F\x98\x80");
  EXPECT_EQ(file.Get("Section1", "emoji", "Error", 0), "");
  EXPECT_EQ(file.Get("Section1", "emoji", "Error", 1), "");
  // The fallback goes into the same buffer and is cut the same way.
  EXPECT_EQ(file.Get("Section1", "absent", "Error", 3), "Er");
}

TEST(IniEncoding, Utf8WithByteOrderMark) {
  // Without stripping the mark the first section header would not be seen.
  const IniFile file = IniFile::FromBytes("\xEF\xBB\xBF[Section1]\nsave=保存\n");
  EXPECT_EQ(file.Get("Section1", "save", "Error", 50), "保存");
}

TEST(IniEncoding, Utf16LittleAndBigEndianWithByteOrderMark) {
  const std::u16string text = u"[Section1]\r\nsave=保存\r\nsmile=\U0001F600!\r\n";
  for (bool bigEndian : {false, true}) {
    SCOPED_TRACE(bigEndian ? "big endian" : "little endian");
    const IniFile file = IniFile::FromBytes(Utf16WithBom(text, bigEndian));
    EXPECT_EQ(file.Get("Section1", "save", "Error", 50), "保存");
    EXPECT_EQ(file.Get("Section1", "smile", "Error", 50), "\xF0\x9F\x98\x80!");
    EXPECT_EQ(file.Get("Section1", "smile", "Error", 2), "\xF0\x9F\x98\x80");
  }
}

TEST(IniEncoding, BrokenUtf16KeepsTheRestOfTheFile) {
  // A lone high surrogate in the first value must not cost the next line.
  const std::u16string text = u"[Section1]\nsave=a\xD800z\nexit=Exit\n";
  const IniFile file = IniFile::FromBytes(Utf16WithBom(text, false));
  EXPECT_EQ(file.Get("Section1", "exit", "Error", 20), "Exit");
  EXPECT_EQ(file.Get("Section1", "save", "Error", 20), "a\xEF\xBF\xBDz");
}

TEST(IniEncoding, Gb18030FromAChineseWindowsMachine) {
  // 保存 and a four-byte GB18030 sequence for U+1F600.
  const IniFile file =
      IniFile::FromBytes("[Section1]\r\nsave=\xB1\xA3\xB4\xE6\r\nsmile=\x94\x39\xFC\x36\r\n");
  EXPECT_EQ(file.Get("Section1", "save", "Error", 50), "保存");
  EXPECT_EQ(file.Get("Section1", "smile", "Error", 50), "\xF0\x9F\x98\x80");
}

TEST(IniEncoding, LoadReadsTheFileFromDisk) {
  TempFolder folder;
  const std::string path = folder.Write("language.ini", "[Section1]\nsave=\xB1\xA3\xB4\xE6\n");
  const IniFile file = IniFile::Load(path);
  EXPECT_TRUE(file.Loaded());
  EXPECT_EQ(file.Get("Section1", "save", "Error", 50), "保存");
}

TEST(IniEncoding, DecodedTextIsAlwaysValidUtf8) {
  // Not UTF-8, and not GB18030 either: a trailing lead byte.
  const std::string decoded = DecodeTextFile("ok\x81");
  EXPECT_EQ(decoded, "ok\xEF\xBF\xBD");
  EXPECT_EQ(DecodeTextFile("\xEF\xBB\xBFx\xC0y"), "x\xEF\xBF\xBDy");
}

}  // namespace
}  // namespace orvana::texts
