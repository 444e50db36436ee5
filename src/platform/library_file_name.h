#pragma once

#include <string>

// Handing a path to a C library that opens files only with fopen
// (libxlsxwriter as built for Windows). Paths are UTF-8.
namespace orvana::platform {

// A name for the existing file `path` that such a library opens. POSIX: the
// path itself. Windows, where fopen reads a name in the ANSI code page: the
// path when it is ASCII, else its short form, else its ANSI form, whichever
// leads to the same file; empty (errno EILSEQ) when there is none.
std::string LibraryFileName(const std::string& path);

}  // namespace orvana::platform
