#pragma once

#include <optional>
#include <string>
#include <string_view>

// What the settings dialog turns its controls into before it touches the
// Test settings: threshold texts and the two port-count selections.
namespace orvana::results {

// A threshold as its edit shows it: the shortest general notation with at most
// six significant digits (-0.3, 55, 1e-05), whatever the desktop's locale.
std::string FormatThreshold(float value);

// A threshold as a user types it: blanks around it, an optional sign, digits
// with a decimal point, an optional exponent. Nothing for anything else (an
// empty text, "nan", "inf", a decimal comma, trailing letters) and for a number
// no float can hold, so a threshold is always a finite number.
std::optional<float> ParseThreshold(std::string_view text);

struct PortIndices {
  int a = 0;
  int b = 0;

  bool operator==(const PortIndices&) const = default;
};

// The port counts Apply stores for the two selections (item indices). Side A
// never ends at item "0": with A at "0" the B selection moves to A and B drops
// to "0"; with both at "0" A becomes item 1 ("1"). A selection outside the
// list counts as item "0", so what is stored is always an item of the list.
PortIndices ResolvePortIndices(int selectedA, int selectedB);

}  // namespace orvana::results
