#include "cli/scanned_serials.h"

namespace orvana::cli {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

}  // namespace

ScannedSerials::Scan ScannedSerials::Feed(std::string_view bytes) {
  Scan scan;
  while (!bytes.empty()) {
    const size_t end = bytes.find('\n');
    const std::string_view piece = bytes.substr(0, end);
    if (!m_skipping) {
      if (m_line.size() + piece.size() > kLongestLine) {
        m_skipping = true;
        m_line.clear();
      } else {
        m_line.append(piece);
      }
    }
    if (end == std::string_view::npos) break;
    EndLine(scan);
    bytes.remove_prefix(end + 1);
  }
  return scan;
}

ScannedSerials::Scan ScannedSerials::End() {
  Scan scan;
  if (m_skipping || !m_line.empty()) EndLine(scan);
  return scan;
}

void ScannedSerials::EndLine(Scan& scan) {
  std::string_view serial = m_line;
  while (!serial.empty() && IsBlank(serial.front())) serial.remove_prefix(1);
  while (!serial.empty() && IsBlank(serial.back())) serial.remove_suffix(1);
  if (m_skipping || serial.size() > kLongestSerial) {
    ++scan.tooLong;
  } else if (!serial.empty()) {
    scan.serials.emplace_back(serial);
  }
  m_line.clear();
  m_skipping = false;
}

}  // namespace orvana::cli
