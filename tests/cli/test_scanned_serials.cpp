// Standard input as a scanner types it: lines arrive in pieces of any size,
// and only whole, sensible lines become serials.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/scanned_serials.h"

namespace orvana::cli {
namespace {

TEST(ScannedSerials, LinesCutAcrossReadsAreWholeAndALineTooLongIsSkippedAlone) {
  ScannedSerials scanner;
  EXPECT_TRUE(scanner.Feed("SN-").serials.empty());
  EXPECT_EQ(scanner.Feed("1\nSN").serials, std::vector<std::string>{"SN-1"});
  EXPECT_EQ(scanner.Feed("-2\n").serials, std::vector<std::string>{"SN-2"});

  // Longer than any serial the day log keeps, over several reads: skipped,
  // counted once, and the line after it is a serial again.
  const std::string flood(ScannedSerials::kLongestLine, 'x');
  ScannedSerials::Scan scan = scanner.Feed(flood);
  EXPECT_TRUE(scan.serials.empty());
  scan = scanner.Feed(flood + "\nSN-3\n");
  EXPECT_EQ(scan.tooLong, 1u);
  EXPECT_EQ(scan.serials, std::vector<std::string>{"SN-3"});
  const std::string longest(ScannedSerials::kLongestSerial, 'y');
  EXPECT_EQ(scanner.Feed(" " + longest + " \r\n").serials, std::vector<std::string>{longest});

  // The input ends in the middle of a line: that line is the last serial.
  EXPECT_TRUE(scanner.Feed("SN-4").serials.empty());
  EXPECT_EQ(scanner.End().serials, std::vector<std::string>{"SN-4"});
  EXPECT_TRUE(scanner.End().serials.empty());
}

}  // namespace
}  // namespace orvana::cli
