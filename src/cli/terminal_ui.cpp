#include "cli/terminal_ui.h"

#include <utility>

namespace orvana::cli {

TerminalUi::TerminalUi(OutputQueue& out, station::Answer questionAnswer)
    : m_out(out), m_answer(questionAnswer) {}

void TerminalUi::EndLine() {
  m_batch.push_back('\n');
  ++m_batchLines;
}

void TerminalUi::Flush() {
  if (m_batchLines == 0) return;
  m_out.Push(m_batch, m_batchLines);
  m_batch.clear();
  m_batchLines = 0;
}

void TerminalUi::EndFrame() {
  const std::string reused = std::exchange(m_reusedSerial, {});
  if (!reused.empty()) Reused(reused);
  Flush();
}

void TerminalUi::ShowMessage(const std::string& caption, const std::string& text) {
  Message(caption, text, nullptr);
}

station::Answer TerminalUi::AskQuestion(const std::string& caption, const std::string& text,
                                        station::Answer) {
  Message(caption, text, m_answer == station::Answer::Ok ? "ok" : "cancel");
  return m_answer;
}

void TerminalUi::ReadBoundFields(station::BoundFields& fields) {
  // Only what the bench sets: the rest of the window's fields are the
  // station's own, and stay as it left them.
  fields.serialText = m_fields.serial;
  fields.productNumber = m_fields.productNumber;
  fields.orderNumber = m_fields.orderNumber;
}

void TerminalUi::TakeScannedSerial(std::string serial) {
  m_fields.serial = std::move(serial);
  Scanned(m_fields.serial);
}

void TerminalUi::ShowPartRecorded(const station::PartRecorded& part) {
  m_reusedSerial = part.reusedSerial;
}

void TerminalUi::ShowLogState(bool records, const records::LogEvent& event, const std::string&,
                              const std::string&) {
  Status(LogStatus(records, event));
}

void TerminalUi::ShowStoreState(const store::StoreEvent& event, bool) {
  Status(StoreStatus(event));
}

}  // namespace orvana::cli
