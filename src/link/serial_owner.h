#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "link/comm_events.h"

// What a CSerialPort's monitor tells whoever runs it. The runner is the
// port's owner: it hands the bytes on to the program, on the thread and in
// the way that suits it.
namespace orvana::link {

// What a person is told when the device vanishes under a running monitor.
inline constexpr const char* kPortGoneReason = "the meter's port has gone";

// Why a monitor ended.
struct MonitorEnd {
  bool lost = false;   // the device vanished (hang-up, I/O error, end of file)
  std::string reason;  // for a person; empty when the monitor was asked to stop
};

// Every call comes from the thread that runs the port's monitor passes. The
// monitor never waits for its owner: stopping it can never be held up by an
// owner that is busy.
class ISerialOwner {
 public:
  virtual ~ISerialOwner() = default;
  // The bytes read and not yet handed on, oldest first. The owner takes what
  // it will from the front, moving `input` on past it. It may stop early once
  // a write or a stop has been asked for (CSerialPort::CatchUpDue): the port
  // does that first and then offers the rest again, unless the write's purge
  // or the stop has taken it. `input` is the port's own: a pass the owner
  // runs from inside this call carries on with the very next byte.
  virtual void OnReceive(std::span<const uint8_t>& input) = 0;
  // Every other notification, in order with the bytes.
  virtual void OnCommNotification(const CommNotification& notification) = 0;
  // During a write that discards the line's input: whatever the owner holds
  // and has not handed on yet goes too, as received before the write.
  virtual void OnInputPurged() {}
  // The monitor's last call: the device is closed.
  virtual void OnMonitorEnded(const MonitorEnd& end) = 0;
};

}  // namespace orvana::link
