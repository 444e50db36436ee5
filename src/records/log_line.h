#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "common/clock.h"
#include "results/column.h"

// One line of the day log, the lasting record of a result: how it is made,
// how it is cut back into its fields, and how a log's file is named. The
// day log writes these lines, the import, the report and the line's record
// read them; all of them go through here, so they cannot drift apart.
namespace orvana::records {

// Ends every stored line. Files written by earlier versions end their lines
// the same way, so old and new files read alike.
inline constexpr std::string_view kLogLineEnd = "\r\r\n";
// Between the fields of a line.
inline constexpr std::string_view kFieldSeparator = "   ";

// The longest line the import reads, in bytes before its LF (its CRs
// included); a longer one is skipped as not a result. The writer keeps every
// line within it, so whatever the window logs can be read back.
inline constexpr size_t kLongestLogLine = 4096;
// A serial number is stored up to this many bytes, cut at a character
// boundary; a scanner that sends more than that is not reading a serial.
inline constexpr size_t kLongestLogSerial = 3072;
// Value and time texts are ours and never come near this; the cut only makes
// sure that no text can push a line past kLongestLogLine.
inline constexpr size_t kLongestLogValue = 64;
static_assert(kLongestLogSerial + 5 * (kFieldSeparator.size() + kLongestLogValue) +
                      kLogLineEnd.size() - 1 <=
                  kLongestLogLine,
              "a line the writer makes must fit what the import reads");

// The six fields joined by the separator, without the line end. The serial is
// cut to kLongestLogSerial bytes (never inside a UTF-8 character) and any LF
// or NUL in it becomes a space, since either would end the line for the
// import; the other texts are cut to kLongestLogValue.
std::string FormatLogLine(const std::string& serial, const std::array<std::string, 4>& texts,
                          const std::string& timeText);

// The serial as FormatLogLine writes it.
std::string LoggedSerial(const std::string& serial);

// The texts of one row, in column order, as views into the line they were
// cut from.
using RowFields = std::array<std::string_view, results::kColumnCount>;

// A stored line without the CRs at its end; empty when it holds nothing but
// blanks (no row).
std::string_view LineContent(std::string_view line);

// Cuts one stored line into the table's columns, without copying: serial,
// four value texts, time; the last column stays empty, and so does any
// column the line gives no field for. Any CR at the line's end is dropped
// first. A complete line (five separators or more) is cut from the right: the
// time, then the four values, each of which holds no spaces; whatever stays
// on the left is the serial, spaces and all. A line with fewer separators is
// cut from the left, field by field. Empty fields keep their places. Returns
// how many fields the line gave: 0 for a line that holds nothing but blanks
// (no row).
size_t SplitLineFields(std::string_view line, RowFields& fields);

// The line touches a NUL run (LogLineReader says so) and `fields` (as
// SplitLineFields cut it into `count`) are not a whole result line.
bool IsDamagedLine(const RowFields& fields, size_t count);

// The number a logged value text stands for: a plain decimal (an optional
// minus, digits without a superfluous leading zero, optionally a point and
// digits; at most 15 digits in all, so the number is exact), as the meter's
// values are written. Nothing for any other text, such as an empty field.
struct DecimalValue {
  double number = 0;
  int decimals = 0;           // digits after the point
  bool negativeZero = false;  // "-0", "-0.00": zero written with its sign
};
std::optional<DecimalValue> ParseDecimalText(std::string_view text);

// "<folder>/YYYYMMDD.txt" (or another extension) for the date of `date`.
std::string LogFilePath(const std::string& folder, const common::LocalTime& date,
                        std::string_view extension = ".txt");

// "YYYYMMDD" of a day log's file name ("…/20261209.txt"); empty when the
// name is not a day's.
std::string DayOfLogName(const std::string& path);

}  // namespace orvana::records
