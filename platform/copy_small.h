// CopySmall: memcpy for the short texts of coordinates, as two overlapping moves of 8 or 16 bytes
// instead of a call. Shared by the coordinate tokenizer and the MIF writer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace platform {

// Copies `size` bytes from `from` to `to`, which do not overlap.
inline void CopySmall(char* to, const char* from, size_t size) {
  if (size >= 16 && size <= 32) {
    char head[16];
    char tail[16];
    std::memcpy(head, from, 16);
    std::memcpy(tail, from + size - 16, 16);
    std::memcpy(to, head, 16);
    std::memcpy(to + size - 16, tail, 16);
  } else if (size >= 8 && size < 16) {
    uint64_t head;
    uint64_t tail;
    std::memcpy(&head, from, 8);
    std::memcpy(&tail, from + size - 8, 8);
    std::memcpy(to, &head, 8);
    std::memcpy(to + size - 8, &tail, 8);
  } else {
    std::memcpy(to, from, size);
  }
}

}  // namespace platform
