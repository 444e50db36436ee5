#include <gtest/gtest.h>
#include <poll.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <string>

#include "support/sim_harness.h"

// The real orvana-sim, driven from outside exactly as the program and the
// end-to-end tests will drive it. Every expected frame is written out by hand.
namespace orvana::simtest {
namespace {

const Bytes kGreeting = FromHex("50 03 01 AC 01");
const Bytes kErase = FromHex("50 03 09 A4 01");
const Bytes kUpload = FromHex("50 03 30 7D 01");
const Bytes kKeepAlive = FromHex("50 03 50 5D 01");
const Bytes kGreetingAnswer = FromHex("50 03 02 AB 01");
const Bytes kEraseAnswer = FromHex("50 03 0A A3 01");
const Bytes kDualResult =
    FromHex("50 16 51 01 00 3D 0A 57 BE 33 33 61 42 33 33 B3 BE 00 00 58 42 01 71 01");
const char* const kDualLine = "result dual -0.21 56.3 -0.35 54.0 record\n";
// Arrives only after everything queued before it: lets a test wait for the
// script to get that far. Receivers skip a zero before a frame.
const Bytes kMarker = FromHex("00");
const milliseconds kQuiet(300);

// A simulator fed from the test's own input, and the line it announced.
struct Driven {
  explicit Driven(std::vector<std::string> extra = {}) : sim(With(std::move(extra))) {
    path = sim.FirstLine();
    if (path.empty()) throw std::runtime_error("orvana-sim printed no port");
    line = std::make_unique<SerialEnd>(path);
  }
  static std::vector<std::string> With(std::vector<std::string> extra) {
    extra.insert(extra.begin(), "--stdin");
    return extra;
  }
  SimProcess sim;
  std::string path;
  std::unique_ptr<SerialEnd> line;
};

TEST(SimProgram, AnswersTheFourCommandsByteForByte) {
  Driven meter;
  meter.line->Write(kGreeting);
  EXPECT_EQ(meter.line->Read(5), kGreetingAnswer);
  meter.line->Write(kKeepAlive);
  EXPECT_EQ(meter.line->Drain(kQuiet), Bytes{});
  meter.line->Write(kErase);
  EXPECT_EQ(meter.line->Read(5), kEraseAnswer);
  // Nothing stored: the upload is answered with silence.
  meter.line->Write(kUpload);
  EXPECT_EQ(meter.line->Drain(kQuiet), Bytes{});
  // A command with a bad checksum is ignored; the good one after it is not,
  // even when it comes in pieces behind some noise.
  meter.line->Write(FromHex("13 50 03 01 AD 01 00 50 03"));
  meter.line->Write(FromHex("01 AC 01"));
  EXPECT_EQ(meter.line->Drain(kQuiet), kGreetingAnswer);
}

TEST(SimProgram, UploadsEachStoredRecordAndEraseForgetsThem) {
  TempDir dir;
  const std::string script = dir.Write("records.txt",
                                       "store-record 17 3 5 9 7\n"
                                       "store-event -1 -2 0.5 -40 1.25 1\n"
                                       "store-event 0 1250 0.18 -52.3 0.62 2\n"
                                       "store-record 24 11 2 0 5\n");
  SimProcess sim({"--script", script});
  SerialEnd line(sim.FirstLine());
  line.Write(kUpload);
  const std::vector<Bytes> frames = ReadFrames(line, 4);
  ASSERT_EQ(frames.size(), 4u);
  EXPECT_EQ(ToHex(frames[0]), "50 09 30 00 11 03 05 09 07 4E 01");
  EXPECT_EQ(ToHex(frames[1]), "50 13 31 FF FE FF 00 00 00 3F 00 00 20 C2 00 00 A0 3F 01 6F 01");
  EXPECT_EQ(ToHex(frames[2]), "50 13 31 00 E2 04 EC 51 38 3E 33 33 51 C2 52 B8 1E 3F 02 F1 01");
  EXPECT_EQ(ToHex(frames[3]), "50 09 30 00 18 0B 02 00 05 4D 01");
  EXPECT_EQ(line.Drain(kQuiet), Bytes{});

  // Uploading again gives the same records again: an upload is no erase.
  line.Write(kUpload);
  EXPECT_EQ(ReadFrames(line, 4), frames);

  line.Write(kErase);
  EXPECT_EQ(line.Read(5), kEraseAnswer);
  line.Write(kUpload);
  EXPECT_EQ(line.Drain(kQuiet), Bytes{});
}

TEST(SimProgram, DemoHasARecordToUploadAndSendsResults) {
  SimProcess sim({"--interval-ms", "100", "--seed", "3"});
  SerialEnd line(sim.FirstLine());
  line.Write(kGreeting);
  line.Write(kUpload);
  int headers = 0, events = 0, results = 0, greetings = 0;
  for (const Bytes& frame : ReadFrames(line, 8)) {
    ASSERT_GE(frame.size(), 5u);
    headers += frame[2] == 0x30;
    events += frame[2] == 0x31;
    results += frame[2] == 0x51;
    greetings += frame == kGreetingAnswer;
  }
  EXPECT_EQ(greetings, 1);
  EXPECT_EQ(headers, 1);
  EXPECT_EQ(events, 3);
  EXPECT_EQ(results, 3);
}

TEST(SimProgram, PeriodicResultsAreWellFormedAndFollowTheSeed) {
  auto firstResults = [](const char* seed) {
    Driven meter({"--interval-ms", "20", "--seed", seed});
    return ReadFrames(*meter.line, 5);
  };
  const std::vector<Bytes> first = firstResults("11");
  ASSERT_EQ(first.size(), 5u);
  for (const Bytes& frame : first) {
    ASSERT_EQ(frame.size(), 24u) << ToHex(frame);
    EXPECT_EQ(frame[1], 0x16);
    EXPECT_EQ(frame[2], 0x51);
    unsigned sum = 0;
    for (size_t i = 0; i <= 22; ++i) sum += frame[i];
    EXPECT_EQ(sum % 256, 0u) << ToHex(frame);
    EXPECT_EQ(frame[23], 0x01);
  }
  EXPECT_EQ(firstResults("11"), first);
  EXPECT_NE(firstResults("12"), first);
}

TEST(SimProgram, ScriptedResultsAreByteExact) {
  Driven meter;
  meter.sim.Input(kDualLine);
  meter.sim.Input("result single 5 57.0 -0.12 show\n");
  meter.sim.Input("result single 1 57.0 -0.12\n");
  EXPECT_EQ(ToHex(meter.line->Read(24)), ToHex(kDualResult));
  EXPECT_EQ(ToHex(meter.line->Read(24)),
            "50 16 51 00 05 00 00 00 00 00 00 64 42 00 00 00 00 8F C2 F5 BD 00 9B 01");
  EXPECT_EQ(ToHex(meter.line->Read(24)),
            "50 16 51 00 01 00 00 00 00 00 00 64 42 00 00 00 00 8F C2 F5 BD 01 9E 01");
}

TEST(SimProgram, BadSumSpoilsOnlyTheNextFrame) {
  Driven meter;
  meter.sim.Input("badsum\n");
  meter.sim.Input("raw 00\n");
  EXPECT_EQ(meter.line->Read(1), kMarker);
  // The fault falls on whatever frame goes next, an answer too.
  meter.line->Write(kGreeting);
  EXPECT_EQ(ToHex(meter.line->Read(5)), "50 03 02 AC 01");
  meter.sim.Input(kDualLine);
  EXPECT_EQ(meter.line->Read(24), kDualResult);
}

TEST(SimProgram, GarbageNeverHoldsAHeaderAndTheFrameAfterItArrives) {
  Driven meter({"--seed", "5"});
  meter.sim.Input("garbage 200\n");
  meter.sim.Input(kDualLine);
  const Bytes noise = meter.line->Read(200);
  ASSERT_EQ(noise.size(), 200u);
  EXPECT_EQ(std::count(noise.begin(), noise.end(), 0x50), 0);
  EXPECT_EQ(meter.line->Read(24), kDualResult);
}

TEST(SimProgram, SplitFramesArriveWholeInManyPieces) {
  Driven meter;
  meter.sim.Input("split 15\n");
  meter.sim.Input(kDualLine);
  int pieces = 0;
  EXPECT_EQ(meter.line->ReadCountingPieces(24, pieces, milliseconds(5000)), kDualResult);
  EXPECT_GT(pieces, 1);
  // Answers are split as well, and still whole.
  meter.line->Write(kGreeting);
  EXPECT_EQ(meter.line->ReadCountingPieces(5, pieces, milliseconds(3000)), kGreetingAnswer);
}

TEST(SimProgram, OverlongFrameCarriesALengthTheProgramCannotHold) {
  Driven meter;
  meter.sim.Input("overlong\noverlong 200\n");
  const Bytes first = meter.line->Read(49);
  ASSERT_EQ(first.size(), 49u);
  EXPECT_EQ(ToHex(Bytes(first.begin(), first.begin() + 3)), "50 2F 51");
  EXPECT_EQ(first[47], 0x30);
  const Bytes second = meter.line->Read(202);
  ASSERT_EQ(second.size(), 202u);
  EXPECT_EQ(second[1], 200);
  EXPECT_EQ(meter.line->Drain(kQuiet), Bytes{});
}

TEST(SimProgram, RawBytesGoOutAsGiven) {
  Driven meter;
  meter.sim.Input("raw 50 03 02 AC 01 5003\n");
  EXPECT_EQ(ToHex(meter.line->Read(7)), "50 03 02 AC 01 50 03");
}

TEST(SimProgram, HangupLeavesTheProgramWithADeadLine) {
  TempDir dir;
  const std::string link = dir.Path() + "/ports/ttySIM0";
  Driven meter({"--link", link});
  EXPECT_EQ(std::filesystem::read_symlink(link).string(), meter.path);
  meter.sim.Input(kDualLine);
  meter.sim.Input("hangup\n");
  // What was sent before the hangup is still delivered.
  EXPECT_EQ(meter.line->Read(24), kDualResult);
  EXPECT_TRUE(meter.line->SeesHangUp(milliseconds(3000)));
  EXPECT_EQ(meter.sim.WaitExit(), 0);
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
}

TEST(SimProgram, StopSignalsEndItCleanlyAndRemoveTheLink) {
  for (const int number : {SIGTERM, SIGINT}) {
    TempDir dir;
    const std::string link = dir.Path() + "/ttySIM0";
    SimProcess sim({"--link", link});
    const std::string path = sim.FirstLine();
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(std::filesystem::read_symlink(link).string(), path);
    sim.Signal(number);
    EXPECT_EQ(sim.WaitExit(), 0) << number;
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link))) << number;
  }
}

TEST(SimProgram, EndOfInputEndsARunFedFromStdin) {
  Driven meter;
  meter.sim.Input(kDualLine);
  meter.sim.CloseInput();
  EXPECT_EQ(meter.line->Read(24), kDualResult);
  EXPECT_EQ(meter.sim.WaitExit(), 0);
}

TEST(SimProgram, ABadInputLineIsReportedAndSkipped) {
  Driven meter;
  meter.sim.Input("wait 1\nresult dual 1 2 3\nraw 00\n");
  EXPECT_EQ(meter.line->Read(1), kMarker);
  meter.sim.CloseInput();
  EXPECT_EQ(meter.sim.WaitExit(), 0);
  const std::string errors = meter.sim.ErrorText();
  EXPECT_NE(errors.find("line 2: result: usage"), std::string::npos) << errors;
}

TEST(SimProgram, ABadScriptFileStopsItBeforeAnyPortAppears) {
  TempDir dir;
  const std::string script = dir.Write("bad.txt", "badsum\n\nwait forever\n");
  SimProcess sim({"--script", script, "--link", dir.Path() + "/ttySIM0"});
  EXPECT_EQ(sim.WaitExit(), 2);
  EXPECT_EQ(sim.FirstLine(milliseconds(100)), "");
  const std::string errors = sim.ErrorText();
  EXPECT_NE(errors.find("line 3: wait: MS must be a whole number"), std::string::npos) << errors;
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(dir.Path() + "/ttySIM0")));

  SimProcess wrong({"--bogus"});
  EXPECT_EQ(wrong.WaitExit(), 2);
  EXPECT_NE(wrong.ErrorText().find("unknown option '--bogus'"), std::string::npos);
}

}  // namespace
}  // namespace orvana::simtest
