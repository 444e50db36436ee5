#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "link/owner_relay.h"
#include "link/serial_port.h"
#include "link/transport.h"

// The real line: a CSerialPort whose monitor hands what it receives to the
// owner's thread through a relay; bytes reach `onByte` one at a time and in
// order, on the owner's thread.
//
// With MonitorMode::kThread the monitor has a thread of its own and the
// owner's event loop calls Drain() whenever `wake` has asked it to. With
// MonitorMode::kOwnerLoop the owner's poll loop waits on LineWaits() beside
// its own descriptors and calls ServiceLine() with what it found: no thread
// and no hand-over between threads, for a loop that waits on descriptors
// anyway.
namespace orvana::link {

class SerialTransport final : public ITransport {
 public:
  using ByteHandler = std::function<void(uint8_t)>;
  using LinkLostHandler = std::function<void(const std::string& reason)>;
  // `wake` is called on the monitor thread and must only make the owner's
  // loop call Drain() soon (write to an eventfd, post a queued call); the
  // owner's own loop needs none. `onLinkLost` runs in Drain, after the last
  // byte, when the device vanished under the monitor; the reason is for a
  // person.
  SerialTransport(ByteHandler onByte, std::function<void()> wake, LinkLostHandler onLinkLost = {},
                  MonitorMode mode = MonitorMode::kThread);

  bool Open(const PortAddress& port, const LineSettings& settings) override;
  bool StartMonitor() override { return m_port.StartMonitor(m_mode); }
  void Write(const uint8_t* bytes, size_t length) override { m_port.Write(bytes, length); }
  void WriteKeepingInput(const uint8_t* bytes, size_t length) override {
    m_port.WriteKeepingInput(bytes, length);
  }
  void Stop() override { m_port.Stop(); }
  std::string LastOpenError() const override { return m_port.LastOpenError(); }

  // Owner thread: hands on everything waiting. In the owner's loop, a write
  // or a stop that a handler asks for is done before the next byte, so a
  // purge takes every byte not yet handed on.
  size_t Drain();
  bool IsMonitoring() const { return m_port.IsMonitoring(); }

  // kOwnerLoop: the descriptors to wait on (all -1 while nothing is watched),
  // then, after the poll, what it found: one monitor pass and a Drain.
  // Returns what the Drain handed on.
  void LineWaits(CSerialPort::MonitorWaitSet& waits) const { m_port.MonitorWaits(waits); }
  size_t ServiceLine(const CSerialPort::MonitorWaitSet& waits);

 private:
  MonitorMode m_mode;
  COwnerRelay m_relay;
  // Declared after the relay so it is destroyed first: its monitor hands
  // bytes to the relay until the port has stopped it.
  CSerialPort m_port;
};

}  // namespace orvana::link
