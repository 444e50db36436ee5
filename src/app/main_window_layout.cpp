#include "app/main_window_layout.h"

#include <QWidget>
#include <algorithm>

#include "results/list_ctrl_cl.h"
#include "results/table_operations.h"

namespace orvana::app {
namespace {

results::SizeState ToSizeState(SizeType type) {
  switch (type) {
    case SizeType::Restored:
      return results::SizeState::Restored;
    case SizeType::Maximized:
      return results::SizeState::Maximized;
    case SizeType::Minimized:
      break;
  }
  return results::SizeState::Other;
}

Size SizeOf(const QWidget* widget) { return {widget->width(), widget->height()}; }

Rect RectOf(const QRect& rect) { return {rect.x(), rect.y(), rect.width(), rect.height()}; }

void Apply(const MainWindowControls& controls, const Placement& place) {
  QWidget* control = controls.ById(place.id);
  control->move(place.x, place.y);
  if (place.size) control->resize(place.size->width, place.size->height);
}

}  // namespace

void MainWindowLayout::OnSize(SizeType type, int width, int height) {
  m_clientWidth = width;
  m_clientHeight = height;
  if (!m_ready) return;
  if (type == SizeType::Restored || type == SizeType::Maximized) {
    const MainWindowControls& c = m_controls;
    for (const Placement& place :
         RightColumnLayout(width, {SizeOf(c.portCombo), SizeOf(c.connect), SizeOf(c.info),
                                   SizeOf(c.settings)})) {
      Apply(c, place);
    }
    m_lastSizeType = type;
  }
  ApplyPaintTime();
}

void MainWindowLayout::ApplyPaintTime() {
  const QSize client(m_clientWidth, m_clientHeight);
  if (client != m_laidOutFor) {
    m_laidOutFor = client;
    for (const Placement& place : PaintTimeLayout(m_clientWidth, m_clientHeight)) {
      Apply(m_controls, place);
    }
    if (m_full) PlaceExtraControls();
  }
  if (!m_ready) return;
  const std::pair<SizeType, int> key{m_lastSizeType, m_clientWidth};
  if (m_metricsFor == key) return;
  m_metricsFor = key;
  if (const auto metrics =
          results::UpdateTableMetrics(ToSizeState(m_lastSizeType), m_clientWidth)) {
    m_controls.resultList->ApplyMetrics(*metrics);
  }
}

void MainWindowLayout::ForgetMetrics() {
  m_metricsFor.reset();
  ApplyPaintTime();
}

void MainWindowLayout::PlaceExtraControls() {
  const MainWindowControls& c = m_controls;
  ExtraControlSizes sizes;
  sizes.reportGroupTop = c.reportGroup->y();
  sizes.valueGroup = SizeOf(c.valueGroup);
  for (size_t k = 0; k < 4; ++k) {
    sizes.valueLabels[k] = SizeOf(c.valueLabels[k]);
    sizes.valueEdits[k] = SizeOf(c.valueEdits[k]);
  }
  sizes.autoIncrement = SizeOf(c.autoIncrement);
  sizes.serialInside = RectOf(c.serialGroup->contentsRect().translated(c.serialGroup->pos()));
  sizes.scannerLabel = RectOf(c.scannerLabel->geometry());
  sizes.serialEdit = RectOf(c.serialEdit->geometry());
  for (const Placement& place : ExtraControlsLayout(m_clientWidth, sizes)) Apply(c, place);
  PlaceBenchLabels();
}

void MainWindowLayout::PlaceBenchLabels() {
  const MainWindowControls& c = m_controls;
  if (c.benchCounts == nullptr || c.serialNote == nullptr) return;
  // The counts take a strip above the table, which gives up that much of
  // its height: the rows stay whole below them.
  QWidget& list = *c.resultList;
  const int strip = c.benchCounts->sizeHint().height() + 6;
  // Left of the port list, which stands over the table's top right corner.
  const int countsRight = std::min(list.x() + list.width(), c.portCombo->x()) - 6;
  c.benchCounts->setGeometry(list.x() + 6, list.y(), std::max(0, countsRight - list.x() - 6),
                             strip);
  list.setGeometry(list.x(), list.y() + strip, list.width(), std::max(0, list.height() - strip));
  // The note stands on the serial field's line, right of the report inputs.
  const int left = c.reportGroup->geometry().right() + 12;
  const int right = c.exit->x() - 12;
  const QRect edit = c.serialEdit->geometry();
  c.serialNote->setGeometry(left, edit.y(), std::max(0, right - left), edit.height());
}

}  // namespace orvana::app
