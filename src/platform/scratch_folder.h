#pragma once

#include <cstdint>
#include <string>

// A folder of the program's own beside a file it is about to replace: the
// new version is written there, under names no one else uses, and moved out
// only once it is whole. One folder, so there is one thing to remove however
// many files the writing leaves in it. Paths are UTF-8.
namespace orvana::platform {

class ScratchFolder {
 public:
  // `removeOnStop`: when the whole program is stopped from outside (SIGINT,
  // SIGTERM or SIGHUP; a console's Ctrl+C, Ctrl+Break or closing), the
  // folder goes before the program ends. For a program with no handling of
  // its own for them; one folder at a time may ask for it.
  explicit ScratchFolder(bool removeOnStop) : m_removeOnStop(removeOnStop) {}
  ~ScratchFolder() { Remove(); }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  // In the folder that holds `path`. 0, or the errno of the failure.
  int Create(const std::string& path);
  const std::string& Path() const { return m_path; }

  // The program is being stopped and waits for this folder to go: whatever
  // is being written into it is to be given up. Never where the stop itself
  // removes the folder and ends the program at once (POSIX signals).
  bool StopAsked() const;

  // Gives `file` (in the folder) the name `target`, replacing a file there:
  // a stop comes before the move or after it, never half way. 0, or the
  // errno of the failure; ECANCELED when a stop came first.
  int MoveOut(const std::string& file, const std::string& target);

  // The folder and all it holds. Once a stop has been asked for, the
  // program ends here, as the stop would have ended it (unless something
  // else takes the stop as handled).
  void Remove();

 private:
  const bool m_removeOnStop;
  std::string m_path;
  // POSIX: the folder's descriptor, which the signal handler removes by.
  intptr_t m_native = -1;
};

}  // namespace orvana::platform
