#pragma once

#include <string>

// The C library formats numbers after the locale: under one with a decimal
// comma, printf writes "-0,21". Code that hands numbers to a file format
// (the workbook) switches to the C notation for its own thread while it
// runs, so the window and other threads keep theirs.
namespace orvana::platform {

class CNumbersOnThisThread {
 public:
  CNumbersOnThisThread();
  ~CNumbersOnThisThread();
  CNumbersOnThisThread(const CNumbersOnThisThread&) = delete;
  CNumbersOnThisThread& operator=(const CNumbersOnThisThread&) = delete;

  // False when the switch could not be made: numbers would not be safe.
  bool Ok() const { return m_ok; }

 private:
  bool m_ok = false;
  // What to go back to, in the platform's own terms; each side uses its part.
  struct Saved {
    void* locale = nullptr;    // POSIX: the C locale made for the thread
    void* previous = nullptr;  // POSIX: the thread's locale before
    int threadMode = 0;        // Windows: the thread's locale mode before
    std::string name;          // Windows: the numeric locale's name before
  } m_saved;
};

}  // namespace orvana::platform
