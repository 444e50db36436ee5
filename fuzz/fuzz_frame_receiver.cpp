// Arbitrary bytes from the line: the receiver must never hand a handler a
// frame whose declared length disagrees with what was collected, nor one
// shorter than its code reads, and must never store past its buffer (ASan
// watches the latter), also when handlers receive nested bytes.
//
// Then the resync promise: a valid frame sent after arbitrary bytes is
// dispatched. The one excuse is a run of bytes that itself looks like a whole
// frame (header, a length that fits, a matching checksum) starting before the
// appended frame and covering its header at a position other than the
// trailer's: no receiver can tell such a run from a real frame, and taking it
// consumes the appended frame's first bytes.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "protocol/frame.h"
#include "protocol/frame_receiver.h"

using orvana::protocol::Checksum;
using orvana::protocol::Frame;
using orvana::protocol::FrameReceiver;
using orvana::protocol::kFrameHeader;
using orvana::protocol::kMaxFrameBytes;
using orvana::protocol::kMaxFrameLength;
using orvana::protocol::kMinFrameLength;

namespace {

void CheckFrame(const Frame& frame) {
  if (frame.size != static_cast<size_t>(frame.Length()) + 2) __builtin_trap();
  if (frame.size > kMaxFrameBytes) __builtin_trap();
  if (frame.Length() < FrameReceiver::MinimumLength(frame.Code())) __builtin_trap();
  if (Checksum(frame.bytes.data(), frame.Length()) != frame.At(frame.Length())) __builtin_trap();
}

void FeedWithNesting(const uint8_t* data, size_t size) {
  FrameReceiver receiver;
  int depth = 0;
  for (int code = 0; code < 256; ++code) {
    receiver.SetHandler(static_cast<uint8_t>(code), [&](const Frame& frame) {
      CheckFrame(frame);
      // Odd codes stand for a handler with a message box: its own payload
      // arrives underneath it.
      if ((frame.Code() & 1) == 0 || depth > 3) return;
      ++depth;
      for (size_t i = 3; i < frame.Length(); ++i) receiver.OnReceiveByte(frame.At(i));
      --depth;
    });
  }
  for (size_t i = 0; i < size; ++i) {
    receiver.OnReceiveByte(data[i]);
    if (receiver.Count() > kMaxFrameBytes) __builtin_trap();
  }
}

// Whether some run of bytes starting in the prefix looks like a whole frame
// and holds the appended frame's header inside it.
bool FrameLookalikeCovers(const std::vector<uint8_t>& stream, size_t boundary) {
  for (size_t start = 0; start < boundary; ++start) {
    if (stream[start] != kFrameHeader || start + 1 >= stream.size()) continue;
    const size_t length = stream[start + 1];
    if (length < kMinFrameLength || length > kMaxFrameLength) continue;
    if (start + length + 1 >= stream.size() || start + length < boundary) continue;
    if (Checksum(&stream[start], length) == stream[start + length]) return true;
  }
  return false;
}

void CheckAppendedFrameArrives(const uint8_t* data, size_t size) {
  if (size < 3) return;
  // The frame to append: its code, trailer and payload come from the input.
  const uint8_t code = data[0];
  const uint8_t trailer = data[1];
  size_t payload = data[2] % (kMaxFrameLength - 2);
  const size_t least = FrameReceiver::MinimumLength(code) - 3u;
  if (payload < least) payload = least;
  data += 3;
  size -= 3;
  const size_t prefix = size > payload ? size - payload : 0;

  std::vector<uint8_t> stream(data, data + prefix);
  const size_t boundary = stream.size();
  stream.push_back(kFrameHeader);
  stream.push_back(static_cast<uint8_t>(payload + 3));
  stream.push_back(code);
  for (size_t i = 0; i < payload; ++i) stream.push_back(prefix + i < size ? data[prefix + i] : 0);
  stream.push_back(Checksum(&stream[boundary], payload + 3));
  stream.push_back(trailer);
  const size_t end = stream.size();
  // A frame the prefix left open goes on collecting across the appended one;
  // only the bytes that follow on the line can complete and drop it, and that
  // drop is what lets the appended frame through. A quiet line after it:
  stream.insert(stream.end(), kMaxFrameBytes, 0x00);

  FrameReceiver receiver;
  size_t fed = 0;
  bool arrived = false;
  for (int c = 0; c < 256; ++c) {
    receiver.SetHandler(static_cast<uint8_t>(c), [&](const Frame& frame) {
      // Taken no sooner than its last byte was fed: not a copy in the prefix.
      if (fed + 1 < end || frame.size != end - boundary) return;
      bool same = true;
      for (size_t i = 0; i < frame.size; ++i) same = same && frame.At(i) == stream[boundary + i];
      arrived = arrived || same;
    });
  }
  for (; fed < stream.size(); ++fed) receiver.OnReceiveByte(stream[fed]);
  if (!arrived && !FrameLookalikeCovers(stream, boundary)) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FeedWithNesting(data, size);
  CheckAppendedFrameArrives(data, size);
  return 0;
}
