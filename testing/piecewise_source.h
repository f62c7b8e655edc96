// PiecewiseSource: a document held in memory as the bytes stage hands it on, a few bytes at a
// time, so that the stage after it meets characters, markers and tags cut at any byte.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "input/byte_source.h"

namespace test_support {

class PiecewiseSource : public input::ByteSource {
 public:
  // Each Read gives at most the next of `pieces` bytes, cycling through them.
  // REQUIRES: `pieces` is not empty and holds no 0.
  PiecewiseSource(std::string bytes, std::vector<size_t> pieces)
      : bytes_(std::move(bytes)), pieces_(std::move(pieces)) {}

  size_t Read(char* buffer, size_t size) override {
    const size_t piece = pieces_[turn_++ % pieces_.size()];
    const size_t count = std::min({size, piece, bytes_.size() - at_});
    std::copy_n(bytes_.data() + at_, count, buffer);
    at_ += count;
    return count;
  }
  uint64_t FilePosition() const override { return at_; }
  uint64_t FileSize() const override { return bytes_.size(); }

 private:
  std::string bytes_;
  std::vector<size_t> pieces_;
  size_t turn_ = 0;
  size_t at_ = 0;
};

}  // namespace test_support
