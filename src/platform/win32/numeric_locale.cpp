#include <locale.h>

#include "platform/numeric_locale.h"

namespace orvana::platform {

// The Windows C library has no uselocale: the thread is given a locale of
// its own first, then only that one is set to C, and both are put back.
CNumbersOnThisThread::CNumbersOnThisThread() {
  m_saved.threadMode = _configthreadlocale(_ENABLE_PER_THREAD_LOCALE);
  if (m_saved.threadMode == -1) return;
  if (const char* current = setlocale(LC_NUMERIC, nullptr)) m_saved.name = current;
  m_ok = setlocale(LC_NUMERIC, "C") != nullptr;
  if (!m_ok) _configthreadlocale(m_saved.threadMode);
}

CNumbersOnThisThread::~CNumbersOnThisThread() {
  if (!m_ok) return;
  if (!m_saved.name.empty()) setlocale(LC_NUMERIC, m_saved.name.c_str());
  _configthreadlocale(m_saved.threadMode);
}

}  // namespace orvana::platform
