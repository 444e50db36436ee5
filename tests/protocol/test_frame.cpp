#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "protocol/frame.h"

namespace orvana::protocol {
namespace {

TEST(CommandFrames, AreTheFiveBytesTheMeterExpects) {
  EXPECT_EQ(BuildCommand(CMD_CONNECT), (CommandBytes{0x50, 0x03, 0x01, 0xAC, 0x01}));
  EXPECT_EQ(BuildCommand(CMD_ERASE_ALL), (CommandBytes{0x50, 0x03, 0x09, 0xA4, 0x01}));
  EXPECT_EQ(BuildCommand(CMD_READ_RECORD), (CommandBytes{0x50, 0x03, 0x30, 0x7D, 0x01}));
  // The keep-alive carries 0x50 both as header and as command code.
  EXPECT_EQ(BuildCommand(CMD_KEEPALIVE), (CommandBytes{0x50, 0x03, 0x50, 0x5D, 0x01}));
}

TEST(Checksum, MakesTheSumOfTheFrameZero) {
  const std::vector<uint8_t> connectOk{0x50, 0x03, 0x02};
  EXPECT_EQ(Checksum(connectOk.data(), connectOk.size()), 0xAB);
  const std::vector<uint8_t> eraseOk{0x50, 0x03, 0x0A};
  EXPECT_EQ(Checksum(eraseOk.data(), eraseOk.size()), 0xA3);
  // A sum that is already a multiple of 256 needs a zero checksum, not 256.
  const std::vector<uint8_t> wraps{0x50, 0xB0};
  EXPECT_EQ(Checksum(wraps.data(), wraps.size()), 0x00);
}

TEST(Decoding, FloatsAreLittleEndianSinglePrecision) {
  const uint8_t minusPointThree[] = {0x9A, 0x99, 0x99, 0xBE};
  EXPECT_FLOAT_EQ(DecodeFloat(minusPointThree), -0.3f);
  const uint8_t fiftyFive[] = {0x00, 0x00, 0x5C, 0x42};
  EXPECT_EQ(DecodeFloat(fiftyFive), 55.0f);
  const uint8_t quietNan[] = {0x00, 0x00, 0xC0, 0x7F};
  EXPECT_TRUE(std::isnan(DecodeFloat(quietNan)));
}

TEST(Decoding, SixteenBitDistanceIsSignedLittleEndian) {
  const uint8_t minusTwo[] = {0xFE, 0xFF};
  EXPECT_EQ(DecodeInt16(minusTwo), -2);
  const uint8_t tenThousand[] = {0x10, 0x27};
  EXPECT_EQ(DecodeInt16(tenThousand), 10000);
  const uint8_t mostNegative[] = {0x00, 0x80};
  EXPECT_EQ(DecodeInt16(mostNegative), -32768);
}

}  // namespace
}  // namespace orvana::protocol
