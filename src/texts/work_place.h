#pragma once

#include <string>

#include "texts/message_texts.h"

// Where the program finds its texts and keeps its day logs. A folder set up
// for the meter, with its own language.ini, is worked in as the meter
// software always has (its language.ini, its Savetemp/). Started anywhere
// else (from the desktop's menu, in the home folder) the program uses the
// installed language file for the user's language and, for the window, a
// per-user folder for the logs.
namespace orvana::texts {

// The languages the program ships texts for.
inline constexpr const char* kChinese = "zh_CN";
inline constexpr const char* kEnglish = "en";

// What decides the language, as the process has it.
struct LanguageEnvironment {
  std::string orvanaLang;  // ORVANA_LANG
  std::string lcAll;       // LC_ALL
  std::string lcMessages;  // LC_MESSAGES
  std::string lang;        // LANG
  static LanguageEnvironment FromProcess();
};

// ORVANA_LANG when it names one of ours (zh..., en...), else the locale the
// messages follow (LC_ALL, LC_MESSAGES, LANG, the first one set): Chinese
// for a Chinese locale, English for any other.
std::string ChooseLanguage(const LanguageEnvironment& environment);

// The language the texts are written in: Chinese when any holds a CJK
// ideograph, else English.
std::string LanguageOfTexts(const MessageTexts& texts);

// <prefix>/share/orvana/lang/<language>/language.ini for the nearest prefix
// at or above the program's folder (an install puts the programs in
// <prefix>/bin, a build tree keeps a copy of the files at its top); empty
// when there is none.
std::string FindInstalledLanguageFile(const std::string& executableFolder,
                                      const std::string& language);

// <prefix>/<relativePath> for the nearest prefix at or above the program's
// folder that holds that file, as for the language files; empty when none.
std::string FindInstalledFile(const std::string& executableFolder, const std::string& relativePath);

struct WorkPlace {
  std::string languageFile;  // the language file to read
  std::string logFolder;     // where the day logs go
  bool ownFolder = false;    // the start folder has its own language.ini
  // What the program's own captions and Qt's buttons speak: ORVANA_LANG when
  // it names one of ours, else that of the start folder's own language file,
  // else that of the locale. The captions then match the language file's
  // texts beside them.
  std::string language;
};

// `startDirectory` empty means the current folder. `userLogFolder` is where
// the logs go when the start folder is not set up for the meter; empty keeps
// them in its Savetemp/ (orvana-cli, whose scripts rely on that).
WorkPlace FindWorkPlace(const std::string& startDirectory, const std::string& executableFolder,
                        const LanguageEnvironment& environment, const std::string& userLogFolder);

// The work place of this process: the current folder, the running program's
// install, the language of ORVANA_LANG or the locale.
WorkPlace FindWorkPlaceOfProcess(const std::string& userLogFolder);

// The per-user folder of a window's day logs: <user data folder>/Savetemp,
// ~/.local/share/orvana/Savetemp unless XDG_DATA_HOME says otherwise.
std::string UserLogFolder();

}  // namespace orvana::texts
