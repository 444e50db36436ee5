#include "ui/dialog_units.h"

#include <QFontMetrics>

namespace orvana::ui {
namespace {

// The average character width is taken over the 52 Latin letters, rounded.
constexpr const char* kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

// a * b / c rounded to the nearest integer, halves away from zero.
int MulDiv(int a, int b, int c) {
  const long long product = static_cast<long long>(a) * b;
  const long long half = c / 2;
  const long long result = product >= 0 ? (product + half) / c : (product - half) / c;
  return static_cast<int>(result);
}

}  // namespace

DialogUnits::DialogUnits(const QFont& font) {
  const QFontMetrics metrics(font);
  m_baseX = (metrics.horizontalAdvance(QString::fromLatin1(kAlphabet)) + 26) / 52;
  m_baseY = metrics.height();
}

int DialogUnits::X(int units) const { return MulDiv(units, m_baseX, 4); }
int DialogUnits::Y(int units) const { return MulDiv(units, m_baseY, 8); }

}  // namespace orvana::ui
