#include "records/workbook_writer.h"

#include <xlsxwriter.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>

#include "common/error_text.h"
#include "common/utf8.h"
#include "platform/file_names.h"
#include "platform/library_file_name.h"
#include "platform/numeric_locale.h"
#include "platform/open_file.h"
#include "platform/system.h"
#include "records/log_line.h"
#include "results/column.h"
#include "results/time_text.h"

namespace orvana::records {

namespace {

// Excel's limit on the characters of one cell, in UTF-16 units.
constexpr size_t kCellTextLimit = 32767;
// Most decimals a number cell can show: a value text has at most 15 digits.
constexpr int kExactDigits = 15;
// Rows between two progress reports: often enough for a smooth bar, rarely
// enough to cost nothing.
constexpr size_t kProgressInterval = 2048;

// Sheet rows (counted from 0) of the layout.
constexpr lxw_row_t kHeadingRow = 0;
constexpr lxw_row_t kFirstDataRow = 2;
// The number of the first exported row, in column A.
constexpr double kFirstRowNumber = 2;

// Widths of columns A to I, in the spreadsheet's character units.
constexpr std::array<double, 9> kColumnWidths{5, 10, 10, 10, 15, 15, 10, 30, 20};
constexpr lxw_col_t kLastColumn = 8;  // I
// The title of the time column G: the titles are of table columns 1 to 6.
constexpr size_t kTimeTitle = results::ColumnIndex(results::Column::Time) - 1;
// After every column the meter's users and their programs know, so that
// nothing of theirs moves: the bench mode's verdict, then the times as
// date-time values, each wide enough for what it shows.
constexpr lxw_col_t kVerdictColumn = 9;     // J
constexpr lxw_col_t kTimeValueColumn = 10;  // K
constexpr double kVerdictWidth = 10;
constexpr double kTimeValueWidth = 20;
// The width of the information sheet's values.
constexpr double kInformationValueWidth = 40;

// Labels of the information sheet: the window's and the dialogs' own words,
// with their English beside them.
constexpr const char* kInformationSheetName = "信息";
constexpr std::array<const char*, 14> kInformationLabels{
    "产品号 Product number",     "订单号 Order number",       "保存文件名 Save-file name",
    kReportTextNames[0],         kReportTextNames[1],         kReportTextNames[2],
    kReportTextNames[3],         "器件名称 Device name",      "λ1 IL 阈值 Threshold (dB)",
    "λ1 RL 阈值 Threshold (dB)", "λ2 IL 阈值 Threshold (dB)", "λ2 RL 阈值 Threshold (dB)",
    "测试波长 Wavelengths",      "导出时间 Exported",
};
constexpr const char* kSingleModeName = "单模1310nm/1625nm";
constexpr const char* kMultiModeName = "多模850nm/1300nm";

// The text as the file may hold it, NUL-terminated in `scratch`: valid UTF-8
// (a byte that is not part of a character, as from an old log written in
// another code page, becomes U+FFFD) and no longer than a cell takes. The
// rows' texts are views into whatever they were read from, so each is
// copied once; libxlsxwriter copies it again in any case.
const char* CellText(std::string_view text, std::string& scratch) {
  bool plain = text.size() <= kCellTextLimit;
  for (size_t i = 0; plain && i < text.size(); ++i) {
    if (static_cast<unsigned char>(text[i]) >= 0x80) plain = false;
  }
  if (plain) {
    scratch.assign(text);
    return scratch.c_str();
  }

  scratch.clear();
  size_t units = 0;
  for (size_t at = 0; at < text.size();) {
    const common::Utf8Char c = common::DecodeUtf8(text, at);
    // XML has no place for U+FFFE and U+FFFF. Each byte of a broken sequence
    // becomes a U+FFFD of its own.
    const bool replaced = !c.valid || c.codePoint == 0xFFFE || c.codePoint == 0xFFFF;
    const std::string_view piece = replaced ? common::kUtf8Replacement : text.substr(at, c.length);
    const size_t pieceUnits = c.codePoint > 0xFFFF ? 2 : 1;
    if (units + pieceUnits > kCellTextLimit) break;
    units += pieceUnits;
    scratch.append(piece);
    at += c.valid ? c.length : 1;
  }
  return scratch.c_str();
}

std::string ShortestText(float value) {
  std::array<char, 32> buffer{};
  const auto [end, error] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
  if (error != std::errc()) return {};
  return std::string(buffer.data(), end);
}

// A fresh file beside `path`, created with the user's usual permissions, for
// the workbook to be written into before it takes `path`'s place.
bool CreatePartialFile(const std::string& path, std::string& partial, std::string& error) {
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    partial = path + ".partial-" + std::to_string(platform::ProcessId()) + "-" +
              std::to_string(counter++);
    platform::OpenOptions options;
    options.mode = 0666;
    const int fd = platform::OpenFile(partial, platform::OpenMode::CreateNew, options);
    if (fd >= 0) {
      platform::CloseFile(fd);
      return true;
    }
    if (errno != EEXIST) {
      error = "cannot write " + path + ": " + common::ErrorText(errno);
      return false;
    }
  }
  error = "cannot write " + path + ": no free temporary name beside it";
  return false;
}

// Writes the rows as they come: each data sheet is begun when the rows reach
// it, so that neither the rows nor their number need to be known beforehand,
// and the information sheet follows the last one.
class Writer {
 public:
  Writer(const ReportContent& content, const WorkbookOptions& options)
      : m_content(content), m_options(options) {}

  ~Writer() {
    if (m_workbook != nullptr) lxw_workbook_free(m_workbook);
  }
  Writer(const Writer&) = delete;
  Writer& operator=(const Writer&) = delete;

  WorkbookResult Write(const std::string& path);

 private:
  bool Check(lxw_error status, const char* what) {
    if (status == LXW_NO_ERROR) return true;
    if (m_error.empty()) m_error = std::string(what) + ": " + lxw_strerror(status);
    return false;
  }

  bool MakeFormats();
  lxw_format* NumberFormat(int decimals, bool negativeZero);
  bool WriteHeadings(lxw_worksheet* sheet);
  bool WriteCell(lxw_worksheet* sheet, lxw_row_t row, lxw_col_t column, std::string_view text,
                 double width);
  bool WriteText(lxw_worksheet* sheet, lxw_row_t row, lxw_col_t column, std::string_view text);
  bool WriteDateTime(lxw_worksheet* sheet, lxw_row_t row, lxw_col_t column,
                     const common::LocalTime& time);
  bool BeginDataSheet();
  bool WriteRow(ReportRowTexts texts, results::Outcome verdict);
  bool WriteRows();
  bool WriteInformationSheet();
  bool ReportProgress() {
    if (!m_options.progress || m_options.progress(m_written, m_content.rows.Size())) return true;
    m_cancelled = true;
    return false;
  }

  const ReportContent& m_content;
  const WorkbookOptions& m_options;
  lxw_workbook* m_workbook = nullptr;
  lxw_format* m_bold = nullptr;
  lxw_format* m_dateTime = nullptr;
  lxw_format* m_integer = nullptr;
  // Number formats by decimals, without and with a sign for zero; made when
  // first needed, so the file holds only those its cells use.
  std::array<std::array<lxw_format*, kExactDigits + 1>, 2> m_numbers{};
  // The data sheet being written, how many there are so far, and the sheet
  // row its next row goes to.
  lxw_worksheet* m_sheet = nullptr;
  size_t m_dataSheets = 0;
  lxw_row_t m_nextRow = 0;
  size_t m_written = 0;
  std::string m_scratch;
  std::string m_error;
  bool m_cancelled = false;
};

bool Writer::MakeFormats() {
  m_bold = workbook_add_format(m_workbook);
  m_dateTime = workbook_add_format(m_workbook);
  if (m_bold == nullptr || m_dateTime == nullptr) return false;
  format_set_bold(m_bold);
  // The slashes escaped: a bare "/" in a date format is the reader's own
  // date separator in some locales, and the time must read as the meter's.
  format_set_num_format(m_dateTime, "yyyy\\/mm\\/dd hh:mm:ss");
  m_integer = NumberFormat(0, false);  // the row numbers
  return m_integer != nullptr;
}

lxw_format* Writer::NumberFormat(int decimals, bool negativeZero) {
  lxw_format*& format = m_numbers[negativeZero ? 1 : 0][decimals];
  if (format == nullptr) {
    std::string code = negativeZero ? "\\-0" : "0";
    if (decimals > 0) code += "." + std::string(static_cast<size_t>(decimals), '0');
    format = workbook_add_format(m_workbook);
    if (format != nullptr) format_set_num_format(format, code.c_str());
  }
  return format;
}

bool Writer::WriteText(lxw_worksheet* sheet, lxw_row_t row, lxw_col_t column,
                       std::string_view text) {
  // An empty text leaves the cell empty, as typing nothing would.
  if (text.empty()) return true;
  return Check(worksheet_write_string(sheet, row, column, CellText(text, m_scratch), nullptr),
               "cannot write a cell");
}

bool Writer::WriteDateTime(lxw_worksheet* sheet, lxw_row_t row, lxw_col_t column,
                           const common::LocalTime& time) {
  lxw_datetime when{time.year, time.month,  time.day,
                    time.hour, time.minute, static_cast<double>(time.second)};
  return Check(worksheet_write_datetime(sheet, row, column, &when, m_dateTime),
               "cannot write a cell");
}

bool Writer::WriteCell(lxw_worksheet* sheet, lxw_row_t row, lxw_col_t column, std::string_view text,
                       double width) {
  // A number or a date-time that does not fit its column is drawn as "###",
  // where a text spills into the empty cell beside it. A value is shown as
  // its text reads, so the text's length is the width it needs.
  const CellValue value =
      static_cast<double>(text.size()) <= width ? ClassifyCellText(text) : CellValue{};
  switch (value.kind) {
    case CellValue::Kind::Number: {
      lxw_format* format = NumberFormat(value.decimals, value.negativeZero);
      if (format == nullptr) return Check(LXW_ERROR_MEMORY_MALLOC_FAILED, "cannot add a format");
      return Check(worksheet_write_number(sheet, row, column, value.number, format),
                   "cannot write a cell");
    }
    case CellValue::Kind::DateTime:
      return WriteDateTime(sheet, row, column, value.time);
    case CellValue::Kind::Text:
      break;
  }
  return WriteText(sheet, row, column, text);
}

bool Writer::WriteHeadings(lxw_worksheet* sheet) {
  for (lxw_col_t column = 0; column <= kLastColumn; ++column) {
    if (!Check(worksheet_set_column(sheet, column, column, kColumnWidths[column], nullptr),
               "cannot set a column width")) {
      return false;
    }
  }
  // Row 1 is bold from A to I, the empty A1 and I1 included.
  if (!Check(worksheet_write_blank(sheet, kHeadingRow, 0, m_bold), "cannot write the headings") ||
      !Check(worksheet_write_string(sheet, kHeadingRow, 1, "NO.", m_bold),
             "cannot write the headings")) {
    return false;
  }
  const auto heading = [&](lxw_col_t column, const std::string& text) {
    return Check(text.empty() ? worksheet_write_blank(sheet, kHeadingRow, column, m_bold)
                              : worksheet_write_string(sheet, kHeadingRow, column,
                                                       CellText(text, m_scratch), m_bold),
                 "cannot write the headings");
  };
  for (lxw_col_t title = 0; title < 6; ++title) {
    if (!heading(static_cast<lxw_col_t>(title + 2), m_content.columnTitles[title])) return false;
  }
  if (!heading(kLastColumn, m_content.extraColumnTitle)) return false;
  const ReportWords& words = m_content.words;
  if (m_content.verdictColumn &&
      (!Check(worksheet_set_column(sheet, kVerdictColumn, kVerdictColumn, kVerdictWidth, nullptr),
              "cannot set a column width") ||
       !heading(kVerdictColumn, words.verdictTitle))) {
    return false;
  }
  const std::string& timeTitle = m_content.columnTitles[kTimeTitle];
  return Check(worksheet_set_column(sheet, kTimeValueColumn, kTimeValueColumn, kTimeValueWidth,
                                    nullptr),
               "cannot set a column width") &&
         heading(kTimeValueColumn, words.timeValueTitle.empty() ? timeTitle : words.timeValueTitle);
}

bool Writer::BeginDataSheet() {
  const std::string name = "Sheet" + std::to_string(++m_dataSheets);
  m_sheet = workbook_add_worksheet(m_workbook, name.c_str());
  if (m_sheet == nullptr) {
    if (m_error.empty()) m_error = "cannot add a worksheet";
    return false;
  }
  m_nextRow = kFirstDataRow;
  return WriteHeadings(m_sheet);
}

bool Writer::WriteRow(ReportRowTexts texts, results::Outcome verdict) {
  const int columns = m_content.rows.Columns();
  if (texts.size() != static_cast<size_t>(columns)) {
    m_error = "a report row with " + std::to_string(texts.size()) + " texts instead of " +
              std::to_string(columns);
    return false;
  }
  if (m_nextRow == m_options.sheetRowLimit && !BeginDataSheet()) return false;
  const lxw_row_t row = m_nextRow++;
  if (!Check(worksheet_write_number(m_sheet, row, 0,
                                    kFirstRowNumber + static_cast<double>(m_written), m_integer),
             "cannot write a cell")) {
    return false;
  }
  // Column B holds serial numbers, which are names, not numbers: a scanned
  // "0012345" must keep its zeros.
  if (!WriteText(m_sheet, row, 1, texts[0])) return false;
  // The time, too wide as a date-time for its column, stays the text it is
  // and spills into the empty H beside it.
  for (int column = 1; column < results::kColumnCount; ++column) {
    const auto sheetColumn = static_cast<lxw_col_t>(column + 1);
    if (!WriteCell(m_sheet, row, sheetColumn, texts[column], kColumnWidths[sheetColumn])) {
      return false;
    }
  }
  // The bench of a report from the database, in column I: a name, as text.
  if (columns > results::kColumnCount &&
      !WriteText(m_sheet, row, kLastColumn, texts[results::kColumnCount])) {
    return false;
  }
  if (m_content.verdictColumn) {
    const ReportWords& words = m_content.words;
    const std::string_view said = verdict == results::OUTCOME_PASS   ? words.pass
                                  : verdict == results::OUTCOME_FAIL ? words.fail
                                                                     : std::string_view();
    if (!WriteText(m_sheet, row, kVerdictColumn, said)) return false;
  }
  const CellValue time = ClassifyCellText(texts[results::ColumnIndex(results::Column::Time)]);
  if (time.kind == CellValue::Kind::DateTime &&
      !WriteDateTime(m_sheet, row, kTimeValueColumn, time.time)) {
    return false;
  }
  ++m_written;
  return m_written % kProgressInterval != 0 || ReportProgress();
}

bool Writer::WriteRows() {
  if (!BeginDataSheet()) return false;
  bool taking = true;
  const std::string why =
      m_content.rows.HandRowsWithVerdicts([&](ReportRowTexts texts, results::Outcome verdict) {
        // Nothing more once a row has failed, whatever the source does.
        taking = taking && WriteRow(texts, verdict);
        return taking;
      });
  if (!why.empty()) {
    m_error = why;
    return false;
  }
  return taking;
}

bool Writer::WriteInformationSheet() {
  lxw_worksheet* sheet = workbook_add_worksheet(m_workbook, kInformationSheetName);
  if (sheet == nullptr) {
    if (m_error.empty()) m_error = "cannot add a worksheet";
    return false;
  }
  if (!Check(worksheet_set_column(sheet, 0, 0, 28, nullptr), "cannot set a column width") ||
      !Check(worksheet_set_column(sheet, 1, 1, kInformationValueWidth, nullptr),
             "cannot set a column width")) {
    return false;
  }
  const ReportInformation& information = m_content.information;
  const results::TestSettings& settings = m_content.settings;
  lxw_row_t row = 0;
  const auto label = [&] {
    return Check(worksheet_write_string(sheet, row, 0, kInformationLabels[row], nullptr),
                 "cannot write the report information");
  };
  // What the user typed stays text: an order number "000123" keeps its zeros.
  const auto text = [&](const std::string& value) {
    const bool ok = label() && WriteText(sheet, row, 1, value);
    ++row;
    return ok;
  };
  const auto typed = [&](const std::string& value) {
    const bool ok = label() && WriteCell(sheet, row, 1, value, kInformationValueWidth);
    ++row;
    return ok;
  };
  const auto& time = m_content.exportTime;
  const std::string exported = results::FormatTimestamp(time);
  return text(information.productNumber) && text(information.orderNumber) &&
         text(information.saveFileName) && text(information.reportText1) &&
         text(information.reportText2) && text(information.reportText3) &&
         text(information.reportText4) && text(settings.deviceName) &&
         typed(ShortestText(settings.ilThreshold1)) && typed(ShortestText(settings.rlThreshold1)) &&
         typed(ShortestText(settings.ilThreshold2)) && typed(ShortestText(settings.rlThreshold2)) &&
         text(settings.multiMode ? kMultiModeName : kSingleModeName) && typed(exported);
}

WorkbookResult Writer::Write(const std::string& path) {
  WorkbookResult result;
  if (!m_content.rows.Complete()) {
    result.error = "the table is too large to export";
    return result;
  }
  if (m_options.sheetRowLimit <= kFirstDataRow || m_options.sheetRowLimit > LXW_ROW_MAX) {
    result.error = "rows per worksheet out of range";
    return result;
  }
  // libxlsxwriter formats numbers with the C library, which follows the
  // locale: a decimal comma would spoil the file.
  platform::CNumbersOnThisThread locale;
  if (!locale.Ok()) {
    result.error = "cannot select the C number format";
    return result;
  }
  std::string partial;
  if (!CreatePartialFile(path, partial, result.error)) return result;

  // Constant memory: each row goes to a temporary file as soon as the next
  // one begins, so the rows must come in order, sheet by sheet, and strings
  // are stored in their cells rather than in a shared table.
  lxw_workbook_options workbookOptions{};
  workbookOptions.constant_memory = LXW_TRUE;
  // The library opens its file with fopen, which on Windows reads the name
  // in the ANSI code page.
  const std::string opened = platform::LibraryFileName(partial);
  if (opened.empty()) {
    platform::RemoveFile(partial);
    result.error =
        "cannot write " + path + ": the workbook library cannot open a file by this folder's name";
    return result;
  }
  m_workbook = workbook_new_opt(opened.c_str(), &workbookOptions);
  bool ok = m_workbook != nullptr && MakeFormats();
  if (!ok) m_error = "cannot start a workbook";
  ok = ok && WriteRows() && WriteInformationSheet() && ReportProgress();

  if (ok) {
    lxw_workbook* workbook = m_workbook;
    m_workbook = nullptr;  // closing frees it, whatever it returns
    const lxw_error status = workbook_close(workbook);
    ok = Check(status, ("cannot write " + path).c_str());
    if (!ok && status == LXW_ERROR_CREATING_XLSX_FILE) m_error += ": " + common::ErrorText(errno);
  }
  if (ok) {
    if (const int error = platform::RenameOver(partial, path); error != 0) {
      m_error = "cannot write " + path + ": " + common::ErrorText(error);
      ok = false;
    }
  }
  if (!ok) {
    platform::RemoveFile(partial);
    result.status =
        m_cancelled ? WorkbookResult::Status::Cancelled : WorkbookResult::Status::Failed;
    if (!m_cancelled) result.error = m_error;
    return result;
  }
  result.status = WorkbookResult::Status::Written;
  return result;
}

}  // namespace

CellValue ClassifyCellText(std::string_view text) {
  CellValue value;
  if (text.empty()) return value;
  // The cells are the log's texts: a value text is read as the log's own
  // reader reads it.
  if (const auto decimal = ParseDecimalText(text)) {
    value.kind = CellValue::Kind::Number;
    value.number = decimal->number;
    value.decimals = decimal->decimals;
    value.negativeZero = decimal->negativeZero;
    return value;
  }
  if (const auto time = results::ParseTimestamp(text)) {
    value.kind = CellValue::Kind::DateTime;
    value.time = *time;
    return value;
  }
  value = CellValue{};
  return value;
}

WorkbookResult WriteWorkbook(const std::string& path, const ReportContent& content,
                             const WorkbookOptions& options) {
  Writer writer(content, options);
  return writer.Write(path);
}

}  // namespace orvana::records
