#pragma once

#include <QString>
#include <array>

class CButtonST;

namespace orvana::app {

// The main window's nine image buttons by control id, in the order the window
// turns them into image buttons.
inline constexpr std::array<int, 9> kMainWindowButtonIds{1001, 1004, 1005, 1006, 1007,
                                                         1010, 1002, 1008, 1009};

// Gives one of those buttons its icon, look, colours and hint. `connectHint`
// is the "connect" message text, the connect button's (1001) tooltip. Returns
// false, changing nothing, for any other control id.
bool ConfigureMainWindowButton(CButtonST& button, int controlId, const QString& connectHint);

}  // namespace orvana::app
