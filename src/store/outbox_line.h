#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "store/stored_result.h"

// How a result is kept in the outbox on the bench's disk until the database
// has it: one line of tab-separated fields, the first of them the line
// format's version. Inside a field a backslash escapes itself, a tab (\t), a
// line feed (\n) and a carriage return (\r); a field that holds nothing at all
// (an unknown number or verdict) is \N; the last field checks the others. A
// line never holds a raw LF, CR or NUL, so a line torn by a crash can only be
// cut short, and a short line is refused by the parser instead of being read
// as another result.
namespace orvana::store {

// The line without its LF.
std::string FormatOutboxLine(const StoredResult& result);

// The result of one line (without its LF); nothing when the line is not one
// this version wrote whole: wrong version, wrong number of fields, a broken
// escape, a number, verdict or time that does not read back. Every text
// comes back as valid UTF-8 (the database takes nothing else), since the
// writer made it so.
std::optional<StoredResult> ParseOutboxLine(std::string_view line);

// An uploaded event's line: its own version field, then key, bench, upload
// time, record date, the six cells and the check, escaped as above.
std::string FormatOutboxEventLine(const UploadedEvent& event);
std::optional<UploadedEvent> ParseOutboxEventLine(std::string_view line);
// "e:" and the FNV-1a 64 hash of the record date and the cells, in hex.
std::string UploadedEventKey(std::string_view recordDate, const std::array<std::string, 6>& cells);

// Free texts (serial, device name, product and order numbers) are kept up to
// this many bytes, cut at a character boundary, with anything that is not
// UTF-8 replaced by U+FFFD; a text this long is not a part's name.
inline constexpr size_t kLongestStoredText = 3072;

// The check field of a line whose other fields are `fields` (all but the
// last tab and the check itself).
std::string OutboxLineCheck(std::string_view fields);

// A number as the record writes it, in the outbox and to the database: the
// shortest text that reads back as the same float, and the database's own
// words for the values that are not numbers ("NaN", "Infinity").
std::string NumberText(float value);

// `text` as the record keeps it: valid UTF-8 (each broken sequence becomes
// U+FFFD) without NUL bytes (spaces), cut to kLongestStoredText bytes.
std::string StorableText(std::string_view text);

}  // namespace orvana::store
