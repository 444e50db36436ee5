#pragma once

#include <QFont>
#include <QPoint>
#include <QRect>
#include <QSize>

// Dialog templates are laid out in dialog units, which scale with the dialog's
// font: a horizontal unit is a quarter of the font's average character width,
// a vertical one an eighth of its height. Converting them from each dialog's
// own font keeps every dialog in its proportions whatever fonts the desktop has.
namespace orvana::ui {

class DialogUnits {
 public:
  explicit DialogUnits(const QFont& font);
  // For tests and for fonts measured elsewhere.
  DialogUnits(int baseX, int baseY) : m_baseX(baseX), m_baseY(baseY) {}

  int BaseX() const { return m_baseX; }
  int BaseY() const { return m_baseY; }

  int X(int units) const;
  int Y(int units) const;
  QPoint Point(int x, int y) const { return {X(x), Y(y)}; }
  QSize Size(int width, int height) const { return {X(width), Y(height)}; }
  QRect Rect(int x, int y, int width, int height) const {
    return {Point(x, y), Size(width, height)};
  }

 private:
  int m_baseX;
  int m_baseY;
};

}  // namespace orvana::ui
