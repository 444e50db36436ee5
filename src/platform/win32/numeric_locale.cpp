#include <locale.h>

#include "platform/numeric_locale.h"

namespace orvana::platform {

// The Windows C library has no uselocale: the thread is given a locale of
// its own first, then only that one is set to C, and both are put back.
CNumbersOnThisThread::CNumbersOnThisThread() {
  m_threadMode = _configthreadlocale(_ENABLE_PER_THREAD_LOCALE);
  if (m_threadMode == -1) return;
  if (const char* current = setlocale(LC_NUMERIC, nullptr)) m_previousName = current;
  m_ok = setlocale(LC_NUMERIC, "C") != nullptr;
  if (!m_ok) _configthreadlocale(m_threadMode);
}

CNumbersOnThisThread::~CNumbersOnThisThread() {
  if (!m_ok) return;
  if (!m_previousName.empty()) setlocale(LC_NUMERIC, m_previousName.c_str());
  _configthreadlocale(m_threadMode);
}

}  // namespace orvana::platform
