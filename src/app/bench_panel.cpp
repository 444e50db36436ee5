#include "app/bench_panel.h"

#include <QLabel>

#include "app/template_texts.h"

namespace orvana::app {
namespace {

QString YieldText(const station::PartCounts& counts) {
  const auto yield = counts.YieldPercent();
  return yield ? QString::number(*yield, 'f', 1) + QStringLiteral(" %") : QStringLiteral("–");
}

}  // namespace

QString BenchCountsText(const station::BenchCounts& counts) {
  const station::PartCounts& today = counts.today;
  QString text = captions::Caption(captions::kCountsToday)
                     .arg(today.tested)
                     .arg(today.passed)
                     .arg(today.failed)
                     .arg(YieldText(today));
  if (!counts.order.empty()) {
    const station::PartCounts& order = counts.ofOrder;
    text += QStringLiteral("      ") + captions::Caption(captions::kCountsOrder)
                                           .arg(QString::fromStdString(counts.order))
                                           .arg(order.tested)
                                           .arg(order.passed)
                                           .arg(order.failed)
                                           .arg(YieldText(order));
  }
  return text;
}

void ShowPartRecorded(QLabel& counts, QLabel& serialNote, const station::PartRecorded& part) {
  // A label given its own text again is not drawn again.
  counts.setText(BenchCountsText(part.counts));
  // The note stays until the next part, which either clears it or says it again.
  serialNote.setText(part.reusedSerial.empty()
                         ? QString()
                         : captions::Caption(captions::kSerialReused)
                               .arg(QString::fromStdString(part.reusedSerial)));
}

}  // namespace orvana::app
