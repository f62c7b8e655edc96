// ByteSource: the bytes of a document, read front to back: a file, a zip entry inflated on the
// fly, or a document transcoded to UTF-8. Each layer of the input stage wraps the one below
// (document_source.h, text_decoder.h), and the XML reader reads the last.
#pragma once

#include <cstddef>
#include <cstdint>

namespace input {

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Reads up to `size` bytes into `buffer`; gives 0 only at the end of the document. Throws
  // CFileException naming the file.
  virtual size_t Read(char* buffer, size_t size) = 0;
  // How far the underlying file has been read, and its size, in bytes: for a progress report.
  virtual uint64_t FilePosition() const = 0;
  virtual uint64_t FileSize() const = 0;
};

}  // namespace input
