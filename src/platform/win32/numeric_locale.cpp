#include "platform/numeric_locale.h"

#include <locale.h>

#include <cstring>

namespace orvana::platform {

// The Windows C library has no uselocale: the thread is given a locale of
// its own first, then only that one is set to C, and both are put back.
// msvcrt.dll, the C library mingw-w64 links by default, cannot give a thread
// a locale of its own at all (_configthreadlocale says -1 there). Numbers are
// then safe only while the process's numeric locale is C, as it stays unless
// something sets another (neither program does); otherwise the switch is
// refused rather than made for every thread at once.
CNumbersOnThisThread::CNumbersOnThisThread() {
  m_saved.threadMode = _configthreadlocale(_ENABLE_PER_THREAD_LOCALE);
  if (m_saved.threadMode == -1) {
    const char* current = setlocale(LC_NUMERIC, nullptr);
    m_ok = current != nullptr && std::strcmp(current, "C") == 0;
    return;
  }
  if (const char* current = setlocale(LC_NUMERIC, nullptr)) m_saved.name = current;
  m_ok = setlocale(LC_NUMERIC, "C") != nullptr;
  if (!m_ok) _configthreadlocale(m_saved.threadMode);
}

CNumbersOnThisThread::~CNumbersOnThisThread() {
  if (!m_ok || m_saved.threadMode == -1) return;
  if (!m_saved.name.empty()) setlocale(LC_NUMERIC, m_saved.name.c_str());
  _configthreadlocale(m_saved.threadMode);
}

}  // namespace orvana::platform
