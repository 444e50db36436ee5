#include "support/workbook_reader.h"

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

namespace orvana::testing {
namespace {

#ifndef _WIN32
std::string Quoted(const std::string& text) {
  std::string quoted = "'";
  for (const char c : text) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

// Runs a command line and gives back its standard output; nothing when it
// does not end with status 0.
std::optional<std::string> Run(const std::string& command) {
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return std::nullopt;
  std::string output;
  char buffer[65536];
  size_t n = 0;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
  const int status = pclose(pipe);
  if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
  return output;
}
#endif

std::string Unescape(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size();) {
    if (text[i] == '&') {
      static const std::pair<std::string_view, char> kEntities[] = {
          {"&lt;", '<'}, {"&gt;", '>'}, {"&amp;", '&'}, {"&quot;", '"'}, {"&apos;", '\''}};
      bool found = false;
      for (const auto& [entity, c] : kEntities) {
        if (text.substr(i, entity.size()) == entity) {
          out += c;
          i += entity.size();
          found = true;
          break;
        }
      }
      if (found) continue;
    }
    // The spreadsheet's own escape for control characters: _xHHHH_.
    if (text.substr(i, 2) == "_x" && i + 7 <= text.size() && text[i + 6] == '_') {
      out +=
          static_cast<char>(std::strtol(std::string(text.substr(i + 2, 4)).c_str(), nullptr, 16));
      i += 7;
      continue;
    }
    out += text[i++];
  }
  return out;
}

// The value of attribute `name` in the tag text `tag`; empty when absent.
std::string Attribute(std::string_view tag, std::string_view name) {
  const std::string key = " " + std::string(name) + "=\"";
  const size_t at = tag.find(key);
  if (at == std::string_view::npos) return {};
  const size_t begin = at + key.size();
  return Unescape(tag.substr(begin, tag.find('"', begin) - begin));
}

// Every element `<name ...>...</name>` or `<name .../>`, whole.
std::vector<std::string_view> Elements(std::string_view xml, std::string_view name) {
  std::vector<std::string_view> found;
  const std::string open = "<" + std::string(name);
  const std::string close = "</" + std::string(name) + ">";
  for (size_t at = xml.find(open); at != std::string_view::npos; at = xml.find(open, at + 1)) {
    const char after = xml[at + open.size()];
    if (after != ' ' && after != '>' && after != '/') continue;
    const size_t tagEnd = xml.find('>', at);
    if (xml[tagEnd - 1] == '/') {
      found.push_back(xml.substr(at, tagEnd + 1 - at));
    } else {
      const size_t end = xml.find(close, tagEnd);
      found.push_back(xml.substr(at, end + close.size() - at));
    }
  }
  return found;
}

// The text inside the first `<name ...>...</name>` of `xml`.
std::string Inner(std::string_view xml, std::string_view name) {
  const auto elements = Elements(xml, name);
  if (elements.empty()) return {};
  const std::string_view element = elements.front();
  const size_t begin = element.find('>') + 1;
  if (element[begin - 2] == '/') return {};
  return std::string(element.substr(begin, element.rfind("</") - begin));
}

struct Styles {
  std::vector<bool> boldFonts;
  std::map<int, std::string> formats;    // numFmtId -> code
  std::vector<std::pair<int, int>> xfs;  // fontId, numFmtId
};

Styles ReadStyles(std::string_view xml) {
  Styles styles;
  for (const auto format : Elements(xml, "numFmt")) {
    styles.formats[std::stoi(Attribute(format, "numFmtId"))] = Attribute(format, "formatCode");
  }
  const std::string fonts = "<x>" + Inner(xml, "fonts") + "</x>";
  for (const auto font : Elements(fonts, "font")) {
    styles.boldFonts.push_back(font.find("<b/>") != std::string_view::npos);
  }
  const std::string cellXfs = "<x>" + Inner(xml, "cellXfs") + "</x>";
  for (const auto xf : Elements(cellXfs, "xf")) {
    styles.xfs.emplace_back(std::stoi(Attribute(xf, "fontId")),
                            std::stoi(Attribute(xf, "numFmtId")));
  }
  return styles;
}

}  // namespace

std::vector<int> Sheet::Rows() const {
  std::vector<int> rows;
  for (const auto& [reference, cell] : cells) {
    const size_t digits = reference.find_first_of("0123456789");
    const int row = std::stoi(reference.substr(digits));
    if (std::find(rows.begin(), rows.end(), row) == rows.end()) rows.push_back(row);
  }
  std::sort(rows.begin(), rows.end());
  return rows;
}

#ifndef _WIN32
// On Windows, zip_entry_win32.cpp reads it with zlib.
std::optional<std::string> ReadZipEntry(const std::string& zip, const std::string& entry) {
  return Run("unzip -p " + Quoted(zip) + " " + Quoted(entry) + " 2>/dev/null");
}
#endif

std::optional<std::vector<Sheet>> ReadWorkbook(const std::string& path) {
  const auto workbook = ReadZipEntry(path, "xl/workbook.xml");
  const auto stylesXml = ReadZipEntry(path, "xl/styles.xml");
  if (!workbook || !stylesXml) return std::nullopt;
  const Styles styles = ReadStyles(*stylesXml);
  std::vector<Sheet> sheets;
  int index = 0;
  for (const auto entry : Elements(*workbook, "sheet")) {
    Sheet sheet;
    sheet.name = Attribute(entry, "name");
    // The writer names its parts in workbook order.
    const auto xml = ReadZipEntry(path, "xl/worksheets/sheet" + std::to_string(++index) + ".xml");
    if (!xml) return std::nullopt;
    for (const auto column : Elements(*xml, "col")) {
      const int min = std::stoi(Attribute(column, "min"));
      const int max = std::stoi(Attribute(column, "max"));
      for (int c = min; c <= max; ++c)
        sheet.columnWidths[c] = std::stod(Attribute(column, "width"));
    }
    for (const auto element : Elements(*xml, "c")) {
      SheetCell cell;
      const std::string_view tag = element.substr(0, element.find('>') + 1);
      cell.type = Attribute(tag, "t");
      if (cell.type.empty()) cell.type = "n";
      if (cell.type == "inlineStr") cell.text = Unescape(Inner(element, "t"));
      if (cell.type == "n") cell.value = Inner(element, "v");
      const std::string style = Attribute(tag, "s");
      if (!style.empty()) {
        const auto [fontId, formatId] = styles.xfs.at(std::stoul(style));
        cell.bold = styles.boldFonts.at(fontId);
        if (formatId != 0) {
          auto it = styles.formats.find(formatId);
          cell.numberFormat =
              it == styles.formats.end() ? "builtin " + std::to_string(formatId) : it->second;
        }
      }
      sheet.cells[Attribute(tag, "r")] = cell;
    }
    sheets.push_back(std::move(sheet));
  }
  return sheets;
}

#ifndef _WIN32
std::optional<std::string> FindProgram(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::stringstream folders(path ? path : "/usr/bin");
  std::string folder;
  while (std::getline(folders, folder, ':')) {
    const std::string candidate = folder + "/" + name;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return std::nullopt;
}

std::optional<std::string> FindSoffice() { return FindProgram("soffice"); }
#endif

std::vector<std::vector<std::string>> ParseCsv(const std::string& text) {
  std::vector<std::vector<std::string>> rows;
  std::vector<std::string> row;
  std::string field;
  bool quoted = false;
  bool any = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        field += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        field += c;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      row.push_back(field);
      field.clear();
    } else if (c == '\n') {
      row.push_back(field);
      field.clear();
      rows.push_back(row);
      row.clear();
      any = false;
      continue;
    } else if (c != '\r') {
      field += c;
    }
    any = true;
  }
  if (any) {
    row.push_back(field);
    rows.push_back(row);
  }
  return rows;
}

#ifndef _WIN32
std::optional<std::vector<std::vector<std::vector<std::string>>>> ConvertWithLibreOffice(
    const std::string& soffice, const std::string& workbook, const std::string& scratchFolder) {
  const std::string profile = scratchFolder + "/lo-profile";
  const std::string out = scratchFolder + "/lo-out";
  std::filesystem::create_directories(out);
  // Field separator, quote, UTF-8, from line 1, ..., cells as shown, every
  // sheet into its own file.
  const std::string filter =
      "csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,true,false,false,-1";
  const auto output = Run(Quoted(soffice) + " -env:UserInstallation=file://" + profile +
                          " --headless --norestore --convert-to " + Quoted(filter) + " --outdir " +
                          Quoted(out) + " " + Quoted(workbook) + " 2>/dev/null");
  if (!output) return std::nullopt;
  // It names each file it writes, in workbook order: "Writing sheet NAME -> FILE".
  std::vector<std::vector<std::vector<std::string>>> sheets;
  std::stringstream lines(*output);
  std::string line;
  while (std::getline(lines, line)) {
    const size_t arrow = line.find(" -> ");
    if (line.rfind("Writing sheet ", 0) != 0 || arrow == std::string::npos) continue;
    std::ifstream in(line.substr(arrow + 4), std::ios::binary);
    sheets.push_back(ParseCsv(
        std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>())));
  }
  if (sheets.empty()) return std::nullopt;
  return sheets;
}

std::optional<std::string> PrintedTextWithLibreOffice(const std::string& soffice,
                                                      const std::string& pdftotext,
                                                      const std::string& workbook,
                                                      const std::string& scratchFolder) {
  const std::string profile = scratchFolder + "/lo-profile";
  const std::string out = scratchFolder + "/lo-pdf";
  std::filesystem::create_directories(out);
  if (!Run(Quoted(soffice) + " -env:UserInstallation=file://" + profile +
           " --headless --norestore --convert-to pdf --outdir " + Quoted(out) + " " +
           Quoted(workbook) + " >/dev/null 2>&1")) {
    return std::nullopt;
  }
  const std::string pdf = out + "/" + std::filesystem::path(workbook).stem().string() + ".pdf";
  if (!std::filesystem::exists(pdf)) return std::nullopt;
  return Run(Quoted(pdftotext) + " -layout -enc UTF-8 " + Quoted(pdf) + " - 2>/dev/null");
}
#endif

}  // namespace orvana::testing
