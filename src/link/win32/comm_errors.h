#pragma once

#include <windows.h>

#include <string>

// The words a person or the trace gets for what a COM port did.
namespace orvana::link {

// The system's text for a Windows error code, in UTF-8, without its line end.
std::string WindowsErrorText(DWORD error);

// Why `name` (COM3) could not be opened, as the Linux side says it: absent,
// in use, or the system's own words.
std::string OpenFailureText(const std::string& name, DWORD error);

// The line errors of a ClearCommError mask ("framing, parity"); empty when none.
std::string LineErrorText(DWORD errors);

}  // namespace orvana::link
