#include "texts/report_words.h"

#include <string>

#include "texts/verdict_words.h"
#include "texts/work_place.h"

namespace orvana::texts {

records::ReportWords ReportWordsFor(const MessageTexts& texts) {
  const std::string language = LanguageOfTexts(texts);
  const VerdictWords verdict = VerdictWordsOf(language);
  records::ReportWords words;
  words.timeValueTitle = language == kChinese ? kChineseTimeValueTitle : kEnglishTimeValueTitle;
  words.verdictTitle = verdict.title;
  words.pass = verdict.pass;
  words.fail = verdict.fail;
  return words;
}

}  // namespace orvana::texts
