#pragma once

#include "results/colors.h"

// How the results table looks, kept as data so the core decides it and any
// view (the Qt window, a test) draws the same thing.
namespace orvana::results {

struct TableLook {
  Rgb background;
  Rgb textColor;  // cells without a colour of their own
  Rgb headerStart;
  int headerStep = 0;  // subtracted from each part per pixel row of the header
  float headerHeightFactor = 1.0f;
  int rowHeight = 0;  // 0 keeps the view's own row height
  int fontHeight = 0;
  int fontWidth = 0;  // 0: the font's natural width

  bool operator==(const TableLook&) const = default;
};

// Grey, until the settings are applied to an empty table for the first time.
inline constexpr TableLook kStartLook{
    {204, 204, 204}, {0, 0, 0}, {204, 204, 204}, 6, 1.0f, 22, 20, 0};
// Black with green text, from then on.
inline constexpr TableLook kAppliedLook{{0, 0, 0}, {51, 204, 51}, {139, 255, 139}, 8, 1.0f, 22, 20,
                                        0};

// Colour of pixel row `pixelRow` (0 at the top) of a header item: each part
// goes down by the step per row and stops at 0.
constexpr Rgb HeaderGradientAt(const TableLook& look, int pixelRow) {
  auto part = [&](uint8_t start) {
    const long value = static_cast<long>(start) - static_cast<long>(look.headerStep) * pixelRow;
    if (value < 0) return uint8_t{0};
    if (value > 255) return uint8_t{255};
    return static_cast<uint8_t>(value);
  };
  return {part(look.headerStart.red), part(look.headerStart.green), part(look.headerStart.blue)};
}

}  // namespace orvana::results
