#pragma once

#include <string>

namespace orvana::sim {

// A symbolic link to the pseudo-terminal under a stable name, so the
// program's port list can find the simulated meter (for instance
// /tmp/orvana-ports/ttySIM0). The folder is created when missing; a stale
// link left by a killed run is replaced. The link goes when this object does,
// unless someone else has pointed it elsewhere meanwhile.
class PortLink {
 public:
  PortLink(std::string path, std::string target);  // throws std::runtime_error
  ~PortLink();
  PortLink(const PortLink&) = delete;
  PortLink& operator=(const PortLink&) = delete;

  void Remove();

 private:
  std::string m_path;
  std::string m_target;
  bool m_made = false;
};

}  // namespace orvana::sim
