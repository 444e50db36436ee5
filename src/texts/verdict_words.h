#pragma once

#include <string>
#include <string_view>

#include "results/outcome.h"
#include "texts/message_texts.h"

// The words of a part's verdict, in the language the bench's texts are in:
// for the bench mode's column in the window and in the workbook, and for
// orvana-cli's readable lines. Kept here rather than in the language file,
// whose keys a bench's own copy may well lack (they read as "Error" then).
namespace orvana::texts {

struct VerdictWords {
  std::string_view title;  // the column's
  std::string_view pass;
  std::string_view fail;

  // Empty for a part nobody judged.
  std::string_view For(results::Outcome verdict) const {
    if (verdict == results::OUTCOME_PASS) return pass;
    if (verdict == results::OUTCOME_FAIL) return fail;
    return {};
  }
};

inline constexpr VerdictWords kEnglishVerdictWords{"Verdict", "PASS", "FAIL"};
inline constexpr VerdictWords kChineseVerdictWords{"判定", "合格", "不合格"};

// By the language of `texts` (Chinese when they hold Chinese, else English).
VerdictWords VerdictWordsFor(const MessageTexts& texts);
// By a language's name, kChinese or kEnglish.
VerdictWords VerdictWordsOf(const std::string& language);

}  // namespace orvana::texts
