#pragma once

#include <windows.h>

// The errno value the rest of the program knows for a Windows error code.
namespace orvana::platform {

int ErrnoFor(DWORD error);
// Sets errno from GetLastError() and gives it back.
int SetErrnoFromLastError();

}  // namespace orvana::platform
