#include "store/result_store.h"

#include <sys/random.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <random>

namespace orvana::store {

ResultStore::ResultStore(StoreConfig config, std::string outboxFolder, ForwarderOptions options)
    : m_config(std::move(config)), m_outbox(std::move(outboxFolder)) {
  m_forwarder = std::make_unique<Forwarder>(m_config.conninfo, m_outbox, options);
}

void ResultStore::Record(const common::LocalTime& when, StoredResult result) {
  result.key = NewResultKey();
  result.bench = m_config.bench;
  m_outbox.Append(when, result);
  m_forwarder->Notify();
}

std::string NewResultKey() {
  unsigned char bytes[16];
  size_t got = 0;
  while (got < sizeof bytes) {
    const ssize_t n = ::getrandom(bytes + got, sizeof bytes - got, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  if (got < sizeof bytes) {
    // Without getrandom (a very old kernel) the library's source will do.
    std::random_device device;
    for (unsigned char& byte : bytes) byte = static_cast<unsigned char>(device());
  }
  std::string key = "r:";
  char hex[3];
  for (const unsigned char byte : bytes) {
    std::snprintf(hex, sizeof hex, "%02x", byte);
    key += hex;
  }
  return key;
}

std::string RecordedAtText(const common::LocalTime& time) {
  std::tm local{};
  local.tm_year = time.year - 1900;
  local.tm_mon = time.month - 1;
  local.tm_mday = time.day;
  local.tm_hour = time.hour;
  local.tm_min = time.minute;
  local.tm_sec = time.second;
  local.tm_isdst = -1;
  const std::time_t moment = std::mktime(&local);
  long offset = 0;
  std::tm again{};
  if (moment != static_cast<std::time_t>(-1) && ::localtime_r(&moment, &again) != nullptr) {
    offset = again.tm_gmtoff;
  }
  const char sign = offset < 0 ? '-' : '+';
  if (offset < 0) offset = -offset;
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02ld:%02ld", time.year,
                time.month, time.day, time.hour, time.minute, time.second, sign, offset / 3600,
                offset / 60 % 60);
  return text;
}

}  // namespace orvana::store
