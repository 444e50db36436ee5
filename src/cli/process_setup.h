#pragma once

#include <string>
#include <vector>

// What orvana-cli sets up before it does anything: how the system treats
// its output, and its arguments in UTF-8 (a Windows command line holds
// UTF-16, which the ANSI code page of `argv` cannot always carry: a Chinese
// folder name on an English Windows).
namespace orvana::cli {

void PrepareProcess();
std::vector<std::string> ProgramArguments(int argc, char** argv);

}  // namespace orvana::cli
