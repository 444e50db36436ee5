#pragma once

#include <windows.h>

// The line parameters and time-outs of a COM port, as the Windows driver
// takes them.
namespace orvana::link {

// Overlays the meter's line parameters (baud, parity letter, data and stop
// bits) on `dcb`: raw bytes, no flow control, DTR and RTS raised, and a line
// error never aborts a read. Returns 0, or ERROR_INVALID_PARAMETER when one
// of them has no twin (leaving `dcb` untouched).
DWORD ApplyLineSettings(DCB& dcb, int baudRate, char parity, int dataBits, int stopBits);

// Reads end soon after a burst (the interval) and, with nothing at all,
// after a while (the total), so a read in flight never outlives a quiet
// line for long; writes get the time the POSIX side gives them too.
COMMTIMEOUTS MonitorTimeouts();

}  // namespace orvana::link
