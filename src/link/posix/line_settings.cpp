#include "link/posix/line_settings.h"

#include <cerrno>

namespace orvana::link {
namespace {

bool BaudConstant(int baudRate, speed_t& speed) {
  struct Rate {
    int baud;
    speed_t constant;
  };
  static constexpr Rate kRates[] = {
      {50, B50},           {75, B75},           {110, B110},         {134, B134},
      {150, B150},         {200, B200},         {300, B300},         {600, B600},
      {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
      {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
      {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
      {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
      {1500000, B1500000}, {2000000, B2000000},
  };
  for (const Rate& rate : kRates) {
    if (rate.baud == baudRate) {
      speed = rate.constant;
      return true;
    }
  }
  return false;
}

bool ParityFlags(char parity, tcflag_t& flags) {
  switch (parity) {
    case 'N':
    case 'n':
      flags = 0;
      return true;
    case 'E':
    case 'e':
      flags = PARENB;
      return true;
    case 'O':
    case 'o':
      flags = PARENB | PARODD;
      return true;
    // With CMSPAR the parity bit is fixed: PARODD selects mark (1), its
    // absence space (0).
    case 'M':
    case 'm':
      flags = PARENB | PARODD | CMSPAR;
      return true;
    case 'S':
    case 's':
      flags = PARENB | CMSPAR;
      return true;
    default:
      return false;
  }
}

bool SizeFlag(int dataBits, tcflag_t& flag) {
  switch (dataBits) {
    case 5:
      flag = CS5;
      return true;
    case 6:
      flag = CS6;
      return true;
    case 7:
      flag = CS7;
      return true;
    case 8:
      flag = CS8;
      return true;
    default:
      return false;
  }
}

}  // namespace

int ApplyLineSettings(termios& settings, int baudRate, char parity, int dataBits, int stopBits) {
  speed_t speed{};
  tcflag_t parityFlags = 0;
  tcflag_t sizeFlag = 0;
  if (!BaudConstant(baudRate, speed) || !ParityFlags(parity, parityFlags) ||
      !SizeFlag(dataBits, sizeFlag) || (stopBits != 1 && stopBits != 2)) {
    return EINVAL;
  }

  termios result = settings;
  // Raw: every byte reaches the program as sent, nothing is echoed,
  // translated or taken as a signal or flow-control character.
  result.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR |
                                           ICRNL | IXON | IXOFF | IXANY | INPCK);
  result.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  result.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  result.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
  result.c_cflag |= CLOCAL | CREAD | sizeFlag | parityFlags;
  if (stopBits == 2) result.c_cflag |= CSTOPB;
  if (parityFlags != 0) result.c_iflag |= INPCK;
  result.c_cc[VMIN] = 1;
  result.c_cc[VTIME] = 0;
  if (cfsetispeed(&result, speed) != 0 || cfsetospeed(&result, speed) != 0) return EINVAL;
  settings = result;
  return 0;
}

}  // namespace orvana::link
