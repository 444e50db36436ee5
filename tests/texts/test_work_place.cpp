// Where the programs find their texts and keep their logs: a folder set up
// for the bench is worked in as always; anywhere else the installed texts
// for the user's language are read and the window logs per user.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/temp_folder.h"
#include "texts/message_texts.h"
#include "texts/work_place.h"

namespace orvana::texts {
namespace {

TEST(ChooseLanguage, OrvanaLangFirstThenTheLocaleMessagesFollow) {
  EXPECT_EQ(ChooseLanguage({"en", "zh_CN.UTF-8", "", ""}), kEnglish);
  EXPECT_EQ(ChooseLanguage({"zh_TW", "", "", "en_GB.UTF-8"}), kChinese);
  // LC_ALL outranks LC_MESSAGES, which outranks LANG; the first set decides.
  EXPECT_EQ(ChooseLanguage({"", "de_DE.UTF-8", "zh_CN.UTF-8", "zh_CN.UTF-8"}), kEnglish);
  EXPECT_EQ(ChooseLanguage({"", "", "zh_HK.UTF-8", "en_US.UTF-8"}), kChinese);
  EXPECT_EQ(ChooseLanguage({"", "", "", "zh_CN.GB18030"}), kChinese);
  // A value we have no texts for is no choice at all.
  EXPECT_EQ(ChooseLanguage({"fr", "", "", "zh_CN.UTF-8"}), kChinese);
  EXPECT_EQ(ChooseLanguage({"", "", "", "C"}), kEnglish);
  EXPECT_EQ(ChooseLanguage({}), kEnglish);
}

// An install: <prefix>/bin/orvana and <prefix>/share/orvana/lang/*.
class WorkPlaceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* language : {kEnglish, kChinese}) {
      const auto folder = std::filesystem::path(prefix.Path()) / "share/orvana/lang" / language;
      std::filesystem::create_directories(folder);
      testing::WriteFile(
          (folder / "language.ini").string(),
          std::string("[Section1]\nconnect=") + (language == kEnglish ? "Connect" : "连接") + "\n");
    }
    std::filesystem::create_directories(Bin());
  }
  std::string Bin() const { return prefix / "bin"; }

  testing::TempFolder prefix;
  testing::TempFolder start;
};

TEST_F(WorkPlaceTest, AnEmptyFolderReadsTheInstalledTextsOfTheLanguageAndLogsPerUser) {
  const WorkPlace place =
      FindWorkPlace(start.Path(), Bin(), {"", "", "", "zh_CN.UTF-8"}, "/home/u/.orvana-logs");
  EXPECT_EQ(place.language, kChinese);
  EXPECT_FALSE(place.ownFolder);
  EXPECT_EQ(LoadMessageTextFile(place.languageFile).connect, "连接");
  EXPECT_EQ(LanguageOfTexts(LoadMessageTextFile(place.languageFile)), kChinese);
  EXPECT_EQ(place.logFolder, "/home/u/.orvana-logs");

  // orvana-cli keeps its logs in the folder it works in, whatever the texts.
  const WorkPlace cli =
      FindWorkPlace(start.Path(), prefix / "bin", {"en", "", "", "zh_CN.UTF-8"}, "");
  EXPECT_EQ(LoadMessageTextFile(cli.languageFile).connect, "Connect");
  EXPECT_EQ(LanguageOfTexts(LoadMessageTextFile(cli.languageFile)), kEnglish);
  EXPECT_EQ(cli.logFolder, start.Path() + "/Savetemp");
}

TEST_F(WorkPlaceTest, TheStartFoldersOwnLanguageFileWinsAndItsSavetempStays) {
  start.Write("language.ini", "[Section1]\nconnect=Verbinden\n");
  const LanguageEnvironment chineseLocale{"", "", "", "zh_CN.UTF-8"};
  const WorkPlace place = FindWorkPlace(start.Path(), Bin(), chineseLocale, "/home/u/.orvana-logs");
  EXPECT_TRUE(place.ownFolder);
  EXPECT_EQ(LoadMessageTextFile(place.languageFile).connect, "Verbinden");
  EXPECT_EQ(place.logFolder, start.Path() + "/Savetemp");
  // The captions speak the file's language, not the locale's.
  EXPECT_EQ(place.language, kEnglish);
  start.Write("language.ini", "[Section1]\nconnect=连接\n");
  EXPECT_EQ(FindWorkPlace(start.Path(), Bin(), {"", "", "", "en_US.UTF-8"}, "").language, kChinese);
  EXPECT_EQ(FindWorkPlace(start.Path(), Bin(), {"en", "", "", ""}, "").language, kEnglish);
}

TEST_F(WorkPlaceTest, WithNothingInstalledTheTextsReadAsTheyAlwaysHave) {
  // A program far from any install: its folder and three above hold none.
  const WorkPlace place = FindWorkPlace(start.Path(), start.Path(), {}, "");
  EXPECT_EQ(place.languageFile, start.Path() + "/language.ini");
  EXPECT_EQ(LoadMessageTextFile(place.languageFile).connect, std::string(kMessageTextDefault));
}

}  // namespace
}  // namespace orvana::texts
