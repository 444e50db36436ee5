#pragma once

#include <cstdint>
#include <span>
#include <string>

// What a CSerialPort's monitor tells whoever runs it. The runner listens to
// the port: it hands the bytes on to the program, on the thread and in the
// way that suits it.
namespace orvana::link {

// What a person is told when the device vanishes under a running monitor.
inline constexpr const char* kPortGoneReason = "the meter's port has gone";

// Why a monitor ended.
struct MonitorEnd {
  bool lost = false;   // the device vanished (hang-up, I/O error, end of file)
  std::string reason;  // for a person; empty when the monitor was asked to stop
};

// Every call comes from the thread that runs the port's monitor passes. The
// monitor never waits for its listener: stopping it can never be held up by
// a listener that is busy.
class IPortListener {
 public:
  virtual ~IPortListener() = default;
  // The bytes read and not yet handed on, oldest first. The listener takes
  // what it will from the front, moving `input` on past it. It may stop early
  // once a write or a stop has been asked for (CSerialPort::CatchUpDue): the
  // port does that first and then offers the rest again, unless the write's
  // purge or the stop has taken it. `input` is the port's own: a pass the
  // listener runs from inside this call carries on with the very next byte.
  virtual void OnReceive(std::span<const uint8_t>& input) = 0;
  // During a write that discards the line's input: whatever the listener
  // holds and has not handed on yet goes too, as received before the write.
  // The port's lock is held, so this must not call back into the port.
  virtual void OnInputPurged() {}
  // The monitor's last call: the device is closed.
  virtual void OnMonitorEnded(const MonitorEnd& end) = 0;
};

}  // namespace orvana::link
