#include <gtest/gtest.h>
#ifndef _WIN32
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <sstream>
#include <thread>
#include <vector>

#include "common/trace.h"
#include "records/daily_log.h"
#include "records/log_import.h"
#ifndef _WIN32
#include "support/fifo_trap.h"
#endif
#include "support/temp_folder.h"

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

TEST(LogLine, EveryLineTheWriterMakesIsOneTheImportReadsBack) {
  TempFolder folder;
  // A scanner that sends far too much, in characters of three bytes: the
  // serial is cut at the last whole character within its limit.
  std::string serial = "A";
  while (serial.size() < 6000) serial += "\xE2\x82\xAC";  // the euro sign
  const std::string kept = serial.substr(0, 1 + (kLongestLogSerial - 1) / 3 * 3);
  {
    DailyLog log(folder.Path());
    AppendExample(log, serial);
    AppendExample(log, std::string("line\nbreak\0nul", 14));
  }
  const std::string stored = ReadFile(folder / "20170503.txt");
  EXPECT_LE(stored.find("\r\r\n"), kLongestLogLine);
  std::string error;
  ImportSummary summary;
  const auto rows = ReadLogFile(folder / "20170503.txt", error, &summary);
  ASSERT_TRUE(rows) << error;
  EXPECT_EQ(summary.skippedTooLong, 0u);
  ASSERT_EQ(rows->size(), 2u);
  EXPECT_EQ((*rows)[0][0], kept);
  EXPECT_EQ((*rows)[0][1], "-0.12");
  EXPECT_EQ((*rows)[1][0], "line break nul");
  EXPECT_EQ((*rows)[1][5], "2017/05/03 12:34:56");
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

TEST(DailyLogFile, AFileMovedOrDeletedUnderneathLosesNoLineAndIsMadeAnew) {
  // The log looks at its file about once a second, not for every line: until
  // then a moved file keeps taking lines, a deleted one has them written
  // again into the file made anew.
  TempFolder folder;
  const std::string day = folder / "20170503.txt";
  const auto serialsIn = [](const std::string& path) {
    std::vector<std::string> serials;
    const std::string text = std::filesystem::exists(path) ? ReadFile(path) : std::string();
    for (size_t at = 0; at < text.size(); at = text.find('\n', at) + 1) {
      serials.push_back(text.substr(at, text.find(' ', at) - at));
    }
    return serials;
  };
  DailyLog log(folder.Path());
  AppendExample(log, "one");
  std::filesystem::rename(day, folder / "moved.txt");
  std::vector<std::string> written{"one"};
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!std::filesystem::exists(day) && std::chrono::steady_clock::now() < deadline) {
    written.push_back("m" + std::to_string(written.size()));
    AppendExample(log, written.back());
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  // Each line once, in order: the moved file's first, then the new file's.
  std::vector<std::string> found = serialsIn(folder / "moved.txt");
  const std::vector<std::string> after = serialsIn(day);
  ASSERT_FALSE(after.empty());
  found.insert(found.end(), after.begin(), after.end());
  EXPECT_EQ(found, written);

  std::filesystem::remove(day);
  AppendExample(log, "two");
  while (!std::filesystem::exists(day) && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  // Lines the deleted file took since the last look come again with it.
  const std::vector<std::string> anew = serialsIn(day);
  ASSERT_FALSE(anew.empty());
  EXPECT_EQ(anew.back(), "two");
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

TEST_F(UnwritableLog, EachFailureEpisodeIsToldOnceAndSoIsItsEnd) {
  common::TraceCapture quiet;
  DailyLog log(blocked);
  std::atomic<int> signals{0};
  log.SetEventSignal([&] { ++signals; });
  AppendExample(log, "one");
  AppendExample(log, "two");
  auto events = log.TakeEvents();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].kind, LogEvent::Kind::Failing);
  EXPECT_EQ(events[0].path, blocked + "/20170503.txt");
  EXPECT_EQ(events[0].error, ENOTDIR);
  EXPECT_EQ(events[0].reason, std::strerror(ENOTDIR));
  EXPECT_EQ(events[0].pending, 1u);
  EXPECT_EQ(signals, 1);

  std::filesystem::remove(blocked);
  AppendExample(log, "three");
  events = log.TakeEvents();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].kind, LogEvent::Kind::Recovered);
  EXPECT_EQ(signals, 2);

#ifndef _WIN32  // the second cause is a FIFO, which Windows has no files of
  // A second episode is told again, with its own cause. The day's file is
  // replaced at once (the log looks at it about once a second, so the line
  // may go into the old one first and be taken back).
  const std::string fifo = blocked + "/fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::filesystem::rename(fifo, blocked + "/20170503.txt");
  AppendExample(log, "four");
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  do {
    events = log.TakeEvents();
  } while (events.empty() && std::chrono::steady_clock::now() < deadline &&
           (std::this_thread::sleep_for(std::chrono::milliseconds(20)), true));
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].kind, LogEvent::Kind::Failing);
  EXPECT_EQ(events[0].reason, "not a regular file");
  EXPECT_TRUE(log.TakeEvents().empty());
#endif
}

#ifndef _WIN32  // the user's data folder is named by XDG_DATA_HOME here, by %LOCALAPPDATA% there
TEST_F(UnwritableLog, KeptLinesAreSavedAtTheEndWhereTheUserIsTold) {
  common::TraceCapture quiet;
  TempFolder data;
  ::setenv("XDG_DATA_HOME", data.Path().c_str(), 1);
  const std::vector<std::string> folders = UnsavedLineFolders();
  ::unsetenv("XDG_DATA_HOME");
  ASSERT_FALSE(folders.empty());
  const std::string unsaved = data / "orvana/unsaved";
  EXPECT_EQ(folders.front(), unsaved);

  DailyLog log(blocked);
  AppendExample(log, "one");
  AppendExample(log, "two");
  log.Append({2017, 5, 4, 0, 0, 5}, "three", kDualTexts, "2017/05/04 00:00:05");
  std::filesystem::create_directories(unsaved);
  WriteFile(unsaved + "/20170503.txt", "saved earlier\r\r\n");
  const SaveResult result = log.SavePending(folders);
  EXPECT_EQ(log.PendingLines(), 0u);
  EXPECT_EQ(result.lost, 0u);
  ASSERT_EQ(result.saved.size(), 2u);
  EXPECT_EQ(result.saved[0].path, unsaved + "/20170503.txt");
  EXPECT_EQ(result.saved[0].lines, 2u);
  EXPECT_EQ(result.saved[1].path, unsaved + "/20170504.txt");
  EXPECT_EQ(ReadFile(unsaved + "/20170503.txt"),
            "saved earlier\r\r\none" + kExampleLine.substr(9) + "two" + kExampleLine.substr(9));
  EXPECT_EQ(ReadFile(unsaved + "/20170504.txt"),
            "three   -0.12   55.3   -0.20   56.1   2017/05/04 00:00:05\r\r\n");
}

#endif

#ifndef _WIN32  // permission bits, setuid and a forked child; Windows has none of them
// Savetemp's parent may be read but not written into. Root may write
// anywhere, so a root run makes the attempt as nobody, in a child.
TEST(DailyLogFailure, FolderThatCannotBeCreatedIsToldWithItsRealCause) {
  TempFolder folder;
  const std::string parent = folder / "read-only";
  std::filesystem::create_directory(parent);
  ASSERT_EQ(::chmod(folder.Path().c_str(), 0755), 0);
  ASSERT_EQ(::chmod(parent.c_str(), 0555), 0);
  EXPECT_EXIT(
      {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) std::_Exit(3);
        bool told = false;
        {
          common::TraceCapture trace;
          DailyLog log(parent + "/Savetemp");
          AppendExample(log);
          const auto events = log.TakeEvents();
          told = events.size() == 1 && events[0].error == EACCES &&
                 trace.Contains("error=" + std::to_string(EACCES) + "\n");
          std::fprintf(stderr, "told: %s; traced: %s\n",
                       events.empty() ? "nothing" : events[0].reason.c_str(), trace.Text().c_str());
        }
        std::_Exit(told ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), std::strerror(EACCES));
}

#endif

#ifndef _WIN32  // FIFOs, RLIMIT_FSIZE and flock are POSIX; test_log_files tests the Windows lock
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
    getrlimit(RLIMIT_FSIZE, &m_saved);
    m_previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit lower = m_saved;
    lower.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &lower);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &m_saved);
    std::signal(SIGXFSZ, m_previousHandler);
  }

 private:
  rlimit m_saved{};
  void (*m_previousHandler)(int) = nullptr;
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
    // Read as a reader does, between two lines: the flusher may be trying
    // the kept line again meanwhile.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_SH), 0);
    EXPECT_EQ(ReadFile(path), earlier) << "no half line left behind";
    ::close(fd);
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

#endif

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
