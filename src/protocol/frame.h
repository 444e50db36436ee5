#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// One frame on the line to the meter, in both directions:
//   0x50, length L, command code, payload, checksum, trailer
// L counts the bytes after the length byte; the checksum at index L makes the
// 8-bit sum of bytes 0..L-1 plus itself zero; the trailer at L+1 is 0x01 in
// what we send and never examined in what we receive.
namespace orvana::protocol {

inline constexpr uint8_t kFrameHeader = 0x50;
inline constexpr uint8_t kFrameTrailer = 0x01;
// The receiver holds at most this many bytes of one frame, so L <= 46.
inline constexpr size_t kMaxFrameBytes = 48;
inline constexpr uint8_t kMaxFrameLength = kMaxFrameBytes - 2;
// Smallest frame that has a command code: L = 3, no payload.
inline constexpr uint8_t kMinFrameLength = 3;

inline constexpr uint8_t CMD_CONNECT = 1;
inline constexpr uint8_t CMD_CONNECT_OK = 2;
inline constexpr uint8_t CMD_ERASE_ALL = 9;
inline constexpr uint8_t CMD_ERASE_ALL_OK = 10;
inline constexpr uint8_t CMD_READ_RECORD = 48;
inline constexpr uint8_t CMD_RECORD_EVENT = 49;
inline constexpr uint8_t CMD_KEEPALIVE = 80;
inline constexpr uint8_t CMD_RESULT = 81;

// A received frame as its handler sees it: a copy of the bytes collected,
// positions as on the wire. `size` is L + 2.
struct Frame {
  std::array<uint8_t, kMaxFrameBytes> bytes{};
  size_t size = 0;

  uint8_t Length() const { return bytes[1]; }
  uint8_t Code() const { return bytes[2]; }
  uint8_t At(size_t index) const { return bytes[index]; }
  int8_t SignedAt(size_t index) const { return static_cast<int8_t>(bytes[index]); }
  // Little-endian IEEE 754 single precision starting at `index`.
  float FloatAt(size_t index) const;
  // Two's complement 16-bit, little-endian, starting at `index`.
  int16_t Int16At(size_t index) const;
};

// Two's complement of the 8-bit sum of `count` bytes.
uint8_t Checksum(const uint8_t* bytes, size_t count);

// The five bytes of a command without payload: 50 03 code checksum 01.
using CommandBytes = std::array<uint8_t, 5>;
CommandBytes BuildCommand(uint8_t code);

// Decoders on raw bytes, shared by Frame and by anything that reads payloads.
float DecodeFloat(const uint8_t* littleEndian);
int16_t DecodeInt16(const uint8_t* littleEndian);

}  // namespace orvana::protocol
