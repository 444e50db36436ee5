#pragma once

#include <string>
#include <string_view>

// Texts in the encodings a language file may come in, turned into UTF-8.
namespace orvana::platform {

enum class TextEncoding { Utf16Le, Utf16Be, Gb18030 };

// `bytes` (no byte-order mark) as UTF-8. A broken or cut-short sequence
// becomes U+FFFD and the text goes on after it, so one bad byte does not
// lose the rest of the file. Empty when no converter is to be had.
std::string ToUtf8(std::string_view bytes, TextEncoding encoding);

}  // namespace orvana::platform
