#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

// Reads back what a workbook file holds, straight from its XML parts (with
// unzip), and what LibreOffice makes of it: the tests look at the file, not at
// our own idea of it.
namespace orvana::testing {

struct SheetCell {
  std::string type;   // "n" (a number), "inlineStr", "s", ... as the file says
  std::string text;   // a string cell's text, unescaped
  std::string value;  // a number cell's stored value
  bool bold = false;
  std::string numberFormat;  // the format code; empty for the general format
  bool Styled() const { return bold || !numberFormat.empty(); }
};

struct Sheet {
  std::string name;
  std::map<std::string, SheetCell> cells;  // by reference, "A1"
  std::map<int, double> columnWidths;      // column from 1, width as stored
  const SheetCell* At(const std::string& reference) const {
    auto it = cells.find(reference);
    return it == cells.end() ? nullptr : &it->second;
  }
  // Sheet rows (from 1) that hold at least one cell.
  std::vector<int> Rows() const;
};

// Every worksheet, in workbook order. Nothing when the file is not a
// workbook we can read.
std::optional<std::vector<Sheet>> ReadWorkbook(const std::string& path);

// A zip entry's bytes, through `unzip -p` (on Windows, zlib); nothing when
// it cannot be read.
std::optional<std::string> ReadZipEntry(const std::string& zip, const std::string& entry);

#ifndef _WIN32
// Where a program is found on the PATH; nothing when it is not.
std::optional<std::string> FindProgram(const std::string& name);
// Where LibreOffice (soffice) is installed; nothing when it is not.
std::optional<std::string> FindSoffice();

// LibreOffice's own reading of the workbook: every worksheet converted to CSV
// (cell texts as shown, UTF-8), in workbook order, each as rows of fields.
// Nothing when the conversion fails. Runs with a private profile, so it
// neither disturbs nor waits for a LibreOffice already running.
std::optional<std::vector<std::vector<std::vector<std::string>>>> ConvertWithLibreOffice(
    const std::string& soffice, const std::string& workbook, const std::string& scratchFolder);

// What LibreOffice draws of the workbook: every worksheet printed to PDF as
// Calc lays its cells out ("###" where a value does not fit), and the text of
// those pages as `pdftotext` (poppler) reads it, lines as they stand on the
// page. Nothing when either fails. A private profile, as above.
std::optional<std::string> PrintedTextWithLibreOffice(const std::string& soffice,
                                                      const std::string& pdftotext,
                                                      const std::string& workbook,
                                                      const std::string& scratchFolder);
#endif

// Splits CSV as LibreOffice writes it: comma-separated, fields in double
// quotes where needed, lines ending LF.
std::vector<std::vector<std::string>> ParseCsv(const std::string& text);

}  // namespace orvana::testing
