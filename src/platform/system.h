#pragma once

#include <cstddef>
#include <string>

// What the program asks of the machine itself.
namespace orvana::platform {

// The machine's name on the network, as UTF-8; empty when it has none.
std::string HostName();

// Fills `buffer` from the system's source of random bytes; false when that
// source fails (the caller falls back on something weaker).
bool RandomBytes(void* buffer, size_t size);

// This run's process number, as the system counts them.
unsigned long ProcessId();

}  // namespace orvana::platform
