#pragma once

#include <termios.h>

// Turning the meter's line parameters (baud, parity letter, data and stop
// bits) into terminal settings: raw bytes, receiver on, modem lines ignored
// for the open itself.
namespace orvana::link {

// Overlays the parameters on `settings`. Returns 0, or EINVAL when one of them
// has no twin here (a baud rate the kernel does not name, an unknown parity
// letter, data bits outside 5..8, stop bits other than 1 or 2); `settings` is
// then left untouched.
int ApplyLineSettings(termios& settings, int baudRate, char parity, int dataBits, int stopBits);

}  // namespace orvana::link
