#pragma once

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

}  // namespace orvana::records
