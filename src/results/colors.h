#pragma once

#include <cstdint>
#include <string>

// Colours of the results table, as the core decides them. Turning one into a
// widget colour is the view's business.
namespace orvana::results {

struct Rgb {
  uint8_t red = 0;
  uint8_t green = 0;
  uint8_t blue = 0;

  constexpr bool operator==(const Rgb&) const = default;

  // "#RRGGBB", upper-case hex digits.
  std::string Hex() const {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text = "#";
    for (uint8_t part : {red, green, blue}) {
      text += kDigits[part >> 4];
      text += kDigits[part & 0x0F];
    }
    return text;
  }
};

// A value below its threshold, in any row.
inline constexpr Rgb COLOR_FAIL{255, 0, 0};
// A passing value in the newest recorded row.
inline constexpr Rgb COLOR_PASS_LATEST{102, 255, 255};
// A passing value in a row recorded before the newest.
inline constexpr Rgb COLOR_PASS{51, 204, 51};

}  // namespace orvana::results

// The bench mode's look, made to be read at a glance from a step away: dark
// text on pale backgrounds, a row's background its verdict, each pair at
// least 4.5:1 (the usual minimum for text).
namespace orvana::results::bench_look {
inline constexpr Rgb kPassBackground{226, 243, 226};
inline constexpr Rgb kFailBackground{252, 226, 226};
inline constexpr Rgb kPlainBackground{255, 255, 255};
inline constexpr Rgb kSelectedBackground{204, 222, 242};
inline constexpr Rgb kText{28, 28, 28};
inline constexpr Rgb kPassText{22, 90, 28};
inline constexpr Rgb kFailText{160, 0, 0};
}  // namespace orvana::results::bench_look
