#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "records/log_line.h"

// Standard input as a barcode scanner on a headless bench types it: each
// line is the serial of the next part recorded. Bytes come in as they were
// read, in pieces of any size; whole lines come out.
namespace orvana::cli {

class ScannedSerials {
 public:
  // What the day log keeps of a serial, uncut. A longer line is not a serial
  // (a file piped in by mistake, a scanner gone wild): it is skipped, and
  // memory stays bounded by its length and the blanks a line may have
  // around its serial.
  static constexpr size_t kLongestSerial = records::kLongestLogSerial;
  static constexpr size_t kLongestLine = kLongestSerial + 256;

  struct Scan {
    std::vector<std::string> serials;  // in the order they were typed
    size_t tooLong = 0;                // lines skipped for their length
  };

  // The serials whose lines `bytes` ended. A line's CR (a scanner set up for
  // Windows) and its leading and trailing blanks are no part of the serial;
  // a blank line is none (a stray Enter keeps the serial scanned before).
  Scan Feed(std::string_view bytes);
  // The input has ended: its last line, if it had no line end.
  Scan End();

 private:
  void EndLine(Scan& scan);

  std::string m_line;
  bool m_skipping = false;  // the line in progress is already too long
};

}  // namespace orvana::cli
