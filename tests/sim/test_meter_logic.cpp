#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <set>
#include <string>

#include "sim/command_reader.h"
#include "sim/instrument.h"
#include "sim/options.h"
#include "sim/port_link.h"
#include "sim/result_generator.h"
#include "sim/transmitter.h"
#include "sim/wire_frame.h"
#include "support/sim_harness.h"

namespace orvana::sim {
namespace {

using simtest::FromHex;
using std::chrono::milliseconds;

TEST(MeterFrames, AreBuiltByteForByte) {
  EXPECT_EQ(BuildFrame(Code::kConnectOk), FromHex("50 03 02 AB 01"));
  EXPECT_EQ(BuildFrame(Code::kEraseAllOk), FromHex("50 03 0A A3 01"));
  // The keep-alive carries the header byte as its code too.
  EXPECT_EQ(BuildFrame(Code::kKeepAlive), FromHex("50 03 50 5D 01"));

  EXPECT_EQ(BuildResultFrame({.dual = true,
                              .wavelengthCode = 9,
                              .a = -0.21f,
                              .b = 56.3f,
                              .c = -0.35f,
                              .d = 54.0f,
                              .record = true}),
            FromHex("50 16 51 01 00 3D 0A 57 BE 33 33 61 42 33 33 B3 BE 00 00 58 42 01 71 01"));
  EXPECT_EQ(BuildResultFrame({.dual = false,
                              .wavelengthCode = 5,
                              .a = 0.0f,
                              .b = 57.0f,
                              .c = 0.0f,
                              .d = -0.12f,
                              .record = false}),
            FromHex("50 16 51 00 05 00 00 00 00 00 00 64 42 00 00 00 00 8F C2 F5 BD 00 9B 01"));

  StoredRecord record{.year = 17, .month = 3, .day = 5, .hour = 9, .minute = 7, .events = {}};
  EXPECT_EQ(BuildRecordHeaderFrame(record), FromHex("50 09 30 00 11 03 05 09 07 4E 01"));
  EXPECT_EQ(BuildRecordEventFrame({.number = -1,
                                   .distance = -2,
                                   .loss = 0.5f,
                                   .reflectance = -40.0f,
                                   .totalLoss = 1.25f,
                                   .type = 1}),
            FromHex("50 13 31 FF FE FF 00 00 00 3F 00 00 20 C2 00 00 A0 3F 01 6F 01"));

  const Bytes overlong = BuildOverlongFrame(47);
  ASSERT_EQ(overlong.size(), 49u);
  EXPECT_EQ(overlong[1], 47);
  EXPECT_EQ(overlong[47], 0x30);  // a correct checksum: only the length is wrong
  EXPECT_THROW(BuildOverlongFrame(46), std::invalid_argument);
}

TEST(CommandReader, FindsCommandsInANoisyStream) {
  CommandReader reader;
  std::vector<Bytes> got;
  auto feed = [&](const Bytes& bytes) {
    for (const uint8_t b : bytes) {
      if (auto frame = reader.Feed(b)) got.push_back(*frame);
    }
  };
  // Leading noise, then a greeting.
  feed(FromHex("00 13 50 03 01 AC 01"));
  // A checksum one off is dropped, the upload right after it is not.
  feed(FromHex("50 03 01 AD 01 50 03 30 7D 01"));
  // Lengths the meter cannot hold are dropped at once, without eating what follows.
  feed(FromHex("50 02 50 2F 50 03 09 A4 01"));
  // A frame in dribs and drabs is still one frame.
  for (const uint8_t b : FromHex("50 03 50 5D 01")) feed(Bytes{b});

  ASSERT_EQ(got.size(), 4u);
  EXPECT_EQ(got[0], FromHex("50 03 01 AC 01"));
  EXPECT_EQ(got[1], FromHex("50 03 30 7D 01"));
  EXPECT_EQ(got[2], FromHex("50 03 09 A4 01"));
  EXPECT_EQ(got[3], FromHex("50 03 50 5D 01"));
  EXPECT_EQ(reader.Rejected(), 3u);
}

TEST(Instrument, AnswersEachCommandAndKeepsItsRecords) {
  Instrument meter;
  EXPECT_EQ(meter.Answer(FromHex("50 03 01 AC 01")), std::vector<Bytes>{FromHex("50 03 02 AB 01")});
  EXPECT_TRUE(meter.Answer(FromHex("50 03 50 5D 01")).empty());
  EXPECT_TRUE(meter.Answer(FromHex("50 03 03 AA 01")).empty());
  // Nothing stored: an upload yields nothing at all.
  EXPECT_TRUE(meter.Answer(FromHex("50 03 30 7D 01")).empty());

  EXPECT_FALSE(meter.StoreEvent({}));
  meter.StoreRecord({.year = 17, .month = 3, .day = 5, .hour = 9, .minute = 7, .events = {}});
  ASSERT_TRUE(meter.StoreEvent({.number = -1,
                                .distance = -2,
                                .loss = 0.5f,
                                .reflectance = -40.0f,
                                .totalLoss = 1.25f,
                                .type = 1}));
  meter.StoreRecord({.year = 24, .month = 11, .day = 2, .hour = 0, .minute = 5, .events = {}});

  const std::vector<Bytes> upload = meter.Answer(FromHex("50 03 30 7D 01"));
  ASSERT_EQ(upload.size(), 3u);
  EXPECT_EQ(upload[0], FromHex("50 09 30 00 11 03 05 09 07 4E 01"));
  EXPECT_EQ(upload[1], FromHex("50 13 31 FF FE FF 00 00 00 3F 00 00 20 C2 00 00 A0 3F 01 6F 01"));
  EXPECT_EQ(upload[2], FromHex("50 09 30 00 18 0B 02 00 05 4D 01"));

  EXPECT_EQ(meter.Answer(FromHex("50 03 09 A4 01")), std::vector<Bytes>{FromHex("50 03 0A A3 01")});
  EXPECT_TRUE(meter.Records().empty());
  EXPECT_TRUE(meter.Answer(FromHex("50 03 30 7D 01")).empty());
}

// Everything the transmitter would write, segment by segment, with its pause.
std::vector<std::pair<Bytes, milliseconds>> Segments(Transmitter& out) {
  std::vector<std::pair<Bytes, milliseconds>> segments;
  while (out.HasPending()) {
    const milliseconds pause = out.PauseBeforeNext();
    const auto bytes = out.NextBytes();
    segments.emplace_back(Bytes(bytes.begin(), bytes.end()), pause);
    out.Consumed(bytes.size());
  }
  return segments;
}

TEST(Transmitter, InjectsTheFaultsAskedFor) {
  Transmitter out(1);
  out.CorruptNextChecksum();
  out.SendRaw(FromHex("50 03 02 AB 01"));  // raw bytes are never touched
  out.SendFrame(BuildFrame(Code::kConnectOk));
  out.SendFrame(BuildFrame(Code::kConnectOk));
  out.SendGarbage(300);
  auto segments = Segments(out);
  ASSERT_EQ(segments.size(), 4u);
  EXPECT_EQ(segments[0].first, FromHex("50 03 02 AB 01"));
  EXPECT_EQ(segments[1].first, FromHex("50 03 02 AC 01"));
  EXPECT_EQ(segments[2].first, FromHex("50 03 02 AB 01"));
  EXPECT_EQ(segments[3].first.size(), 300u);
  EXPECT_EQ(std::count(segments[3].first.begin(), segments[3].first.end(), 0x50), 0);

  out.SetSplit(milliseconds(7));
  out.SendFrame(BuildFrame(Code::kEraseAllOk));
  out.SetSplit(milliseconds(0));
  out.SendFrame(BuildFrame(Code::kConnectOk));
  segments = Segments(out);
  ASSERT_EQ(segments.size(), 6u);
  for (size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(segments[i].first, Bytes{FromHex("50 03 0A A3 01")[i]});
    EXPECT_EQ(segments[i].second, milliseconds(i == 0 ? 0 : 7));
  }
  EXPECT_EQ(segments[5].first, FromHex("50 03 02 AB 01"));
}

TEST(Transmitter, ResumesAPartialWriteWhereItStopped) {
  Transmitter out(1);
  out.SetSplit(milliseconds(0));
  out.SendFrame(BuildFrame(Code::kConnectOk));
  out.Consumed(2);
  const auto rest = out.NextBytes();
  EXPECT_EQ(Bytes(rest.begin(), rest.end()), FromHex("02 AB 01"));
  out.Consumed(3);
  EXPECT_FALSE(out.HasPending());
}

TEST(ResultGenerator, ScattersAroundTheThresholdsAndRepeatsWithItsSeed) {
  ResultGenerator first(42), again(42), other(43);
  int ilPass = 0, ilFail = 0, rlPass = 0, rlFail = 0, shown = 0;
  std::set<int> singleCodes;
  bool differs = false;
  for (int i = 0; i < 400; ++i) {
    const ResultValues r = first.Next();
    EXPECT_EQ(BuildResultFrame(r), BuildResultFrame(again.Next()));
    differs = differs || BuildResultFrame(r) != BuildResultFrame(other.Next());
    const float il = r.dual ? r.a : r.d;
    (il < -0.3f ? ilFail : ilPass)++;
    (r.b < 55.0f ? rlFail : rlPass)++;
    EXPECT_GE(il, -0.5f);
    EXPECT_LE(il, 0.0f);
    EXPECT_GE(r.b, 45.0f);
    EXPECT_LE(r.b, 65.0f);
    // Values sit on the grid the program prints them with.
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", static_cast<double>(il));
    EXPECT_FLOAT_EQ(std::stof(text), il);
    std::snprintf(text, sizeof text, "%.1f", static_cast<double>(r.b));
    EXPECT_FLOAT_EQ(std::stof(text), r.b);
    if (!r.dual) singleCodes.insert(r.wavelengthCode);
    if (!r.record) ++shown;
  }
  EXPECT_TRUE(differs);
  EXPECT_GT(ilPass, 40);
  EXPECT_GT(ilFail, 40);
  EXPECT_GT(rlPass, 40);
  EXPECT_GT(rlFail, 40);
  EXPECT_EQ(singleCodes, (std::set<int>{1, 5}));
  EXPECT_GT(shown, 0);
  EXPECT_LT(shown, 200);
}

Options Parse(std::vector<std::string_view> args) { return ParseOptions(args); }

TEST(Options, ChooseDemoOrScriptAndRejectNonsense) {
  const Options bare = Parse({});
  EXPECT_TRUE(bare.PlaysDemo());
  EXPECT_EQ(bare.ResultInterval(), milliseconds(1500));

  const Options scripted = Parse({"--stdin", "--link", "/tmp/x/ttySIM0", "--seed=9"});
  EXPECT_FALSE(scripted.PlaysDemo());
  EXPECT_EQ(scripted.ResultInterval(), milliseconds(0));
  EXPECT_EQ(scripted.linkPath, "/tmp/x/ttySIM0");
  EXPECT_EQ(scripted.seed, 9u);

  const Options periodic = Parse({"--script", "s.txt", "--interval-ms=250"});
  EXPECT_EQ(periodic.scriptPath, "s.txt");
  EXPECT_EQ(periodic.ResultInterval(), milliseconds(250));
  EXPECT_EQ(Parse({"--demo", "--interval-ms", "0"}).ResultInterval(), milliseconds(0));

  EXPECT_THROW(Parse({"--script", "a", "--stdin"}), std::invalid_argument);
  EXPECT_THROW(Parse({"--interval-ms", "fast"}), std::invalid_argument);
  EXPECT_THROW(Parse({"--interval-ms"}), std::invalid_argument);
  EXPECT_THROW(Parse({"--seed", "-1"}), std::invalid_argument);
  EXPECT_THROW(Parse({"--stdin=yes"}), std::invalid_argument);
  EXPECT_THROW(Parse({"--colour"}), std::invalid_argument);
}

std::string LinkTarget(const std::string& path) {
  std::error_code error;
  const auto target = std::filesystem::read_symlink(path, error);
  return error ? std::string() : target.string();
}

TEST(PortLink, MakesReplacesAndRemovesOnlyItsOwnLink) {
  simtest::TempDir dir;
  const std::string path = dir.Path() + "/ports/deeper/ttySIM0";
  {
    PortLink link(path, "/dev/pts/98");
    EXPECT_EQ(LinkTarget(path), "/dev/pts/98");
  }
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(path)));

  // A link left behind by a killed run is taken over.
  std::filesystem::create_symlink("/dev/pts/97", path);
  {
    PortLink link(path, "/dev/pts/98");
    EXPECT_EQ(LinkTarget(path), "/dev/pts/98");
    // Someone else has pointed the name elsewhere since: theirs now.
    std::filesystem::remove(path);
    std::filesystem::create_symlink("/dev/pts/96", path);
  }
  EXPECT_EQ(LinkTarget(path), "/dev/pts/96");

  // A real file under that name is never clobbered.
  const std::string file = dir.Write("ttySIM1", "keep me");
  EXPECT_THROW(PortLink(file, "/dev/pts/98"), std::runtime_error);
  EXPECT_EQ(testing::ReadFile(file), "keep me");
}

}  // namespace
}  // namespace orvana::sim
