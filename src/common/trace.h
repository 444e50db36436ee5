#pragma once

#include <functional>
#include <string>
#include <string_view>

// The diagnostic trace: where transport warnings, thread start/stop lines and
// log-writer failures go. The user never sees these in a dialog. By default
// lines go to stderr; ORVANA_TRACE=off silences them, ORVANA_TRACE=<path>
// appends them to a file instead. Tests install a sink to read them back.
namespace orvana::common {

// printf-style; the text is written as composed, without an added newline.
#if defined(__MINGW32__)
// The trace is written with a C99 printf (%zu, %lld) on every platform; the
// check must not be Microsoft's older one, which knows neither.
#define ORVANA_PRINTF_FORMAT __MINGW_PRINTF_FORMAT
#else
#define ORVANA_PRINTF_FORMAT printf
#endif
void Trace(const char* format, ...) __attribute__((format(ORVANA_PRINTF_FORMAT, 1, 2)));

// Replaces the destination of every later trace line; an empty function
// restores the default. Safe to call from any thread.
using TraceSink = std::function<void(std::string_view)>;
void SetTraceSink(TraceSink sink);

// Collects trace lines for as long as it lives (tests, and the CLI's --trace).
class TraceCapture {
 public:
  TraceCapture();
  ~TraceCapture();
  TraceCapture(const TraceCapture&) = delete;
  TraceCapture& operator=(const TraceCapture&) = delete;

  std::string Text() const;
  bool Contains(std::string_view needle) const;

 private:
  struct State;
  State* m_state;
};

}  // namespace orvana::common
