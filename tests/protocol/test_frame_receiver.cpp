#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "protocol/frame.h"
#include "protocol/frame_receiver.h"
#include "support/sim_frames.h"

namespace orvana::protocol {
namespace {

using sim::BuildFrame;
using sim::Bytes;
using testing::DualResultBytes;

// A result's payload, for frames that differ from a real result in a byte.
Bytes ResultPayload() {
  const Bytes frame = DualResultBytes(-0.21f, 0, 0, 0);
  return Bytes(frame.begin() + 3, frame.end() - 2);
}

// A received frame's trailer is never examined: any byte stands in for it.
Bytes WithTrailer(Bytes frame, uint8_t trailer) {
  frame.back() = trailer;
  return frame;
}

class ReceiverTest : public ::testing::Test {
 protected:
  ReceiverTest() { Listen(); }
  // Every code's frames go to `seen`.
  void Listen() {
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
  // It may also have been the header of the next frame, its own trailer lost
  // on the line: that frame is received too, and so is a frame that follows
  // with its own header.
  Feed({0x03, 0x0A, 0xA3, 0x50});
  Feed(BuildFrame(CMD_RESULT, ResultPayload()));
  EXPECT_EQ(Codes(), (std::vector<uint8_t>{CMD_CONNECT_OK, CMD_ERASE_ALL_OK, CMD_RESULT}));
  EXPECT_FALSE(receiver.Started());
}

TEST_F(ReceiverTest, HeaderByteInsidePayloadIsData) {
  Bytes payload = ResultPayload();
  payload[5] = 0x50;
  payload[6] = 0x50;
  const Bytes frame = BuildFrame(CMD_RESULT, payload);
  Feed(frame);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_TRUE(std::equal(frame.begin(), frame.end(), seen[0].bytes.begin()));
}

TEST_F(ReceiverTest, SameFramesWhicheverWayTheBytesAreSplit) {
  Bytes stream{0x13, 0x00};
  for (const Bytes& f : {BuildFrame(CMD_CONNECT_OK, {}), BuildFrame(CMD_RESULT, ResultPayload()),
                         BuildFrame(3, {}), BuildFrame(CMD_READ_RECORD, Bytes{0, 17, 3, 5, 9, 7}),
                         WithTrailer(BuildFrame(CMD_ERASE_ALL_OK, {}), 0x77)}) {
    stream.insert(stream.end(), f.begin(), f.end());
  }
  const std::vector<uint8_t> expected{CMD_CONNECT_OK, CMD_RESULT, 3, CMD_READ_RECORD,
                                      CMD_ERASE_ALL_OK};

  std::mt19937 random(7);
  for (int trial = 0; trial < 50; ++trial) {
    seen.clear();
    receiver = FrameReceiver();
    Listen();
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
  const Bytes frame = BuildFrame(CMD_RESULT, ResultPayload());
  Feed(Bytes(frame.begin(), frame.begin() + 10));
  receiver.ResetCount();
  Feed(Bytes(frame.begin() + 10, frame.end()));
  EXPECT_TRUE(seen.empty());
  Feed(BuildFrame(CMD_CONNECT_OK, {}));
  EXPECT_EQ(Codes(), (std::vector<uint8_t>{CMD_CONNECT_OK}));
}

TEST_F(ReceiverTest, OverlongFrameIsDroppedAtItsLengthByte) {
  // L = 47 cannot be held in 48 bytes: nothing may be stored past the buffer.
  Bytes overlong{0x50, 47, CMD_RESULT};
  overlong.resize(49, 0x11);
  Feed(overlong);
  EXPECT_TRUE(seen.empty());
  EXPECT_LE(receiver.Count(), kMaxFrameBytes);
  Feed(BuildFrame(CMD_CONNECT_OK, {}));
  EXPECT_EQ(Codes(), (std::vector<uint8_t>{CMD_CONNECT_OK}));
}

TEST_F(ReceiverTest, LengthByteThatIsAHeaderOpensTheNextFrame) {
  // A lone 0x50 (noise, or a frame cut short) right before a real frame.
  Bytes stream{0x50};
  const Bytes good = BuildFrame(CMD_CONNECT_OK, {});
  stream.insert(stream.end(), good.begin(), good.end());
  Feed(stream);
  EXPECT_EQ(Codes(), (std::vector<uint8_t>{CMD_CONNECT_OK}));
}

TEST_F(ReceiverTest, LargestFrameThatFitsIsReceived) {
  const Bytes frame = BuildFrame(CMD_RESULT, Bytes(43, 0x22));
  ASSERT_EQ(frame.size(), kMaxFrameBytes);
  Feed(frame);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].size, kMaxFrameBytes);
}

TEST_F(ReceiverTest, FramesShorterThanTheirCodeReadsAreNotDispatched) {
  Feed(BuildFrame(CMD_RESULT, Bytes(18, 0)));        // needs L >= 22, has 21
  Feed(BuildFrame(CMD_RECORD_EVENT, Bytes(15, 0)));  // needs 19, has 18
  Feed(BuildFrame(CMD_READ_RECORD, Bytes(5, 0)));    // needs 9, has 8
  EXPECT_TRUE(seen.empty());
  Feed(BuildFrame(CMD_READ_RECORD, Bytes(6, 0)));
  EXPECT_EQ(Codes(), (std::vector<uint8_t>{CMD_READ_RECORD}));
}

// A frame damaged on the line costs only itself: the receiver hunts inside
// the bytes it collected for it, so the good frames around it all arrive.
TEST_F(ReceiverTest, DamagedFrameDoesNotSwallowTheFramesAfterIt) {
  Bytes payload = ResultPayload();
  payload[5] = 0x50;  // a header byte inside the data gives a false start to hunt past
  const Bytes result = BuildFrame(CMD_RESULT, payload);
  const Bytes other = DualResultBytes(-0.5f, 40.f, -0.25f, 45.f);
  auto stream = [](std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
  };
  const Bytes withoutTrailer(result.begin(), result.end() - 1);
  const Bytes firstEleven(result.begin(), result.begin() + 11);
  struct Case {
    const char* what;
    Bytes bytes;
    std::vector<Bytes> frames;
  };
  const Case cases[] = {
      {"a header and a length, then a result", stream({{0x50, 0x16}, result}), {result}},
      {"the first 11 bytes of a result, then a result", stream({firstEleven, other}), {other}},
      {"a result without its trailer, then another",
       stream({withoutTrailer, other}),
       {stream({withoutTrailer, {0x50}}), other}},
      {"a fragment, then three results",
       stream({firstEleven, result, other, result}),
       {result, other, result}},
      {"a bad checksum, then a result", stream({{0x50, 0x03, 0x02, 0xAC, 0x01}, result}), {result}},
  };
  for (const Case& c : cases) {
    seen.clear();
    receiver.ResetCount();
    Feed(c.bytes);
    ASSERT_EQ(seen.size(), c.frames.size()) << c.what;
    for (size_t i = 0; i < seen.size(); ++i) {
      EXPECT_EQ(Bytes(seen[i].bytes.begin(), seen[i].bytes.begin() + seen[i].size), c.frames[i])
          << c.what << ", frame " << i;
    }
  }
}

TEST_F(ReceiverTest, FrameCutAtAnyByteThenAGoodFrame) {
  Bytes payload = ResultPayload();
  payload[5] = 0x50;
  payload[9] = 0x50;
  const Bytes cutFrames[] = {BuildFrame(CMD_RESULT, payload), BuildFrame(CMD_CONNECT_OK, {}),
                             sim::BuildRecordEventFrame({3, 0x5050, -0.5f, 40.f, 0.7f, 1})};
  const Bytes good = DualResultBytes(-0.5f, 40.f, -0.25f, 45.f);
  for (const Bytes& cut : cutFrames) {
    for (size_t keep = 1; keep < cut.size(); ++keep) {
      seen.clear();
      Feed(Bytes(cut.begin(), cut.begin() + static_cast<long>(keep)));
      for (uint8_t b : good) {
        receiver.OnReceiveByte(b);
        ASSERT_LE(receiver.Count(), kMaxFrameBytes);
      }
      // Only the trailer missing: the frame is whole up to its checksum and the
      // good frame's header stands in for the trailer.
      const size_t expected = keep + 1 == cut.size() ? 2 : 1;
      ASSERT_EQ(seen.size(), expected) << "code " << int{cut[2]} << " cut after " << keep;
      EXPECT_TRUE(std::equal(good.begin(), good.end(), seen.back().bytes.begin()));
      EXPECT_FALSE(receiver.Started());
    }
  }
}

TEST(ReceiverDispatch, CodesWithoutAHandlerAreConsumedSilently) {
  FrameReceiver receiver;
  int connected = 0;
  receiver.SetHandler(CMD_CONNECT_OK, [&](const Frame&) { ++connected; });
  for (uint8_t b : BuildFrame(3, {})) receiver.OnReceiveByte(b);
  EXPECT_EQ(connected, 0);
  EXPECT_FALSE(receiver.Started());
  for (uint8_t b : BuildFrame(CMD_CONNECT_OK, {})) receiver.OnReceiveByte(b);
  EXPECT_EQ(connected, 1);
}

TEST(ReceiverDispatch, BytesFedWhileAHandlerRunsFormTheNextFrame) {
  // A handler that shows a message box keeps receiving underneath it.
  FrameReceiver receiver;
  std::vector<uint8_t> order;
  const Bytes eraseOk = BuildFrame(CMD_ERASE_ALL_OK, {});
  receiver.SetHandler(CMD_CONNECT_OK, [&](const Frame& frame) {
    order.push_back(frame.Code());
    for (uint8_t b : eraseOk) receiver.OnReceiveByte(b);
    EXPECT_EQ(frame.Code(), CMD_CONNECT_OK) << "the handler's frame must be its own copy";
  });
  receiver.SetHandler(CMD_ERASE_ALL_OK, [&](const Frame& frame) { order.push_back(frame.Code()); });
  for (uint8_t b : BuildFrame(CMD_CONNECT_OK, {})) receiver.OnReceiveByte(b);
  EXPECT_EQ(order, (std::vector<uint8_t>{CMD_CONNECT_OK, CMD_ERASE_ALL_OK}));
}

}  // namespace
}  // namespace orvana::protocol
