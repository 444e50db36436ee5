// Arbitrary bytes from the line: the receiver must never hand a handler a
// frame whose declared length disagrees with what was collected, nor one
// shorter than its code reads, and must never store past its buffer (ASan
// watches the latter).
#include <cstdint>
#include <cstdlib>

#include "protocol/frame.h"
#include "protocol/frame_receiver.h"

using orvana::protocol::Frame;
using orvana::protocol::FrameReceiver;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FrameReceiver receiver;
  unsigned volatile sink = 0;
  for (int code = 0; code < 256; ++code) {
    receiver.SetHandler(static_cast<uint8_t>(code), [&](const Frame& frame) {
      if (frame.size != static_cast<size_t>(frame.Length()) + 2) __builtin_trap();
      if (frame.size > orvana::protocol::kMaxFrameBytes) __builtin_trap();
      if (frame.Length() < FrameReceiver::MinimumLength(frame.Code())) __builtin_trap();
      if (orvana::protocol::Checksum(frame.bytes.data(), frame.Length()) !=
          frame.At(frame.Length())) {
        __builtin_trap();
      }
      for (size_t i = 0; i < frame.size; ++i) sink = sink + frame.At(i);
    });
  }
  for (size_t i = 0; i < size; ++i) {
    receiver.OnReceiveByte(data[i]);
    if (receiver.Count() > orvana::protocol::kMaxFrameBytes) __builtin_trap();
  }
  return 0;
}
