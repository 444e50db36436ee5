#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>

// A FIFO where a regular file is expected. Code that opens it the ordinary
// way blocks until someone opens the other end; Run() does that after a while
// if it has to, so a faulty program fails the test instead of hanging it.
namespace orvana::testing {

class FifoTrap {
 public:
  explicit FifoTrap(std::string path) : m_path(std::move(path)) {
    if (::mkfifo(m_path.c_str(), 0644) != 0) throw std::runtime_error("mkfifo " + m_path);
  }
  ~FifoTrap() { ::unlink(m_path.c_str()); }
  FifoTrap(const FifoTrap&) = delete;
  FifoTrap& operator=(const FifoTrap&) = delete;

  const std::string& Path() const { return m_path; }

  // Runs `action`; true when it had to be freed from a blocked open.
  template <typename Action>
  bool Run(Action&& action) {
    std::atomic<bool> done{false};
    bool rescued = false;
    int end = -1;
    std::thread rescuer([&] {
      const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
      while (!done && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
      if (done) return;
      rescued = true;
      // Both ends at once, never blocking: frees a reader and a writer alike.
      end = ::open(m_path.c_str(), O_RDWR | O_NONBLOCK);
    });
    action();
    done = true;
    rescuer.join();
    if (end >= 0) ::close(end);
    return rescued;
  }

 private:
  std::string m_path;
};

}  // namespace orvana::testing
