#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "support/child_process.h"
#include "support/temp_folder.h"

// Runs the real orvana-sim as a child and talks to it as the program would:
// through the pseudo-terminal it announces, opened with plain termios.
namespace orvana::simtest {

using Bytes = std::vector<uint8_t>;
using std::chrono::milliseconds;

// "50 03 02 AB 01" -> bytes. Lets expectations be written as on the wire.
Bytes FromHex(std::string_view text);
std::string ToHex(const Bytes& bytes);

// The orvana-sim of this build, started with `args`.
class SimProcess : public testing::ChildProcess {
 public:
  explicit SimProcess(const std::vector<std::string>& args);
  // The first line the simulator prints: its port. Empty if none came in time.
  std::string FirstLine(milliseconds timeout = milliseconds(5000)) {
    if (Lines().empty() && !NextLine(timeout)) return {};
    return Lines().front();
  }
};

// The program's end of the line.
class SerialEnd {
 public:
  explicit SerialEnd(const std::string& path);
  ~SerialEnd();
  SerialEnd(const SerialEnd&) = delete;
  SerialEnd& operator=(const SerialEnd&) = delete;

  void Write(const Bytes& bytes);
  // Reads until `count` bytes have come or the time is up.
  Bytes Read(size_t count, milliseconds timeout = milliseconds(3000));
  // Everything that arrives until `quiet` passes without a byte.
  Bytes Drain(milliseconds quiet);
  // Reads `count` bytes and also tells in how many separate reads they came.
  Bytes ReadCountingPieces(size_t count, int& pieces, milliseconds timeout);
  // True once the line reports a hangup (POLLHUP, or a read of 0 or EIO).
  bool SeesHangUp(milliseconds timeout);

 private:
  int m_fd = -1;
};

// Splits a stream that starts at a frame into its frames by their length bytes.
std::vector<Bytes> SplitFrames(const Bytes& stream);

// orvana-sim input that stores two records with three events in all, as a
// meter keeps them until they are uploaded.
inline constexpr std::string_view kThreeStoredEvents =
    "store-record 26 12 9 10 30\n"
    "store-event 1 120 0.5 -45.0 0.2 2\n"
    "store-event 2 2400 0.3 -50.5 0.8 1\n"
    "store-record 26 12 9 11 5\n"
    "store-event 1 300 0.1 -40.0 0.1 2\n";
// Reads whole frames until `count` have come; frames are told apart by L.
std::vector<Bytes> ReadFrames(SerialEnd& line, size_t count,
                              milliseconds timeout = milliseconds(3000));

// Script files and links go in a fresh temporary folder, removed with it.
using TempDir = testing::TempFolder;

}  // namespace orvana::simtest
