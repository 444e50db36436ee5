#pragma once

#include <array>
#include <string>

// What the user gives for a test report. One record lives for the whole
// program, in memory only and never on disk: the information dialog writes the
// four report texts on Apply (all four, empty ones included, stored as typed),
// the main window keeps the other three in step with its fields, and the
// report reads all of it.
namespace orvana::records {

struct ReportInformation {
  std::string reportText1;
  std::string reportText2;
  std::string reportText3;
  std::string reportText4;
  std::string productNumber;
  std::string orderNumber;
  std::string saveFileName;

  bool operator==(const ReportInformation&) const = default;
};

// What the four report texts are called: the information sheet labels them so,
// and the information dialog's edits, which have no labels of their own on
// screen, carry the same names for a screen reader. UTF-8.
inline constexpr std::array<const char*, 4> kReportTextNames{
    "信息 1 Information 1",
    "信息 2 Information 2",
    "信息 3 Information 3",
    "信息 4 Information 4",
};

}  // namespace orvana::records
