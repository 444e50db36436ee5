#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

// The meter's side of the line, written independently of the program's own
// protocol code so that a test pitting one against the other can catch a
// fault in either. A frame is 0x50, L, code, payload, checksum, trailer, where
// L counts everything after the length byte and the checksum makes the 8-bit
// sum of bytes 0..L-1 plus itself come to zero.
namespace orvana::sim {

using Bytes = std::vector<uint8_t>;

inline constexpr uint8_t kHeaderByte = 0x50;
inline constexpr uint8_t kTrailerByte = 0x01;
// Longest L the program can hold; a frame longer than that is a fault we send
// only on request.
inline constexpr uint8_t kLongestLength = 46;

enum class Code : uint8_t {
  kConnect = 1,
  kConnectOk = 2,
  kEraseAll = 9,
  kEraseAllOk = 10,
  kReadRecord = 48,
  kRecordEvent = 49,
  kKeepAlive = 80,
  kResult = 81,
};

// Negated 8-bit sum of `bytes`.
uint8_t NegatedSum(std::span<const uint8_t> bytes);

// A complete frame around `payload` (the bytes from index 3 on). The payload
// may be longer than the program accepts: overlong frames are built here too.
// Throws std::length_error when L would not fit in its byte.
Bytes BuildFrame(uint8_t code, std::span<const uint8_t> payload);
inline Bytes BuildFrame(Code code, std::span<const uint8_t> payload = {}) {
  return BuildFrame(static_cast<uint8_t>(code), payload);
}

// Index of the checksum byte of a frame built by BuildFrame.
inline size_t ChecksumIndex(const Bytes& frame) { return frame.at(1); }

// Little-endian encoders for payloads.
void AppendFloat(Bytes& out, float value);
void AppendInt16(Bytes& out, int16_t value);

}  // namespace orvana::sim
