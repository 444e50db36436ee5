#include "ui/partial_repaint_scroll_bar.h"

#include <QPaintEvent>
#include <QStyle>
#include <QStyleOptionSlider>

namespace orvana::ui {

PartialRepaintScrollBar::PartialRepaintScrollBar(Qt::Orientation orientation, QWidget* parent)
    : QScrollBar(orientation, parent) {}

QRect PartialRepaintScrollBar::SubControlRect(QStyle::SubControl control) const {
  QStyleOptionSlider option;
  initStyleOption(&option);
  return style()->subControlRect(QStyle::CC_ScrollBar, &option, control, this);
}

PartialRepaintScrollBar::Look PartialRepaintScrollBar::CurrentLook() const {
  Look look;
  look.handle = SubControlRect(QStyle::SC_ScrollBarSlider);
  look.atMinimum = value() <= minimum();
  look.atMaximum = value() >= maximum();
  return look;
}

void PartialRepaintScrollBar::sliderChange(SliderChange change) {
  const bool moves = change == SliderRangeChange || change == SliderValueChange;
  // Dragged, the handle may be drawn pressed; and before the first paint
  // there is nothing to compare with.
  if (!moves || !m_paintedValid || isSliderDown()) {
    QScrollBar::sliderChange(change);
    return;
  }
  const Look now = CurrentLook();
  if (now == m_painted) return;
  // A style may draw a handle's edge or shadow a little past its rect.
  constexpr int kEdge = 4;
  const QMargins edge =
      orientation() == Qt::Vertical ? QMargins(0, kEdge, 0, kEdge) : QMargins(kEdge, 0, kEdge, 0);
  QRegion changed = (m_painted.handle + edge).united(now.handle + edge);
  // The arrow at an end the value reached or left may be drawn disabled.
  if (now.atMinimum != m_painted.atMinimum) changed += SubControlRect(QStyle::SC_ScrollBarSubLine);
  if (now.atMaximum != m_painted.atMaximum) changed += SubControlRect(QStyle::SC_ScrollBarAddLine);
  update(changed);
  m_painted = now;
}

void PartialRepaintScrollBar::paintEvent(QPaintEvent* event) {
  QScrollBar::paintEvent(event);
  m_painted = CurrentLook();
  m_paintedValid = true;
}

void PartialRepaintScrollBar::resizeEvent(QResizeEvent* event) {
  m_paintedValid = false;
  QScrollBar::resizeEvent(event);
}

}  // namespace orvana::ui
