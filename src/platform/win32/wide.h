#pragma once

#include <string>
#include <string_view>

// Paths and texts are UTF-8 inside the program and UTF-16 at every Windows
// call: never the ANSI code page, which cannot hold a Chinese folder name on
// a machine set up for another language.
namespace orvana::platform {

std::wstring Wide(std::string_view utf8);
std::string Utf8(std::wstring_view wide);

}  // namespace orvana::platform
