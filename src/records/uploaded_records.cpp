#include "records/uploaded_records.h"

#include "common/utf8.h"
#include "records/log_line.h"

namespace orvana::records {

std::string FormatRecordLine(const results::RowTexts& cells) {
  std::string line;
  for (size_t column = 0; column < cells.size(); ++column) {
    if (column > 0) line += kFieldSeparator;
    // A cell is the meter's numbers as text; the cut only keeps a line
    // within what the import reads.
    const size_t start = line.size();
    line += common::CutAtCharacter(cells[column], kLongestLogValue);
    for (size_t at = start; at < line.size(); ++at) {
      if (line[at] == '\n' || line[at] == '\r' || line[at] == '\0') line[at] = ' ';
    }
  }
  return line;
}

bool IsRecordsFile(std::string_view path) {
  return path.size() > kRecordsExtension.size() &&
         path.substr(path.size() - kRecordsExtension.size()) == kRecordsExtension;
}

size_t SplitRecordFields(std::string_view line, RowFields& fields) {
  fields.fill({});
  line = LineContent(line);
  if (line.empty()) return 0;
  size_t count = 0;
  while (count + 1 < fields.size()) {
    const size_t at = line.find(kFieldSeparator);
    fields[count++] = line.substr(0, at);
    if (at == std::string_view::npos) return count;
    line = line.substr(at + kFieldSeparator.size());
  }
  fields[count++] = line;
  return count;
}

}  // namespace orvana::records
