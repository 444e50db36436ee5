// A zip entry read with zlib, for the Windows build, which has no unzip to
// run: the central directory says where the entry is and how it is stored.
#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>

#include "support/temp_folder.h"
#include "support/workbook_reader.h"

namespace orvana::testing {
namespace {

uint32_t Le(const std::string& bytes, size_t at, int size) {
  uint32_t value = 0;
  for (int i = size - 1; i >= 0; --i) {
    value = (value << 8) | static_cast<unsigned char>(bytes[at + static_cast<size_t>(i)]);
  }
  return value;
}

std::optional<std::string> Inflated(const std::string& data, size_t size) {
  std::string out(size, '\0');
  z_stream stream{};
  if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) return std::nullopt;
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  stream.avail_in = static_cast<uInt>(data.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  const int status = inflate(&stream, Z_FINISH);
  inflateEnd(&stream);
  if (status != Z_STREAM_END || stream.total_out != size) return std::nullopt;
  return out;
}

}  // namespace

std::optional<std::string> ReadZipEntry(const std::string& zip, const std::string& entry) {
  std::ifstream in(PathOf(zip), std::ios::binary);
  const std::string file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (file.size() < 22) return std::nullopt;
  // The end record is the last thing in the file, before a comment.
  size_t end = file.size() - 22;
  while (Le(file, end, 4) != 0x06054b50) {
    if (end == 0) return std::nullopt;
    --end;
  }
  const size_t count = Le(file, end + 10, 2);
  size_t at = Le(file, end + 16, 4);
  for (size_t i = 0; i < count && at + 46 <= file.size(); ++i) {
    if (Le(file, at, 4) != 0x02014b50) return std::nullopt;
    const uint32_t method = Le(file, at + 10, 2);
    const size_t packed = Le(file, at + 20, 4);
    const size_t size = Le(file, at + 24, 4);
    const size_t nameLength = Le(file, at + 28, 2);
    const size_t skip = nameLength + Le(file, at + 30, 2) + Le(file, at + 32, 2);
    const size_t local = Le(file, at + 42, 4);
    if (file.compare(at + 46, nameLength, entry) == 0 && nameLength == entry.size()) {
      if (local + 30 > file.size() || Le(file, local, 4) != 0x04034b50) return std::nullopt;
      const size_t data = local + 30 + Le(file, local + 26, 2) + Le(file, local + 28, 2);
      if (data + packed > file.size()) return std::nullopt;
      const std::string bytes = file.substr(data, packed);
      if (method == 0) return bytes;
      if (method == 8) return Inflated(bytes, size);
      return std::nullopt;
    }
    at += 46 + skip;
  }
  return std::nullopt;
}

}  // namespace orvana::testing
