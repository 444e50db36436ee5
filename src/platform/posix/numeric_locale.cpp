#include <locale.h>

#include "platform/numeric_locale.h"

namespace orvana::platform {

CNumbersOnThisThread::CNumbersOnThisThread() {
  const locale_t c = newlocale(LC_NUMERIC_MASK, "C", static_cast<locale_t>(nullptr));
  if (c == static_cast<locale_t>(nullptr)) return;
  m_locale = c;
  m_previous = uselocale(c);
  m_ok = true;
}

CNumbersOnThisThread::~CNumbersOnThisThread() {
  if (!m_ok) return;
  uselocale(static_cast<locale_t>(m_previous));
  freelocale(static_cast<locale_t>(m_locale));
}

}  // namespace orvana::platform
