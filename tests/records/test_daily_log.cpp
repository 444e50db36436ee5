#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <optional>
#include <sstream>
#include <thread>
#include <vector>

#include "common/fifo_trap.h"
#include "common/temp_folder.h"
#include "common/trace.h"
#include "records/daily_log.h"

namespace orvana::records {
namespace {

using testing::ReadFile;
using testing::TempFolder;
using testing::WriteFile;
using Texts = std::array<std::string, 4>;

constexpr common::LocalTime kMay3{2017, 5, 3, 12, 34, 56};
const Texts kDualTexts{"-0.12", "55.3", "-0.20", "56.1"};
const std::string kExampleLine =
    "A17050301   -0.12   55.3   -0.20   56.1   2017/05/03 12:34:56\r\r\n";

void AppendExample(DailyLog& log, const std::string& serial = "A17050301") {
  log.Append(kMay3, serial, kDualTexts, "2017/05/03 12:34:56");
}

// Waits for the background writer; never used to judge speed.
bool EventuallyNoPending(const DailyLog& log) {
  for (int i = 0; i < 500 && log.PendingLines() != 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return log.PendingLines() == 0;
}

TEST(LogLine, FieldsJoinedByThreeSpaces) {
  EXPECT_EQ(FormatLogLine("A17050301", kDualTexts, "2017/05/03 12:34:56"),
            "A17050301   -0.12   55.3   -0.20   56.1   2017/05/03 12:34:56");
  // Empty value fields leave their separators next to each other.
  EXPECT_EQ(FormatLogLine("****", {"-0.12", "57.0", "", ""}, "2017/05/03 12:34:56"),
            "****   -0.12   57.0         2017/05/03 12:34:56");
  EXPECT_EQ(FormatLogLine("****", {"", "", "-0.12", "57.0"}, "T"), "****         -0.12   57.0   T");
}

TEST(LogLine, FileNamedAfterTheDate) {
  EXPECT_EQ(LogFilePath("/data/Savetemp", kMay3), "/data/Savetemp/20170503.txt");
  EXPECT_EQ(LogFilePath("/data/Savetemp/", {2024, 12, 1, 0, 0, 0}), "/data/Savetemp/20241201.txt");
}

TEST(DailyLogFile, LineStoredWithItsBytesInTheDaysFile) {
  TempFolder folder;
  {
    DailyLog log(folder.Path());
    AppendExample(log);
    EXPECT_EQ(log.PendingLines(), 0u);
    EXPECT_EQ(ReadFile(folder / "20170503.txt"), kExampleLine) << "on disk before the log closes";
  }
  EXPECT_EQ(ReadFile(folder / "20170503.txt"), kExampleLine);
}

TEST(DailyLogFile, LinesKeepTheirOrderAndMidnightStartsTheNextFile) {
  TempFolder folder;
  DailyLog log(folder.Path());
  log.Append({2017, 5, 3, 23, 59, 58}, "first", kDualTexts, "2017/05/03 23:59:58");
  log.Append({2017, 5, 3, 23, 59, 59}, "second", kDualTexts, "2017/05/03 23:59:59");
  log.Append({2017, 5, 4, 0, 0, 5}, "third", kDualTexts, "2017/05/04 00:00:05");
  EXPECT_EQ(ReadFile(folder / "20170503.txt"),
            "first   -0.12   55.3   -0.20   56.1   2017/05/03 23:59:58\r\r\n"
            "second   -0.12   55.3   -0.20   56.1   2017/05/03 23:59:59\r\r\n");
  EXPECT_EQ(ReadFile(folder / "20170504.txt"),
            "third   -0.12   55.3   -0.20   56.1   2017/05/04 00:00:05\r\r\n");
}

TEST(DailyLogFile, ExistingFileIsAppendedToNeverTruncated) {
  TempFolder folder;
  const std::string earlier = "from an earlier run\r\r\n";
  WriteFile(folder / "20170503.txt", earlier);
  {
    DailyLog log(folder.Path());
    AppendExample(log);
  }
  DailyLog again(folder.Path());
  AppendExample(again, "B");
  EXPECT_EQ(ReadFile(folder / "20170503.txt"),
            earlier + kExampleLine + "B" + kExampleLine.substr(9));
}

TEST(DailyLogFile, MissingFolderIsCreated) {
  TempFolder folder;
  const std::string nested = folder / "run/Savetemp";
  DailyLog log(nested);
  AppendExample(log);
  EXPECT_EQ(ReadFile(nested + "/20170503.txt"), kExampleLine);
}

TEST(DailyLogFile, FileReplacedUnderneathGetsTheNextLine) {
  TempFolder folder;
  DailyLog log(folder.Path());
  AppendExample(log, "one");
  std::filesystem::rename(folder / "20170503.txt", folder / "moved.txt");
  AppendExample(log, "two");
  EXPECT_EQ(ReadFile(folder / "20170503.txt"), "two" + kExampleLine.substr(9));
  EXPECT_EQ(ReadFile(folder / "moved.txt"), "one" + kExampleLine.substr(9));
}

TEST(DailyLogFile, BurstWakesTheFlusherOnlyWhenItHadNothingToFlush) {
  TempFolder folder;
  DailyLog log(folder.Path());
  constexpr int kLines = 300;
  for (int i = 0; i < kLines; ++i) AppendExample(log);
  // The first line wakes it, and one after each flush it completes; a wake per
  // line would cost a futex call per result.
  const size_t afterBurst = log.FlusherWakeups();
  EXPECT_GE(afterBurst, 1u);
  EXPECT_LE(afterBurst, 4u);
  // Once the flusher has flushed and gone idle, the next line wakes it again.
  size_t lines = kLines;
  bool wokenAgain = false;
  while (lines < kLines + 60 && !wokenAgain) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    AppendExample(log);
    ++lines;
    wokenAgain = log.FlusherWakeups() > afterBurst;
  }
  EXPECT_TRUE(wokenAgain);
  EXPECT_EQ(ReadFile(folder / "20170503.txt").size(), lines * kExampleLine.size());
}

// The log's folder is blocked by a file of that name: opening fails even for
// root, and removing the file makes the folder writable again.
class UnwritableLog : public ::testing::Test {
 protected:
  UnwritableLog() { WriteFile(blocked, "not a folder"); }
  TempFolder folder;
  const std::string blocked = folder / "Savetemp";
};

TEST_F(UnwritableLog, LineIsKeptTracedAndWrittenFirstOnceWritable) {
  DailyLog log(blocked);
  {
    common::TraceCapture trace;
    AppendExample(log, "kept");
    EXPECT_EQ(log.PendingLines(), 1u);
    EXPECT_TRUE(trace.Contains("Can't open file " + blocked +
                               "/20170503.txt,error=" + std::to_string(ENOTDIR) + "\n"))
        << trace.Text();
  }
  std::filesystem::remove(blocked);
  AppendExample(log, "next");
  EXPECT_EQ(log.PendingLines(), 0u);
  EXPECT_EQ(ReadFile(blocked + "/20170503.txt"),
            "kept" + kExampleLine.substr(9) + "next" + kExampleLine.substr(9));
}

TEST_F(UnwritableLog, KeptLineGoesOutWithoutWaitingForAnotherResult) {
  common::TraceCapture quiet;
  DailyLog log(blocked);
  AppendExample(log);
  ASSERT_EQ(log.PendingLines(), 1u);
  std::filesystem::remove(blocked);
  EXPECT_TRUE(EventuallyNoPending(log));
  EXPECT_EQ(ReadFile(blocked + "/20170503.txt"), kExampleLine);
}

TEST_F(UnwritableLog, ClosingTheLogWritesWhatIsStillKept) {
  common::TraceCapture quiet;
  {
    DailyLog log(blocked);
    AppendExample(log);
    std::filesystem::remove(blocked);
    std::filesystem::create_directory(blocked);
  }
  EXPECT_EQ(ReadFile(blocked + "/20170503.txt"), kExampleLine);
}

TEST(DailyLogFile, DaysFileThatIsAFifoKeepsTheLineWithoutWaiting) {
  TempFolder folder;
  DailyLog log(folder.Path());
  std::optional<testing::FifoTrap> fifo(std::in_place, folder / "20170503.txt");
  {
    common::TraceCapture trace;
    EXPECT_FALSE(fifo->Run([&] { AppendExample(log, "kept"); })) << "opening the FIFO blocked";
    EXPECT_EQ(log.PendingLines(), 1u);
    EXPECT_TRUE(trace.Contains("Can't open file " + fifo->Path() + ": not a regular file"))
        << trace.Text();
  }
  fifo.reset();  // a regular file can take the kept line again
  EXPECT_TRUE(EventuallyNoPending(log));
  EXPECT_EQ(ReadFile(folder / "20170503.txt"), "kept" + kExampleLine.substr(9));
}

// Lowers the largest file this process may write, as a full disk would.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit lower = saved_;
    lower.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &lower);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, previousHandler_);
  }

 private:
  rlimit saved_{};
  void (*previousHandler_)(int) = nullptr;
};

TEST(FullDisk, PartWrittenLineIsCutOffAndWrittenWholeLater) {
  TempFolder folder;
  const std::string path = folder / "20170503.txt";
  const std::string earlier = "earlier line\r\r\n";
  WriteFile(path, earlier);
  common::TraceCapture quiet;
  DailyLog log(folder.Path());
  {
    FileSizeLimit full(earlier.size() + 10);
    AppendExample(log, "half");
    EXPECT_EQ(log.PendingLines(), 1u);
    EXPECT_EQ(ReadFile(path), earlier) << "no half line left behind";
  }
  AppendExample(log, "next");
  EXPECT_EQ(log.PendingLines(), 0u);
  EXPECT_EQ(ReadFile(path),
            earlier + "half" + kExampleLine.substr(9) + "next" + kExampleLine.substr(9));
}

TEST(SharedLogFile, WaitsForAnotherWriterInsteadOfFailing) {
  TempFolder folder;
  const std::string path = folder / "20170503.txt";
  WriteFile(path, "");
  const int holder = ::open(path.c_str(), O_RDWR);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(::flock(holder, LOCK_EX), 0);
  common::TraceCapture quiet;
  DailyLog log(folder.Path());
  std::thread writer([&] { AppendExample(log); });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(ReadFile(path), "") << "nothing written while another writer holds the file";
  ::flock(holder, LOCK_UN);
  ::close(holder);
  writer.join();
  EXPECT_TRUE(EventuallyNoPending(log));
  EXPECT_EQ(ReadFile(path), kExampleLine);
}

TEST(SharedLogFile, TwoWritersNeverTearEachOthersLines) {
  TempFolder folder;
  constexpr int kLines = 400;
  auto write = [&](const std::string& name) {
    DailyLog log(folder.Path());
    for (int i = 0; i < kLines; ++i) {
      log.Append(kMay3, name + "-" + std::to_string(i), kDualTexts, "2017/05/03 12:34:56");
    }
  };
  std::thread first(write, std::string("alpha"));
  std::thread second(write, std::string("beta"));
  first.join();
  second.join();

  std::istringstream content(ReadFile(folder / "20170503.txt"));
  std::string line;
  int count = 0;
  int next[2] = {0, 0};
  while (std::getline(content, line)) {
    ++count;
    const bool alpha = line.rfind("alpha-", 0) == 0;
    ASSERT_TRUE(alpha || line.rfind("beta-", 0) == 0) << line;
    int& expected = next[alpha ? 0 : 1];
    const std::string name = alpha ? "alpha-" : "beta-";
    ASSERT_EQ(line,
              name + std::to_string(expected) + kExampleLine.substr(9, kExampleLine.size() - 10));
    ++expected;
  }
  EXPECT_EQ(count, 2 * kLines);
}

}  // namespace
}  // namespace orvana::records
