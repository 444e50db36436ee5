#pragma once

#include <QHeaderView>
#include <QString>

#include "results/colors.h"

// The results table's header, painted entirely by us: each section a
// vertical gradient, one pixel row at a time, with its leftmost pixel column
// left unpainted as the divider, and the title in the Song face.
namespace orvana::results {

class CHeaderCtrlCl final : public QHeaderView {
  Q_OBJECT

 public:
  explicit CHeaderCtrlCl(QWidget* parent = nullptr);

  // One character per column: '0' left, '1' centre, '2' right.
  void AppendAlignCode(char code) { m_alignCodes += code; }
  const QString& AlignCodes() const { return m_alignCodes; }

  void SetBackColor(Rgb start, int step);
  Rgb StartColor() const { return m_start; }
  int GradientStep() const { return m_gradientStep; }
  void SetHeightFactor(float factor);
  void SetFontSize(int height, int width);

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;

 private:
  void PaintGradient(QPainter& painter, int left, int right, int top, int bottom) const;
  Qt::Alignment AlignmentOf(int logicalIndex, QRect& textRect) const;

  QString m_alignCodes;
  Rgb m_start{171, 199, 235};
  int m_gradientStep = 8;
  float m_heightFactor = 1.0f;
  static constexpr int kTitleMargin = 4;
  static constexpr int kSmallestTitleFont = 7;
  int m_fontHeight = 15;
  int m_fontWidth = 0;
  // Titles are drawn black; nothing changes that.
  const Rgb m_textColor{0, 0, 0};
  QFont m_titleFont;
};

}  // namespace orvana::results
