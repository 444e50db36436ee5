#include "cli/process_setup.h"

// <shellapi.h> needs <windows.h> before it.
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <cstdio>

#include "platform/win32/wide.h"

namespace orvana::cli {

void PrepareProcess() {
  // The program's texts are UTF-8: a console shows them as such, and a
  // pipe or a file gets them byte for byte, with "\n" as the Linux build
  // writes it (the C runtime's text mode would make it "\r\n").
  SetConsoleOutputCP(CP_UTF8);
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
}

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return {argv, argv + argc};
  std::vector<std::string> arguments;
  arguments.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) arguments.push_back(platform::Utf8(wide[i]));
  LocalFree(wide);
  return arguments;
}

}  // namespace orvana::cli
