// The station's output queue over real pipes: a reader that stalls costs
// output only (and says how much), one that goes away is noticed, and
// finishing neither loses what a live reader would take nor hangs on a dead one.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

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
  pipe.ReadUntil([](const std::string& t) { return t.find("dropped") != std::string::npos; });
  // Output goes on after the marker once the reader has caught up.
  for (int n = 300; n < 310; ++n) queue.Push(NumberedLine(n), 1);
  const std::string text = pipe.ReadUntil(
      [](const std::string& t) { return t.find("{\"n\":309,") != std::string::npos; });
  EXPECT_TRUE(queue.Finish(1s));

  const std::regex numbered(R"(\{"n":(\d+),"pad":"x{90}"\})");
  const std::regex marker(R"(\{"dropped":(\d+)\})");
  std::vector<int> before;
  std::vector<int> after;
  int markers = 0;
  int droppedCount = -1;
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    const std::string line = text.substr(start, end - start);
    std::smatch match;
    if (std::regex_match(line, match, marker)) {
      ++markers;
      droppedCount = std::stoi(match[1]);
    } else {
      ASSERT_TRUE(std::regex_match(line, match, numbered)) << "torn line: " << line;
      (markers == 0 ? before : after).push_back(std::stoi(match[1]));
    }
  }
  EXPECT_EQ(start, text.size()) << "a partial last line";
  ASSERT_EQ(markers, 1);
  ASSERT_FALSE(before.empty());
  for (size_t i = 0; i < before.size(); ++i) ASSERT_EQ(before[i], static_cast<int>(i));
  EXPECT_LT(before.size(), 300u);
  EXPECT_EQ(droppedCount, 300 - static_cast<int>(before.size()));
  EXPECT_EQ(after, (std::vector<int>{300, 301, 302, 303, 304, 305, 306, 307, 308, 309}));
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
