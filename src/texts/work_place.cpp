#include "texts/work_place.h"

#include <array>
#include <cstdlib>
#include <filesystem>

#include "common/utf8.h"
#include "platform/file_info.h"
#include "platform/user_folders.h"

namespace orvana::texts {
namespace {

// How far above the program's folder an install prefix may be: bin/ of an
// install, src/ or src/cli/ of a build tree.
constexpr int kPrefixLevels = 3;

std::string Variable(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string() : std::string(value);
}

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

bool NamesOurs(const std::string& language) {
  return StartsWith(language, "zh") || StartsWith(language, "en");
}

bool IsFile(const std::string& path) {
  platform::FileInfo info;
  return platform::InfoAt(path, info) && info.kind == platform::FileKind::Regular;
}

bool HoldsIdeograph(const std::string& text) {
  for (size_t at = 0; at < text.size();) {
    const common::Utf8Char character = common::DecodeUtf8(text, at);
    if (character.valid && character.codePoint >= 0x4E00 && character.codePoint <= 0x9FFF) {
      return true;
    }
    at += character.length;
  }
  return false;
}

}  // namespace

LanguageEnvironment LanguageEnvironment::FromProcess() {
  return {Variable("ORVANA_LANG"), Variable("LC_ALL"), Variable("LC_MESSAGES"), Variable("LANG")};
}

std::string ChooseLanguage(const LanguageEnvironment& environment) {
  if (NamesOurs(environment.orvanaLang)) {
    return StartsWith(environment.orvanaLang, "zh") ? kChinese : kEnglish;
  }
  for (const std::string* locale :
       {&environment.lcAll, &environment.lcMessages, &environment.lang}) {
    if (locale->empty()) continue;
    return StartsWith(*locale, "zh") ? kChinese : kEnglish;
  }
  return kEnglish;
}

std::string LanguageOfTexts(const MessageTexts& texts) {
  for (const MessageTextKey& entry : kMessageTextKeys) {
    if (HoldsIdeograph(texts.*entry.member)) return kChinese;
  }
  return kEnglish;
}

std::string FindInstalledLanguageFile(const std::string& executableFolder,
                                      const std::string& language) {
  return FindInstalledFile(executableFolder,
                           "share/orvana/lang/" + language + "/" + std::string(kLanguageFileName));
}

std::string FindInstalledFile(const std::string& executableFolder,
                              const std::string& relativePath) {
  if (executableFolder.empty()) return {};
  std::filesystem::path prefix(executableFolder);
  for (int level = 0; level <= kPrefixLevels && !prefix.empty(); ++level) {
    const std::string candidate = (prefix / relativePath).string();
    if (IsFile(candidate)) return candidate;
    if (prefix == prefix.root_path()) break;
    prefix = prefix.parent_path();
  }
  return {};
}

WorkPlace FindWorkPlace(const std::string& startDirectory, const std::string& executableFolder,
                        const LanguageEnvironment& environment, const std::string& userLogFolder) {
  const std::string start = startDirectory.empty() ? std::string(".") : startDirectory;
  WorkPlace place;
  place.languageFile = LanguageFilePath(start);
  place.logFolder = start + "/Savetemp";
  place.ownFolder = IsFile(place.languageFile);
  const bool asked = NamesOurs(environment.orvanaLang);
  if (place.ownFolder) {
    place.language = asked ? ChooseLanguage(environment)
                           : LanguageOfTexts(LoadMessageTextFile(place.languageFile));
    return place;
  }
  place.language = ChooseLanguage(environment);
  // A missing file everywhere still reads as it always has: "Error".
  if (std::string installed = FindInstalledLanguageFile(executableFolder, place.language);
      !installed.empty()) {
    place.languageFile = std::move(installed);
  }
  if (!userLogFolder.empty()) place.logFolder = userLogFolder;
  return place;
}

WorkPlace FindWorkPlaceOfProcess(const std::string& userLogFolder) {
  std::error_code error;
  const std::string start = std::filesystem::current_path(error).string();
  return FindWorkPlace(start, platform::ExecutableFolder(), LanguageEnvironment::FromProcess(),
                       userLogFolder);
}

std::string UserLogFolder() {
  const std::string data = platform::UserDataFolder();
  return data.empty() ? std::string() : data + "/Savetemp";
}

}  // namespace orvana::texts
