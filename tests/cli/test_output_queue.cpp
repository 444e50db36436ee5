// The station's output queue over real pipes: a reader that stalls costs
// output only (and says how much), one that goes away is noticed, and
// finishing neither loses what a live reader would take nor hangs on a dead one.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <future>
#include <regex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "cli/output_queue.h"

namespace orvana::cli {
namespace {

using namespace std::chrono_literals;

class Pipe {
 public:
  explicit Pipe(int size = 0) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe2 failed");
    readEnd = fds[0];
    writeEnd = fds[1];
    if (size > 0 && fcntl(writeEnd, F_SETPIPE_SZ, size) < size) {
      throw std::runtime_error("cannot size the pipe");
    }
  }
  ~Pipe() {
    CloseReadEnd();
    close(writeEnd);
  }
  Pipe(const Pipe&) = delete;
  Pipe& operator=(const Pipe&) = delete;

  void CloseReadEnd() {
    if (readEnd >= 0) close(readEnd);
    readEnd = -1;
  }
  // Reads until `done` holds for what has come, or 10 s pass.
  template <typename Done>
  std::string ReadUntil(Done done) {
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (!done(text) && std::chrono::steady_clock::now() < deadline) {
      pollfd p{readEnd, POLLIN, 0};
      if (poll(&p, 1, 100) <= 0) continue;
      char chunk[4096];
      const ssize_t n = read(readEnd, chunk, sizeof chunk);
      if (n <= 0) break;
      text.append(chunk, static_cast<size_t>(n));
    }
    return text;
  }

  int readEnd = -1;
  int writeEnd = -1;
  std::string text;
};

std::string NumberedLine(int n) {
  return "{\"n\":" + std::to_string(n) + ",\"pad\":\"" + std::string(90, 'x') + "\"}\n";
}

TEST(OutputQueue, StalledReaderLosesWholeLinesOnlyAndIsToldHowManyWhereTheyWere) {
  Pipe pipe(4096);
  OutputQueue queue(pipe.writeEnd, 2048, {});
  // Two lines per push: the count is of lines, not of pushes. Nobody reads
  // meanwhile, so the pipe and the queue fill and the rest is dropped.
  for (int n = 0; n < 300; n += 2) queue.Push(NumberedLine(n) + NumberedLine(n + 1), 2);
  // The reader catches up: everything queued is read, the last marker too.
  auto quietSince = std::chrono::steady_clock::now();
  size_t seen = 0;
  pipe.ReadUntil([&](const std::string& t) {
    if (t.size() != seen) {
      seen = t.size();
      quietSince = std::chrono::steady_clock::now();
    }
    return t.find("dropped") != std::string::npos &&
           std::chrono::steady_clock::now() - quietSince > 300ms;
  });
  // Output goes on after the marker once the reader has caught up.
  for (int n = 300; n < 310; ++n) queue.Push(NumberedLine(n), 1);
  const std::string text = pipe.ReadUntil(
      [](const std::string& t) { return t.find("{\"n\":309,") != std::string::npos; });
  EXPECT_TRUE(queue.Finish(1s));

  // Every line is there or counted by the marker that stands in its place:
  // numbers only rise, and each jump is exactly what the marker before it said.
  const std::regex numbered(R"(\{"n":(\d+),"pad":"x{90}"\})");
  const std::regex marker(R"(\{"dropped":(\d+)\})");
  int expected = 0;
  int markers = 0;
  std::vector<int> tail;
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    const std::string line = text.substr(start, end - start);
    std::smatch match;
    if (std::regex_match(line, match, marker)) {
      ++markers;
      expected += std::stoi(match[1]);
    } else {
      ASSERT_TRUE(std::regex_match(line, match, numbered)) << "torn line: " << line;
      ASSERT_EQ(std::stoi(match[1]), expected) << "a line lost without a word, or out of order";
      ++expected;
      if (expected > 300) tail.push_back(expected - 1);
    }
  }
  EXPECT_EQ(start, text.size()) << "a partial last line";
  EXPECT_EQ(expected, 310);
  EXPECT_GE(markers, 1);
  EXPECT_EQ(tail, (std::vector<int>{300, 301, 302, 303, 304, 305, 306, 307, 308, 309}));
}

TEST(OutputQueue, ReaderThatGoesAwayIsNoticedWithoutAnotherLineAndReportedOnce) {
  Pipe pipe;
  std::promise<void> closed;
  OutputQueue queue(pipe.writeEnd, 1 << 16, [&] { closed.set_value(); });
  queue.Push("{\"a\":1}\n", 1);
  EXPECT_EQ(pipe.ReadUntil([](const std::string& t) { return !t.empty(); }), "{\"a\":1}\n");
  EXPECT_FALSE(queue.Closed());

  pipe.CloseReadEnd();
  ASSERT_EQ(closed.get_future().wait_for(10s), std::future_status::ready);
  EXPECT_TRUE(queue.Closed());
  // Later lines are discarded; nothing blocks, nothing is reported again.
  for (int i = 0; i < 100; ++i) queue.Push(NumberedLine(i), 1);
  EXPECT_FALSE(queue.Finish(100ms));
}

TEST(OutputQueue, FullDiskLosesOutputButIsNoReaderGone) {
  const int full = open("/dev/full", O_WRONLY | O_CLOEXEC);
  ASSERT_GE(full, 0);
  std::atomic<bool> closed{false};
  {
    OutputQueue queue(full, 1 << 16, [&] { closed = true; });
    for (int n = 0; n < 20; ++n) queue.Push(NumberedLine(n), 1);
    std::this_thread::sleep_for(300ms);
    EXPECT_FALSE(queue.Closed());
    EXPECT_FALSE(queue.Finish(100ms));
  }
  EXPECT_FALSE(closed);
  close(full);
}

TEST(OutputQueue, FinishWritesEverythingToASlowReaderAndGivesUpOnAStoppedOne) {
  std::string all;
  for (int n = 0; n < 2000; ++n) all += NumberedLine(n);
  {
    Pipe pipe(4096);
    OutputQueue queue(pipe.writeEnd, OutputQueue::kDefaultCapacity, {});
    queue.Push(all, 2000);
    std::thread reader([&] {
      pipe.ReadUntil([&](const std::string& t) {
        std::this_thread::sleep_for(1ms);
        return t.size() >= all.size();
      });
    });
    EXPECT_TRUE(queue.Finish(500ms));
    reader.join();
    EXPECT_EQ(pipe.text, all);
  }
  {
    Pipe pipe(4096);
    OutputQueue queue(pipe.writeEnd, OutputQueue::kDefaultCapacity, {});
    queue.Push(all, 2000);
    EXPECT_FALSE(queue.Finish(100ms));
  }
}

}  // namespace
}  // namespace orvana::cli
