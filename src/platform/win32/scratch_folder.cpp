#include "platform/scratch_folder.h"

#include <windows.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <mutex>
#include <string>

#include "platform/file_names.h"
#include "platform/folders.h"
#include "platform/system.h"
#include "platform/win32/error_codes.h"
#include "platform/win32/wide.h"

// Windows ends a console program on Ctrl+C, Ctrl+Break or a closed console
// window by calling its console handlers on a thread of their own while the
// program goes on running; there is no signal that interrupts the writer.
// And a file the workbook library holds open cannot be deleted. So the stop
// is cooperative: the handler asks the writer to give up (StopAsked, which
// it checks between rows), waits a moment for the folder to go, removes what
// is still there itself (nothing is held open while rows are written; only
// the final zip is, briefly) and lets the stop end the program.
namespace orvana::platform {
namespace {

// How long the handler waits for the writer to give up. Closing the console
// window leaves a handler five seconds in all before Windows ends the program.
constexpr DWORD kWaitForWriterMs = 3000;
// How long the writer waits, once its folder is gone, for the stop to end
// the program.
constexpr DWORD kWaitForEndMs = 10000;

std::mutex g_lock;  // around the folder's name and a move out of it
std::wstring g_folder;
std::atomic<bool> g_stopAsked{false};
HANDLE g_gone = nullptr;  // set once the folder is removed
bool g_handlerAdded = false;

void RemoveFolderAndContents(const std::wstring& folder) {
  const std::string utf8 = Utf8(folder);
  if (const auto entries = ListFolder(utf8)) {
    for (const FolderEntry& entry : *entries) DeleteFileW(Wide(utf8 + "\\" + entry.name).c_str());
  }
  RemoveDirectoryW(folder.c_str());
}

BOOL WINAPI OnConsoleStop(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT &&
      event != CTRL_LOGOFF_EVENT && event != CTRL_SHUTDOWN_EVENT) {
    return FALSE;
  }
  {
    std::lock_guard<std::mutex> held(g_lock);
    if (g_folder.empty()) return FALSE;
    g_stopAsked = true;
  }
  WaitForSingleObject(g_gone, kWaitForWriterMs);
  std::lock_guard<std::mutex> held(g_lock);
  if (!g_folder.empty()) RemoveFolderAndContents(g_folder);
  // Not handled: the next handler, in the end Windows' own, ends the program
  // as it would have without us.
  return FALSE;
}

// Six letters and digits from the system's random source.
std::string RandomPart() {
  static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  unsigned char bytes[6] = {};
  RandomBytes(bytes, sizeof bytes);
  std::string part;
  for (const unsigned char byte : bytes) part += kLetters[byte % (sizeof kLetters - 1)];
  return part;
}

// The folder `path` is in, as a full path: "C:report.xlsx" is in the
// current folder of drive C:, which only the system knows.
std::wstring FolderOf(const std::string& path) {
  const std::wstring wide = Wide(path);
  if (wide.empty()) return {};
  const DWORD needed = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return {};
  std::wstring full(needed, L'\0');
  wchar_t* name = nullptr;
  const DWORD length = GetFullPathNameW(wide.c_str(), needed, full.data(), &name);
  if (length == 0 || length >= needed) return {};
  full.resize(name != nullptr ? static_cast<size_t>(name - full.data()) : length);
  while (!full.empty() && (full.back() == L'\\' || full.back() == L'/')) full.pop_back();
  return full;
}

}  // namespace

int ScratchFolder::Create(const std::string& path) {
  const std::wstring folder = FolderOf(path);
  if (folder.empty()) return ENOENT;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::wstring name = folder + L"\\.orvana-" + Wide(RandomPart());
    if (!CreateDirectoryW(name.c_str(), nullptr)) {
      const DWORD error = GetLastError();
      if (error == ERROR_ALREADY_EXISTS) continue;
      return ErrnoFor(error);
    }
    // A dot does not hide a name on Windows; the attribute does.
    SetFileAttributesW(name.c_str(), FILE_ATTRIBUTE_HIDDEN);
    m_path = Utf8(name);
    if (m_removeOnStop) {
      std::lock_guard<std::mutex> held(g_lock);
      if (g_gone == nullptr) g_gone = CreateEventW(nullptr, TRUE, FALSE, nullptr);
      ResetEvent(g_gone);
      g_stopAsked = false;
      g_folder = name;
      if (!g_handlerAdded) g_handlerAdded = SetConsoleCtrlHandler(OnConsoleStop, TRUE) != 0;
    }
    return 0;
  }
  return EEXIST;
}

bool ScratchFolder::StopAsked() const { return m_removeOnStop && g_stopAsked; }

int ScratchFolder::MoveOut(const std::string& file, const std::string& target) {
  if (!m_removeOnStop) return RenameOver(file, target);
  std::lock_guard<std::mutex> held(g_lock);
  if (g_stopAsked) return ECANCELED;
  return RenameOver(file, target);
}

void ScratchFolder::Remove() {
  if (m_path.empty()) return;
  const std::wstring folder = Wide(m_path);
  m_path.clear();
  if (!m_removeOnStop) {
    RemoveFolderAndContents(folder);
    return;
  }
  {
    std::lock_guard<std::mutex> held(g_lock);
    RemoveFolderAndContents(folder);
    g_folder.clear();
  }
  if (!g_stopAsked) return;
  // The handler ends the program once it sees the folder gone; nothing
  // more is to happen here meanwhile. Should another handler take the stop
  // as handled, the program goes on, with the write given up.
  SetEvent(g_gone);
  Sleep(kWaitForEndMs);
}

}  // namespace orvana::platform
