#include "sim/command_reader.h"

namespace orvana::sim {

namespace {
constexpr uint8_t kShortestLength = 3;
}

std::optional<Bytes> CommandReader::Feed(uint8_t byte) {
  if (pending_.empty()) {
    if (byte == kHeaderByte) pending_.push_back(byte);
    return std::nullopt;
  }
  pending_.push_back(byte);
  const uint8_t length = pending_[1];
  if (length < kShortestLength || length > kLongestLength) {
    ++rejected_;
    pending_.clear();
    // The rejected length byte may itself open the next frame.
    if (byte == kHeaderByte) pending_.push_back(byte);
    return std::nullopt;
  }
  if (pending_.size() < static_cast<size_t>(length) + 2) return std::nullopt;

  Bytes frame;
  frame.swap(pending_);
  if (NegatedSum(std::span(frame).first(length)) != frame[length]) {
    ++rejected_;
    return std::nullopt;
  }
  return frame;
}

}  // namespace orvana::sim
