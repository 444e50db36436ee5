#include "store/logged_result.h"

#include "results/column.h"
#include "results/time_text.h"
#include "store/outbox_line.h"
#include "store/result_store.h"

namespace orvana::store {
namespace {

int Number(std::string_view text, size_t at, size_t count) {
  int value = 0;
  for (const char c : text.substr(at, count)) value = value * 10 + (c - '0');
  return value;
}

}  // namespace

common::LocalTime TimeOfLoggedLine(const std::string& day, std::string_view timeText) {
  if (const auto time = results::ParseTimestamp(timeText)) return *time;
  return {Number(day, 0, 4), Number(day, 4, 2), Number(day, 6, 2), 0, 0, 0};
}

StoredResult StoredResultOfLine(const std::string& day, size_t line,
                                const records::RowFields& fields) {
  using results::Column;
  using results::ColumnIndex;
  StoredResult result;
  result.key = "l:" + day + ":" + std::to_string(line);
  result.serial = StorableText(fields[ColumnIndex(Column::Serial)]);
  result.timeText = StorableText(fields[ColumnIndex(Column::Time)]);
  result.recordedAt = RecordedAtText(TimeOfLoggedLine(day, fields[ColumnIndex(Column::Time)]));
  for (size_t k = 0; k < 4; ++k) {
    const std::string_view text = fields[ColumnIndex(results::ValueColumn(static_cast<int>(k)))];
    result.texts[k] = StorableText(text);
    if (const auto value = records::ParseDecimalText(text)) {
      result.values[k] = static_cast<float>(value->number);
    }
  }
  return result;
}

}  // namespace orvana::store
