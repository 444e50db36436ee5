#pragma once

#include <cstdint>
#include <functional>

#include "link/owner_relay.h"
#include "link/serial_port.h"
#include "link/transport.h"

// The real line: a CSerialPort whose monitor thread hands every received byte
// to the owner's thread through a relay. The owner's event loop calls Drain()
// whenever `wake` has asked it to; bytes then reach `onByte` in order, on the
// owner's thread.
namespace orvana::link {

class SerialTransport final : public ITransport {
 public:
  using ByteHandler = std::function<void(uint8_t)>;
  // `wake` is called on the monitor thread and must only make the owner's
  // loop call Drain() soon (write to an eventfd, post a queued call).
  SerialTransport(ByteHandler onByte, std::function<void()> wake);

  bool Open(const PortAddress& port, const LineSettings& settings) override;
  bool StartMonitor() override { return m_port.StartMonitor(); }
  void Write(const uint8_t* bytes, size_t length) override { m_port.Write(bytes, length); }
  void WriteKeepingInput(const uint8_t* bytes, size_t length) override {
    m_port.WriteKeepingInput(bytes, length);
  }
  void Stop() override { m_port.Stop(); }
  std::string LastOpenError() const override { return m_port.LastOpenError(); }

  // Owner thread: handles every notification waiting.
  size_t Drain() { return m_relay.Drain(); }
  bool IsMonitoring() const { return m_port.IsMonitoring(); }

 private:
  COwnerRelay m_relay;
  // Declared after the relay so it is destroyed first: its monitor may be
  // delivering into the relay until the port has stopped it.
  CSerialPort m_port;
};

}  // namespace orvana::link
