#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "common/meter_frames.h"
#include "protocol/frame.h"
#include "protocol/frame_receiver.h"

namespace orvana::protocol {
namespace {

using testing::Bytes;
using testing::MeterFrame;

Bytes ResultPayload() {
  Bytes payload(19, 0);
  payload[0] = 1;   // dual
  payload[18] = 1;  // record
  const float value = -0.21f;
  std::memcpy(&payload[2], &value, sizeof value);
  return payload;
}

class ReceiverTest : public ::testing::Test {
 protected:
  ReceiverTest() {
    for (int code = 0; code < 256; ++code) {
      receiver.SetHandler(static_cast<uint8_t>(code),
                          [this](const Frame& frame) { seen.push_back(frame); });
    }
  }
  void Feed(const Bytes& bytes) {
    for (uint8_t b : bytes) receiver.OnReceiveByte(b);
  }
  std::vector<uint8_t> Codes() const {
    std::vector<uint8_t> codes;
    for (const Frame& f : seen) codes.push_back(f.Code());
    return codes;
  }

  FrameReceiver receiver;
  std::vector<Frame> seen;
};

TEST_F(ReceiverTest, IgnoresBytesBeforeTheHeader) {
  Feed({0x00, 0x13, 0x50, 0x03, 0x02, 0xAB, 0x01});
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].Code(), CMD_CONNECT_OK);
  EXPECT_EQ(seen[0].size, 5u);
  EXPECT_FALSE(receiver.Started());
  EXPECT_EQ(receiver.Count(), 0u);
}

TEST_F(ReceiverTest, BadChecksumIsDroppedAndTheNextFrameStillArrives) {
  Feed({0x50, 0x03, 0x02, 0xAC, 0x01});
  EXPECT_TRUE(seen.empty());
  EXPECT_TRUE(receiver.Started()) << "after a bad checksum the receiver hunts";
  Feed({0x50, 0x03, 0x0A, 0xA3, 0x01});
  EXPECT_EQ(Codes(), (std::vector<uint8_t>{CMD_ERASE_ALL_OK}));
}

TEST_F(ReceiverTest, ActsOnlyOnceTheTrailerHasArrivedWhateverItIs) {
  Feed({0x50, 0x03, 0x02, 0xAB});
  EXPECT_TRUE(seen.empty());
  // A 0x50 in the trailer position is the trailer, not the next header.
  receiver.OnReceiveByte(0x50);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].At(4), 0x50);
  Feed({0x03, 0x02, 0xAB, 0x01});  // no header: ignored
  EXPECT_EQ(seen.size(), 1u);
}

TEST_F(ReceiverTest, HeaderByteInsidePayloadIsData) {
  Bytes payload = ResultPayload();
  payload[5] = 0x50;
  payload[6] = 0x50;
  const Bytes frame = MeterFrame(CMD_RESULT, payload);
  Feed(frame);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_TRUE(std::equal(frame.begin(), frame.end(), seen[0].bytes.begin()));
}

TEST_F(ReceiverTest, SameFramesWhicheverWayTheBytesAreSplit) {
  Bytes stream{0x13, 0x00};
  for (const Bytes& f :
       {MeterFrame(CMD_CONNECT_OK, {}), MeterFrame(CMD_RESULT, ResultPayload()), MeterFrame(3, {}),
        MeterFrame(CMD_READ_RECORD, {0, 17, 3, 5, 9, 7}), MeterFrame(CMD_ERASE_ALL_OK, {}, 0x77)}) {
    stream.insert(stream.end(), f.begin(), f.end());
  }
  const std::vector<uint8_t> expected{CMD_CONNECT_OK, CMD_RESULT, 3, CMD_READ_RECORD,
                                      CMD_ERASE_ALL_OK};

  std::mt19937 random(7);
  for (int trial = 0; trial < 50; ++trial) {
    seen.clear();
    FrameReceiver fresh;
    receiver = fresh;
    for (int code = 0; code < 256; ++code) {
      receiver.SetHandler(static_cast<uint8_t>(code),
                          [this](const Frame& frame) { seen.push_back(frame); });
    }
    // The receiver is fed one byte at a time by design; what varies in real
    // life is how those bytes were grouped on the wire, which must not matter,
    // and where bursts interleave with nothing at all.
    size_t at = 0;
    while (at < stream.size()) {
      const size_t chunk = std::min<size_t>(stream.size() - at, 1 + random() % 9);
      Feed(Bytes(stream.begin() + static_cast<long>(at),
                 stream.begin() + static_cast<long>(at + chunk)));
      at += chunk;
    }
    EXPECT_EQ(Codes(), expected) << "trial " << trial;
  }
}

TEST_F(ReceiverTest, WritingACommandThrowsAwayAHalfReceivedFrame) {
  const Bytes frame = MeterFrame(CMD_RESULT, ResultPayload());
  Feed(Bytes(frame.begin(), frame.begin() + 10));
  receiver.ResetCount();
  Feed(Bytes(frame.begin() + 10, frame.end()));
  EXPECT_TRUE(seen.empty());
  Feed(MeterFrame(CMD_CONNECT_OK, {}));
  EXPECT_EQ(Codes(), (std::vector<uint8_t>{CMD_CONNECT_OK}));
}

TEST_F(ReceiverTest, OverlongFrameIsDroppedAtItsLengthByte) {
  // L = 47 cannot be held in 48 bytes: nothing may be stored past the buffer.
  Bytes overlong{0x50, 47, CMD_RESULT};
  overlong.resize(49, 0x11);
  Feed(overlong);
  EXPECT_TRUE(seen.empty());
  EXPECT_LE(receiver.Count(), kMaxFrameBytes);
  Feed(MeterFrame(CMD_CONNECT_OK, {}));
  EXPECT_EQ(Codes(), (std::vector<uint8_t>{CMD_CONNECT_OK}));
}

TEST_F(ReceiverTest, LengthByteThatIsAHeaderOpensTheNextFrame) {
  // A lone 0x50 (noise, or a frame cut short) right before a real frame.
  Bytes stream{0x50};
  const Bytes good = MeterFrame(CMD_CONNECT_OK, {});
  stream.insert(stream.end(), good.begin(), good.end());
  Feed(stream);
  EXPECT_EQ(Codes(), (std::vector<uint8_t>{CMD_CONNECT_OK}));
}

TEST_F(ReceiverTest, LargestFrameThatFitsIsReceived) {
  const Bytes frame = MeterFrame(CMD_RESULT, Bytes(43, 0x22));
  ASSERT_EQ(frame.size(), kMaxFrameBytes);
  Feed(frame);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].size, kMaxFrameBytes);
}

TEST_F(ReceiverTest, FramesShorterThanTheirCodeReadsAreNotDispatched) {
  Feed(MeterFrame(CMD_RESULT, Bytes(18, 0)));        // needs L >= 22, has 21
  Feed(MeterFrame(CMD_RECORD_EVENT, Bytes(15, 0)));  // needs 19, has 18
  Feed(MeterFrame(CMD_READ_RECORD, Bytes(5, 0)));    // needs 9, has 8
  EXPECT_TRUE(seen.empty());
  Feed(MeterFrame(CMD_READ_RECORD, Bytes(6, 0)));
  EXPECT_EQ(Codes(), (std::vector<uint8_t>{CMD_READ_RECORD}));
}

TEST(ReceiverDispatch, CodesWithoutAHandlerAreConsumedSilently) {
  FrameReceiver receiver;
  int connected = 0;
  receiver.SetHandler(CMD_CONNECT_OK, [&](const Frame&) { ++connected; });
  for (uint8_t b : MeterFrame(3, {})) receiver.OnReceiveByte(b);
  EXPECT_EQ(connected, 0);
  EXPECT_FALSE(receiver.Started());
  for (uint8_t b : MeterFrame(CMD_CONNECT_OK, {})) receiver.OnReceiveByte(b);
  EXPECT_EQ(connected, 1);
}

TEST(ReceiverDispatch, BytesFedWhileAHandlerRunsFormTheNextFrame) {
  // A handler that shows a message box keeps receiving underneath it.
  FrameReceiver receiver;
  std::vector<uint8_t> order;
  const Bytes eraseOk = MeterFrame(CMD_ERASE_ALL_OK, {});
  receiver.SetHandler(CMD_CONNECT_OK, [&](const Frame& frame) {
    order.push_back(frame.Code());
    for (uint8_t b : eraseOk) receiver.OnReceiveByte(b);
    EXPECT_EQ(frame.Code(), CMD_CONNECT_OK) << "the handler's frame must be its own copy";
  });
  receiver.SetHandler(CMD_ERASE_ALL_OK, [&](const Frame& frame) { order.push_back(frame.Code()); });
  for (uint8_t b : MeterFrame(CMD_CONNECT_OK, {})) receiver.OnReceiveByte(b);
  EXPECT_EQ(order, (std::vector<uint8_t>{CMD_CONNECT_OK, CMD_ERASE_ALL_OK}));
}

}  // namespace
}  // namespace orvana::protocol
