#include <iconv.h>

#include <algorithm>
#include <cerrno>

#include "common/error_text.h"
#include "common/trace.h"
#include "common/utf8.h"
#include "platform/text_encoding.h"

namespace orvana::platform {
namespace {

using common::kUtf8Replacement;

// Converts with glibc's iconv. `unit` is the step taken over an undecodable
// sequence: one code unit of the source encoding.
std::string ConvertToUtf8(std::string_view bytes, const char* encoding, size_t unit) {
  iconv_t cd = iconv_open("UTF-8", encoding);
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    common::Trace("language file: no converter from %s (%s)\n", encoding,
                  common::ErrorText(errno).c_str());
    return {};
  }
  std::string out(bytes.size() * 2 + 16, '\0');
  size_t written = 0;
  // iconv's interface predates const; it does not write through the input.
  char* in = const_cast<char*>(bytes.data());
  size_t inLeft = bytes.size();
  while (inLeft > 0) {
    char* outPtr = out.data() + written;
    size_t outLeft = out.size() - written;
    const size_t result = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    written = out.size() - outLeft;
    if (result != static_cast<size_t>(-1)) break;
    if (errno == E2BIG) {
      out.resize(out.size() * 2);
      continue;
    }
    // A broken or truncated sequence: mark it and carry on after it, so one
    // bad byte does not lose the rest of the file.
    if (out.size() - written < kUtf8Replacement.size()) out.resize(out.size() * 2 + 16);
    out.replace(written, kUtf8Replacement.size(), kUtf8Replacement);
    written += kUtf8Replacement.size();
    const size_t skip = std::min(unit, inLeft);
    in += skip;
    inLeft -= skip;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  iconv_close(cd);
  out.resize(written);
  return out;
}

}  // namespace

std::string ToUtf8(std::string_view bytes, TextEncoding encoding) {
  switch (encoding) {
    case TextEncoding::Utf16Le:
      return ConvertToUtf8(bytes, "UTF-16LE", 2);
    case TextEncoding::Utf16Be:
      return ConvertToUtf8(bytes, "UTF-16BE", 2);
    case TextEncoding::Gb18030:
      break;
  }
  return ConvertToUtf8(bytes, "GB18030", 1);
}

}  // namespace orvana::platform
