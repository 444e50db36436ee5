#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

// A pseudo-terminal standing in for the serial line: the program under test
// opens SlavePath() like any serial device, the test plays the instrument on
// the master side. Real kernel tty I/O, nothing mocked.
namespace orvana::testing {

class PtyPair {
 public:
  PtyPair();
  ~PtyPair();
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  const std::string& SlavePath() const { return m_slavePath; }
  int MasterFd() const { return m_master; }

  // Writes every byte to the master side (what the instrument sends).
  void Send(const std::vector<uint8_t>& bytes);
  // Reads what the program wrote until `count` bytes have come or the time is up.
  std::vector<uint8_t> Receive(size_t count, std::chrono::milliseconds timeout);
  // Everything that arrives within `quiet` of silence.
  std::vector<uint8_t> Drain(std::chrono::milliseconds quiet);
  // Closes the master and the kept slave: the device vanishes for its user.
  void HangUp();

 private:
  int m_master = -1;
  int m_keptSlave = -1;  // keeps the line's raw settings and the master alive between opens
  std::string m_slavePath;
};

}  // namespace orvana::testing
