#include "texts/verdict_words.h"

#include "texts/work_place.h"

namespace orvana::texts {

VerdictWords VerdictWordsOf(const std::string& language) {
  return language == kChinese ? kChineseVerdictWords : kEnglishVerdictWords;
}

VerdictWords VerdictWordsFor(const MessageTexts& texts) {
  return VerdictWordsOf(LanguageOfTexts(texts));
}

}  // namespace orvana::texts
