#pragma once

#include <string>
#include <vector>

// `orvana-cli report [-o FILE.xlsx] LOG...`: daily logs turned into the
// report workbook, so a headless bench can make yesterday's report.
namespace orvana::cli {

// `args` are the words after "report". Returns the exit status: 0 when the
// workbook is written (its path printed), 2 when a log cannot be read (no
// workbook then), 1 when the workbook cannot be written, 64 on bad usage.
int RunReport(const std::vector<std::string>& args);

}  // namespace orvana::cli
