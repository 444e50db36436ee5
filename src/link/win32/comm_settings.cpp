#include "link/win32/comm_settings.h"

namespace orvana::link {
namespace {

bool ParityByte(char parity, BYTE& value) {
  switch (parity) {
    case 'N':
    case 'n':
      value = NOPARITY;
      return true;
    case 'E':
    case 'e':
      value = EVENPARITY;
      return true;
    case 'O':
    case 'o':
      value = ODDPARITY;
      return true;
    case 'M':
    case 'm':
      value = MARKPARITY;
      return true;
    case 'S':
    case 's':
      value = SPACEPARITY;
      return true;
    default:
      return false;
  }
}

}  // namespace

DWORD ApplyLineSettings(DCB& dcb, int baudRate, char parity, int dataBits, int stopBits) {
  BYTE parityValue = NOPARITY;
  if (baudRate <= 0 || !ParityByte(parity, parityValue) || dataBits < 5 || dataBits > 8 ||
      (stopBits != 1 && stopBits != 2)) {
    return ERROR_INVALID_PARAMETER;
  }
  DCB result = dcb;
  result.DCBlength = sizeof result;
  result.BaudRate = static_cast<DWORD>(baudRate);
  result.ByteSize = static_cast<BYTE>(dataBits);
  result.Parity = parityValue;
  result.StopBits = stopBits == 2 ? TWOSTOPBITS : ONESTOPBIT;
  result.fBinary = TRUE;
  result.fParity = parityValue != NOPARITY ? TRUE : FALSE;
  // Raw: every byte reaches the program as sent; nothing is taken as flow
  // control, replaced or dropped.
  result.fOutxCtsFlow = FALSE;
  result.fOutxDsrFlow = FALSE;
  result.fDsrSensitivity = FALSE;
  result.fOutX = FALSE;
  result.fInX = FALSE;
  result.fErrorChar = FALSE;
  result.fNull = FALSE;
  result.fDtrControl = DTR_CONTROL_ENABLE;
  result.fRtsControl = RTS_CONTROL_ENABLE;
  // A framing or parity error must not fail every later read until someone
  // clears it: the reads would look like a port that has gone.
  result.fAbortOnError = FALSE;
  dcb = result;
  return 0;
}

COMMTIMEOUTS MonitorTimeouts() {
  COMMTIMEOUTS timeouts{};
  // A frame arrives as one burst: 20 ms without a byte ends the read. Never
  // MAXDWORD/MAXDWORD ("return on the first byte"): Wine does not return
  // from that until the far end closes.
  timeouts.ReadIntervalTimeout = 20;
  timeouts.ReadTotalTimeoutMultiplier = 0;
  // A steady stream has no gap: this bounds how long its bytes wait.
  timeouts.ReadTotalTimeoutConstant = 250;
  timeouts.WriteTotalTimeoutMultiplier = 1000;
  timeouts.WriteTotalTimeoutConstant = 1000;
  return timeouts;
}

}  // namespace orvana::link
