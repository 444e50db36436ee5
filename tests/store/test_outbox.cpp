// The outbox on the bench's disk: its lines read back as the results they
// were, whatever the texts hold, and a torn line is never read as a result;
// the forwarder's marks survive a restart and never skip a result.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <limits>
#include <memory>

#include "store/outbox.h"
#include "store/outbox_line.h"
#include "support/temp_folder.h"

namespace orvana::store {
namespace {

using testing::ReadFile;
using testing::TempFolder;
using testing::WriteFile;

StoredResult Result(const std::string& key, const std::string& serial = "SN-1") {
  StoredResult r;
  r.key = key;
  r.bench = "bench 7";
  r.serial = serial;
  r.timeText = "2026/12/09 05:18:41";
  r.recordedAt = "2026-12-09T05:18:41+01:00";
  r.texts = {"-0.21", "56.3", "", ""};
  r.values = {-0.21f, 56.3f, std::nullopt, std::nullopt};
  r.passed = {true, false, std::nullopt, std::nullopt};
  r.thresholds = {-0.3f, 55.0f, -0.3f, 55.0f};
  r.wavelengths = "1310nm/1625nm";
  r.productNumber = "P-4711";
  return r;
}

TEST(OutboxLine, EveryTextComesBackAsWrittenAndEveryTornLineIsRefused) {
  StoredResult r = Result("r:00ff");
  r.serial = "a\tb\\nc\nd\re \\";  // the escapes' own characters, raw and escaped
  r.deviceName = "光纤跳线";
  r.orderNumber = "4711\\t";
  r.values[2] = std::numeric_limits<float>::infinity();
  r.thresholds[3] = -std::numeric_limits<float>::infinity();
  r.values[3] = 1e-38f;  // needs its exponent, and every digit, to read back exactly
  const std::string line = FormatOutboxLine(r);
  EXPECT_EQ(line.find_first_of(std::string("\n\r\0", 3)), std::string::npos);
  const auto back = ParseOutboxLine(line);
  ASSERT_TRUE(back);
  EXPECT_EQ(*back, r);

  // NaN is no number the comparison above can check.
  r.values[0] = std::nanf("");
  const auto nan = ParseOutboxLine(FormatOutboxLine(r));
  ASSERT_TRUE(nan && nan->values[0]);
  EXPECT_TRUE(std::isnan(*nan->values[0]));

  // A crash cuts a line short; no part of one may pass for a result.
  for (size_t size = 0; size < line.size(); ++size) {
    EXPECT_FALSE(ParseOutboxLine(line.substr(0, size))) << size;
  }
  EXPECT_FALSE(ParseOutboxLine(line + "\textra"));
  EXPECT_FALSE(ParseOutboxLine("2" + line.substr(1)));  // another version's line
}

TEST(OutboxLine, TextsAreMadeStorableForTheDatabase) {
  // Old logs and scanners bring bytes that are no UTF-8, and NULs, which a
  // database text column refuses; they must not hold the outbox up.
  EXPECT_EQ(StorableText("SN\xFF\xFE-1"), "SN\xEF\xBF\xBD\xEF\xBF\xBD-1");
  EXPECT_EQ(StorableText(std::string("a\0b", 3)), "a b");
  const std::string wide(2000, '\xE5');  // a broken lead byte each
  EXPECT_LE(StorableText(wide).size(), kLongestStoredText);
  const std::string chinese = std::string(kLongestStoredText - 1, 'x') + "光";
  EXPECT_EQ(StorableText(chinese),
            std::string(kLongestStoredText - 1, 'x'));  // never half a character
}

class OutboxFiles : public ::testing::Test {
 protected:
  std::string Path(const std::string& name) const { return m_folder.Path() + "/" + name; }
  void Append(const std::string& name, const std::string& bytes) {
    WriteFile(Path(name), ReadFile(Path(name)) + bytes);
  }
  static std::string Line(const std::string& key) { return FormatOutboxLine(Result(key)) + "\n"; }
  static std::vector<std::string> Keys(const OutboxBatch& batch) {
    std::vector<std::string> keys;
    for (const StoredResult& r : batch.results) keys.push_back(r.key);
    return keys;
  }

  TempFolder m_folder;
};

TEST_F(OutboxFiles, BatchesGoOldestDayFirstAndOnlyWholeLinesAreRead) {
  Append("20261208.outbox", Line("r:1") + Line("r:2"));
  Append("20261209.outbox", Line("r:3") + FormatOutboxLine(Result("r:4")).substr(0, 40));
  OutboxReader reader(m_folder.Path());
  OutboxBatch first = reader.Next(3);
  EXPECT_EQ(Keys(first), (std::vector<std::string>{"r:1", "r:2", "r:3"}));
  // Until it is committed, the same batch is read again (a send that failed).
  EXPECT_EQ(Keys(reader.Next(3)), Keys(first));
  reader.Commit(first, true);
  // The line being written is not read until it is whole.
  EXPECT_TRUE(reader.Next(10).Empty());
  Append("20261209.outbox", FormatOutboxLine(Result("r:4")).substr(40) + "\n");
  EXPECT_EQ(Keys(reader.Next(10)), (std::vector<std::string>{"r:4"}));
  // The older day, sent whole, is gone; the newest stays for the writer.
  EXPECT_FALSE(std::filesystem::exists(Path("20261208.outbox")));
  EXPECT_FALSE(std::filesystem::exists(Path("20261208.outbox.sent")));
  EXPECT_TRUE(std::filesystem::exists(Path("20261209.outbox")));
}

TEST_F(OutboxFiles, MarksSurviveARestartAndABrokenMarkSendsAgainRatherThanSkip) {
  Append("20261209.outbox", Line("r:1") + Line("r:2"));
  {
    OutboxReader reader(m_folder.Path());
    OutboxBatch batch = reader.Next(1);
    reader.Commit(batch, true);
  }
  Append("20261209.outbox", Line("r:3"));
  OutboxReader restarted(m_folder.Path());
  EXPECT_EQ(restarted.CountUnsent(), 2u);
  EXPECT_EQ(Keys(restarted.Next(10)), (std::vector<std::string>{"r:2", "r:3"}));

  // A mark that points past its file (the file was replaced) or is garbage
  // means the whole file again: the database keeps one copy, nothing is lost.
  WriteFile(Path("20261209.outbox.sent"), "00000000000000099999\n");
  EXPECT_EQ(OutboxReader(m_folder.Path()).Next(10).results.size(), 3u);
  WriteFile(Path("20261209.outbox.sent"), "garbage");
  EXPECT_EQ(OutboxReader(m_folder.Path()).Next(10).results.size(), 3u);
}

TEST_F(OutboxFiles, AFileReplacedOrTruncatedUnderItsMarkIsReadFromItsStartAndTold) {
  Append("20261209.outbox", Line("r:1") + Line("r:2") + Line("r:3"));
  for (const bool restart : {false, true}) {
    auto reader = std::make_unique<OutboxReader>(m_folder.Path());
    OutboxBatch sent = reader->Next(10);
    reader->Commit(sent, true);
    // Another file under the name, longer than the mark: never skipped into.
    std::filesystem::remove(Path("20261209.outbox"));
    Append("20261209.outbox", Line("r:10") + Line("r:11") + Line("r:12") + Line("r:13"));
    if (restart) reader = std::make_unique<OutboxReader>(m_folder.Path());
    sent = reader->Next(10);
    EXPECT_EQ(Keys(sent), (std::vector<std::string>{"r:10", "r:11", "r:12", "r:13"}));
    EXPECT_EQ(reader->TakeChangedFiles(), std::vector<std::string>{Path("20261209.outbox")});
    // Truncated and written again past where the mark stood.
    reader->Commit(sent, true);
    WriteFile(Path("20261209.outbox"),
              Line("r:20") + Line("r:21") + Line("r:22") + Line("r:23") + Line("r:24"));
    EXPECT_EQ(reader->CountUnsent(), 5u);
    EXPECT_EQ(reader->TakeChangedFiles().size(), 1u);
    WriteFile(Path("20261209.outbox"), Line("r:1") + Line("r:2") + Line("r:3"));
    std::filesystem::remove(Path("20261209.outbox.sent"));
  }
}

TEST_F(OutboxFiles, ATornLineIsSetAsideAndTheResultsAfterItStillGo) {
  // A power cut leaves NULs where a line was being written; the next run
  // appends after them.
  Append("20261209.outbox", Line("r:1") + FormatOutboxLine(Result("r:2")).substr(0, 30) +
                                std::string(12, '\0') + Line("r:3"));
  OutboxReader reader(m_folder.Path());
  const OutboxBatch batch = reader.Next(10);
  EXPECT_EQ(Keys(batch), (std::vector<std::string>{"r:1", "r:3"}));
  ASSERT_EQ(batch.malformed.size(), 1u);
  EXPECT_EQ(batch.lines.size(), 2u);
}

TEST_F(OutboxFiles, TheWriterAppendsWholeLinesTheReaderTakes) {
  {
    OutboxWriter writer(m_folder.Path() + "/outbox");
    writer.Append({2026, 12, 9, 5, 18, 41}, Result("r:a", "SN\twith\ttabs"));
    writer.Append({2026, 12, 10, 0, 0, 1}, Result("r:b"));
  }
  OutboxReader reader(m_folder.Path() + "/outbox");
  const OutboxBatch batch = reader.Next(10);
  ASSERT_EQ(batch.results.size(), 2u);
  EXPECT_EQ(batch.results[0].serial, "SN\twith\ttabs");
  EXPECT_TRUE(std::filesystem::exists(m_folder.Path() + "/outbox/20261210.outbox"));
}

}  // namespace
}  // namespace orvana::store
