#include "results/header_ctrl_cl.h"

#include <QPaintEvent>
#include <QPainter>
#include <algorithm>

#include "results/results_model.h"
#include "results/table_look.h"
#include "ui/fonts.h"

namespace orvana::results {
namespace {

constexpr int kTextMargin = 3;

}  // namespace

CHeaderCtrlCl::CHeaderCtrlCl(QWidget* parent)
    : QHeaderView(Qt::Horizontal, parent), m_titleFont(ui::SongFont(m_fontHeight, m_fontWidth)) {
  // The header's height comes from the dialog font, as the list's own header
  // would; the titles are drawn in their own font. Whether a header takes its
  // view's font is not reliable, so it is set here.
  setFont(ui::DialogFont(9));
  setSectionsClickable(false);
  setHighlightSections(false);
}

void CHeaderCtrlCl::SetBackColor(Rgb start, int step) {
  m_start = start;
  m_gradientStep = step;
  viewport()->update();
}

void CHeaderCtrlCl::SetHeightFactor(float factor) {
  m_heightFactor = factor;
  updateGeometry();
}

void CHeaderCtrlCl::SetFontSize(int height, int width) {
  if (height == m_fontHeight && width == m_fontWidth) return;
  m_fontHeight = height;
  m_fontWidth = width;
  m_titleFont = ui::SongFont(height, width);
  viewport()->update();
}

QSize CHeaderCtrlCl::sizeHint() const {
  // A list header is as tall as its font's text and three pixels above and
  // below; the styles differ too much to take theirs. As wide as its columns:
  // the base measures every title for a width nobody uses, and the table asks
  // at every screen update.
  const int natural = fontMetrics().height() + 2 * kTextMargin;
  return {length(), static_cast<int>(static_cast<float>(natural) * m_heightFactor)};
}

void CHeaderCtrlCl::PaintGradient(QPainter& painter, int left, int right, int top,
                                  int bottom) const {
  if (right <= left) return;
  TableLook gradient;
  gradient.headerStart = m_start;
  gradient.headerStep = m_gradientStep;
  // Bottom included: the strip below the last row is painted too.
  for (int y = top; y <= bottom; ++y) {
    painter.fillRect(left, y, right - left, 1, ToQColor(HeaderGradientAt(gradient, y - top)));
  }
}

Qt::Alignment CHeaderCtrlCl::AlignmentOf(int logicalIndex, QRect& textRect) const {
  const QChar code = logicalIndex < m_alignCodes.size() ? m_alignCodes.at(logicalIndex) : QChar();
  if (code == QLatin1Char('0')) {
    textRect.adjust(3, 0, 0, 0);
    return Qt::AlignLeft;
  }
  if (code == QLatin1Char('2')) {
    textRect.adjust(0, 0, -3, 0);
    return Qt::AlignRight;
  }
  return Qt::AlignHCenter;
}

void CHeaderCtrlCl::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const {
  // rect.right() is the last pixel column; the divider is rect.left().
  PaintGradient(*painter, rect.left() + 1, rect.right() + 1, rect.top(), rect.bottom());

  QRect textRect = rect;
  const Qt::Alignment horizontal = AlignmentOf(logicalIndex, textRect);
  const QString title =
      model() ? model()->headerData(logicalIndex, orientation()).toString() : QString();
  // A title wider than its column ("λ 2 RL / Total loss" at a restored
  // window's width) is drawn smaller, just enough to fit with a margin,
  // rather than cut at both ends.
  QFont font = m_titleFont;
  const int available = rect.width() - 2 * kTitleMargin;
  const int natural = QFontMetrics(font).horizontalAdvance(title);
  if (natural > available && available > 0 && font.pixelSize() > 0) {
    font.setPixelSize(std::max(kSmallestTitleFont, font.pixelSize() * available / natural));
  }
  const QFontMetrics metrics(font);
  textRect.translate(0, (rect.height() - metrics.height()) / 2);
  painter->save();
  painter->setFont(font);
  painter->setPen(ToQColor(m_textColor));
  painter->drawText(textRect, static_cast<int>(horizontal | Qt::AlignTop), title);
  painter->restore();
}

void CHeaderCtrlCl::paintEvent(QPaintEvent* event) {
  QHeaderView::paintEvent(event);
  // The part right of the last section gets the gradient too, from the top.
  const int count = this->count();
  const int lastRight = count > 0 ? sectionViewportPosition(logicalIndex(count - 1)) +
                                        sectionSize(logicalIndex(count - 1))
                                  : 0;
  if (lastRight >= viewport()->width()) return;
  QPainter painter(viewport());
  PaintGradient(painter, lastRight + 1, viewport()->width(), 0, viewport()->height() - 1);
}

}  // namespace orvana::results
