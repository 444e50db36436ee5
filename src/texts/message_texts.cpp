#include "texts/message_texts.h"

namespace orvana::texts {

std::string LanguageFilePath(const std::string& directory) {
  if (directory.empty()) return std::string(kLanguageFileName);
  std::string path = directory;
  if (path.back() != '/') path += '/';
  path += kLanguageFileName;
  return path;
}

MessageTexts ReadMessageTexts(const IniFile& file) {
  MessageTexts texts;
  for (const MessageTextKey& entry : kMessageTextKeys) {
    texts.*entry.member =
        file.Get(kMessageTextSection, entry.key, kMessageTextDefault, entry.capacity);
  }
  for (const NewerTextKey& entry : kNewerTextKeys) {
    texts.*entry.member = file.Get(kMessageTextSection, entry.key, entry.builtIn, entry.capacity);
  }
  return texts;
}

MessageTexts LoadMessageTexts(const std::string& directory) {
  return LoadMessageTextFile(LanguageFilePath(directory));
}

MessageTexts LoadMessageTextFile(const std::string& path) {
  return ReadMessageTexts(IniFile::Load(path));
}

std::array<std::string, 6> TableColumnTitles(const MessageTexts& texts) {
  return {texts.disten, texts.loss, texts.refl, texts.allloss, texts.eventtype, texts.timedata};
}

}  // namespace orvana::texts
