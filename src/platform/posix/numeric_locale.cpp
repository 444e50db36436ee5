#include <locale.h>

#include "platform/numeric_locale.h"

namespace orvana::platform {

CNumbersOnThisThread::CNumbersOnThisThread() {
  const locale_t c = newlocale(LC_NUMERIC_MASK, "C", static_cast<locale_t>(nullptr));
  if (c == static_cast<locale_t>(nullptr)) return;
  m_saved.locale = c;
  m_saved.previous = uselocale(c);
  m_ok = true;
}

CNumbersOnThisThread::~CNumbersOnThisThread() {
  if (!m_ok) return;
  uselocale(static_cast<locale_t>(m_saved.previous));
  freelocale(static_cast<locale_t>(m_saved.locale));
}

}  // namespace orvana::platform
