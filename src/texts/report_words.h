#pragma once

#include <string_view>

#include "records/report_content.h"
#include "texts/message_texts.h"

// The report's words that the language file has no key for, in the language
// the bench's texts are in, as the verdict's words are: a bench's own copy of
// the language file may well lack newer keys.
namespace orvana::texts {

// The title of the column that holds the times as date-time values.
inline constexpr std::string_view kEnglishTimeValueTitle = "Time (date-time value)";
inline constexpr std::string_view kChineseTimeValueTitle = "时间（日期时间值）";

// By the language of `texts` (Chinese when they hold Chinese, else English).
records::ReportWords ReportWordsFor(const MessageTexts& texts);

}  // namespace orvana::texts
