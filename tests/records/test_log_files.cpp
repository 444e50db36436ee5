#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/file_io.h"
#include "platform/file_names.h"
#include "platform/files.h"
#include "platform/open_file.h"
#include "platform/system.h"
#include "records/daily_log.h"
#include "records/log_import.h"
#include "records/log_line.h"

// The day log's files as the operating system sees them: names that are not
// ASCII, the exact bytes, locks that leave readers alone, and a replace over
// an existing file. These run on every platform the program is built for.
namespace orvana::records {
namespace {

constexpr common::LocalTime kMay3{2017, 5, 3, 12, 34, 56};
const std::array<std::string, 4> kTexts{"-0.12", "55.3", "-0.20", "56.1"};

// Paths are UTF-8 in the program; the test reaches the files through the
// C++ library, which must be told so.
std::filesystem::path PathOf(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string Utf8Of(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

std::string Bytes(const std::string& path) {
  std::ifstream in(PathOf(path), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void Put(const std::string& path, const std::string& bytes) {
  std::ofstream(PathOf(path), std::ios::binary | std::ios::trunc) << bytes;
}

class LogFiles : public ::testing::Test {
 protected:
  LogFiles() {
    uint64_t tag = 0;
    platform::RandomBytes(&tag, sizeof tag);
    m_scratch = Utf8Of(std::filesystem::temp_directory_path() /
                       ("orvana-files-" + std::to_string(tag)));
    std::filesystem::create_directory(PathOf(m_scratch));
  }
  ~LogFiles() override {
    std::error_code ignored;
    std::filesystem::remove_all(PathOf(m_scratch), ignored);
  }
  std::string In(const std::string& name) const { return m_scratch + "/" + name; }

 private:
  std::string m_scratch;
};

TEST_F(LogFiles, AFolderWithAChineseNameIsMadeWrittenAndReadBack) {
  const std::string folder = In("测试日志") + "/检测记录";
  {
    DailyLog log(folder);
    log.Append(kMay3, "光纤A1", kTexts, "2017/05/03 12:34:56");
    EXPECT_EQ(log.PendingLines(), 0u);
  }
  std::string error;
  const auto rows = ReadLogFile(LogFilePath(folder, kMay3, ".txt"), error);
  ASSERT_TRUE(rows.has_value()) << error;
  ASSERT_EQ(rows->size(), 1u);
  EXPECT_EQ((*rows)[0][0], "光纤A1");
  EXPECT_TRUE(std::filesystem::is_directory(PathOf(folder)));
}

TEST_F(LogFiles, TheDaysFileHoldsExactlyTheBytesOfTheLine) {
  const std::string folder = In("log");
  {
    DailyLog log(folder);
    log.Append(kMay3, "A17050301", kTexts, "2017/05/03 12:34:56");
    log.AppendLine(kMay3, "an outbox line\n");
  }
  // No line end is translated on the way: the file is the same whichever
  // platform wrote it.
  EXPECT_EQ(Bytes(LogFilePath(folder, kMay3, ".txt")),
            "A17050301   -0.12   55.3   -0.20   56.1   2017/05/03 12:34:56\r\r\n"
            "an outbox line\n");
}

TEST_F(LogFiles, AReaderIsNotHeldUpWhileAWriterHoldsTheLock) {
  const std::string path = In("20170503.txt");
  Put(path, "a whole line\n");
  const int writer = platform::OpenFile(path, platform::OpenMode::Append);
  ASSERT_GE(writer, 0);
  ASSERT_TRUE(platform::TryLockFile(writer, platform::LockKind::Exclusive));
  const int reader = platform::OpenFile(path, platform::OpenMode::Read);
  ASSERT_GE(reader, 0);
  char buffer[64] = {};
  const long long got = platform::ReadSome(reader, buffer, sizeof buffer);
  EXPECT_EQ(std::string(buffer, got > 0 ? static_cast<size_t>(got) : 0), "a whole line\n");
  // Another writer meets the lock.
  EXPECT_FALSE(platform::TryLockFile(reader, platform::LockKind::Exclusive));
  platform::UnlockFile(writer);
  platform::CloseFile(reader);
  platform::CloseFile(writer);
}

TEST_F(LogFiles, AReplaceTakesTheNameOfAnExistingFile) {
  const std::string target = In("report.xlsx");
  const std::string written = In("report.xlsx.partial");
  Put(target, "old");
  Put(written, "new");
  EXPECT_EQ(platform::RenameOver(written, target), 0);
  EXPECT_EQ(Bytes(target), "new");
  EXPECT_FALSE(std::filesystem::exists(PathOf(written)));
}

}  // namespace
}  // namespace orvana::records
