// CSpillFile: scratch storage for what a conversion must keep but cannot hold in memory.
// Bytes are kept in memory up to a bound, then in a temporary file that no one else can open
// and that the system removes when it is closed (also when the program dies).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "platform/cstring.h"

namespace platform {

class CSpillFile {
 public:
  // Up to `memory_limit` bytes stay in memory. Errors name `report_path` (the output being
  // written), never the temporary file.
  CSpillFile(const CString& report_path, size_t memory_limit);
  ~CSpillFile();
  CSpillFile(const CSpillFile&) = delete;
  CSpillFile& operator=(const CSpillFile&) = delete;

  // Appends `bytes`. Throws CFileException (diskFull, writeError, outOfMemory...).
  void Write(std::string_view bytes);
  uint64_t size() const;

  // Reading, once writing is over: Seek to any offset below size(), then Read gives up to
  // `size` bytes (0 only at the end). REQUIRES: no Write after the first Seek.
  void Seek(uint64_t offset);
  size_t Read(char* buffer, size_t size);

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace platform
