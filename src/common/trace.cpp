#include "common/trace.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

namespace orvana::common {
namespace {

std::mutex& SinkMutex() {
  static std::mutex mutex;
  return mutex;
}

TraceSink& CurrentSink() {
  static TraceSink sink;
  return sink;
}

// Quiet unless asked: ORVANA_TRACE=stderr (or on, 1) writes the traces to
// standard error, a path appends them to that file; unset, empty or off,
// nothing is written.
void DefaultSink(std::string_view text) {
  const char* target = std::getenv("ORVANA_TRACE");
  if (target == nullptr || *target == '\0' || std::strcmp(target, "off") == 0) return;
  const bool toStandardError = std::strcmp(target, "stderr") == 0 ||
                               std::strcmp(target, "on") == 0 || std::strcmp(target, "1") == 0;
  if (!toStandardError) {
    if (std::FILE* file = std::fopen(target, "a")) {
      std::fwrite(text.data(), 1, text.size(), file);
      std::fclose(file);
      return;
    }
  }
  std::fwrite(text.data(), 1, text.size(), stderr);
}

}  // namespace

void Trace(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  const int needed = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string text;
  if (needed > 0) {
    text.resize(static_cast<size_t>(needed) + 1);
    std::vsnprintf(text.data(), text.size(), format, args);
    text.resize(static_cast<size_t>(needed));
  }
  va_end(args);

  std::lock_guard lock(SinkMutex());
  if (CurrentSink()) {
    CurrentSink()(text);
  } else {
    DefaultSink(text);
  }
}

void SetTraceSink(TraceSink sink) {
  std::lock_guard lock(SinkMutex());
  CurrentSink() = std::move(sink);
}

struct TraceCapture::State {
  mutable std::mutex mutex;
  std::string text;
};

TraceCapture::TraceCapture() : m_state(new State) {
  SetTraceSink([state = m_state](std::string_view line) {
    std::lock_guard lock(state->mutex);
    state->text.append(line);
  });
}

TraceCapture::~TraceCapture() {
  SetTraceSink({});
  delete m_state;
}

std::string TraceCapture::Text() const {
  std::lock_guard lock(m_state->mutex);
  return m_state->text;
}

bool TraceCapture::Contains(std::string_view needle) const {
  return Text().find(needle) != std::string::npos;
}

}  // namespace orvana::common
