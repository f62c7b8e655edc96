// ByteSource: the bytes of a document, read front to back: a file, a zip entry inflated on the
// fly, or a document transcoded to UTF-8. Each layer of the reader wraps the one below.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/stdio_file.h"

namespace kml {

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

// The document in `file` as raw bytes: the main KML of a KMZ (doc.kml at the root of the zip,
// else its first .kml entry) inflated as a stream, or else the file itself. A zip that holds no
// KML, is damaged or encrypted throws CFileException (badZip, noKmlInZip, encryptedZip).
// REQUIRES: `file` is open for reading at offset 0 and outlives the source.
std::unique_ptr<ByteSource> OpenDocument(platform::CStdioFile& file);

// The same document as UTF-8: a UTF-8 or UTF-16 byte-order mark, UTF-16 without one, or the
// XML declaration's encoding (UTF-8, US-ASCII, ISO-8859-1, GBK, GB2312, GB18030, ...) tells
// what it is; UTF-8 when nothing does. The BOM is dropped; the declaration stays as written.
// Transcoded with the system's converters. An encoding they do not know throws CFileException
// (unknownEncoding); bytes invalid in the encoding throw badEncoding with the line.
// REQUIRES: `raw` outlives the result.
std::unique_ptr<ByteSource> DecodeToUtf8(ByteSource& raw, const platform::CString& path);

}  // namespace kml
