#pragma once

#include <cstddef>
#include <cstdint>

// Reading and writing an open file (see open_file.h). Counts and sizes are
// 64-bit on every platform.
namespace orvana::platform {

// At the file position (at the end for a file opened to append): how many
// bytes went, or -1 with errno set. EINTR is retried here.
long long ReadSome(int fd, void* buffer, size_t count);
long long WriteSome(int fd, const void* data, size_t count);

// Writes at `offset`: how many bytes went, or -1 with errno set. The file
// position afterwards is not to be relied on.
long long WriteFileAt(int fd, const void* data, size_t count, uint64_t offset);

// Cuts the file to `size` bytes: 0, or the errno of the failure.
int TruncateFile(int fd, uint64_t size);

}  // namespace orvana::platform
