#pragma once

#include <cstdint>

// The meter software's own numbering of the line events a port can be asked
// to signal and of the notifications its transport sends. The values are kept
// as they always were, so settings and traces read the same as on the bench's
// old machines; the names are ours, since the Windows headers define the
// platform's own (WM_USER, EV_RXCHAR, ...) as macros.
namespace orvana::link {

inline constexpr unsigned kCommMessageBase = 0x400;
inline constexpr unsigned kCommLineBreak = kCommMessageBase + 1;
inline constexpr unsigned kCommCts = kCommMessageBase + 2;
inline constexpr unsigned kCommLineError = kCommMessageBase + 4;
inline constexpr unsigned kCommRing = kCommMessageBase + 5;
inline constexpr unsigned kCommRxChar = kCommMessageBase + 7;
inline constexpr unsigned kCommEventChar = kCommMessageBase + 8;
inline constexpr unsigned kCommWriteDone = kCommMessageBase + 9;

// Line events of the event mask.
inline constexpr uint32_t kEventRxChar = 0x0001;
inline constexpr uint32_t kEventRxFlag = 0x0002;
inline constexpr uint32_t kEventCts = 0x0008;
inline constexpr uint32_t kEventBreak = 0x0040;
inline constexpr uint32_t kEventError = 0x0080;
inline constexpr uint32_t kEventRing = 0x0100;

struct CommNotification {
  unsigned message = 0;  // one of kComm*
  // The byte for kCommRxChar, else 0. The port itself hands received
  // bytes over by the read (ISerialOwner::OnReceive), not one by one.
  unsigned wParam = 0;
  unsigned portNumber = 0;
};

}  // namespace orvana::link
