#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "link/comm_events.h"
#include "link/port_address.h"

// The station's view of the line to the meter. The real ones run a
// CSerialPort: SerialTransport from a monitor thread (the window),
// PolledTransport from the program's own poll loop (orvana-cli); tests of
// the station's logic can stand in a recorder.
namespace orvana::link {

struct LineSettings {
  int baudRate = 9600;
  char parity = 'N';
  int dataBits = 8;
  int stopBits = 1;
  uint32_t eventMask = kEventRxChar | kEventRxFlag;
  int writeBufferSize = 512;
};

class ITransport {
 public:
  virtual ~ITransport() = default;
  virtual bool Open(const PortAddress& port, const LineSettings& settings) = 0;
  virtual bool StartMonitor() = 0;
  // Discards whatever the line holds in both directions, then writes.
  virtual void Write(const uint8_t* bytes, size_t length) = 0;
  // Writes without discarding anything.
  virtual void WriteKeepingInput(const uint8_t* bytes, size_t length) = 0;
  virtual void Stop() = 0;
  // Why the last Open failed, for a person; empty when it did not.
  virtual std::string LastOpenError() const = 0;
};

}  // namespace orvana::link
