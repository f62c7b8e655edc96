// The zip layer of the input stage: the KML entries of a KMZ, each inflated as it is read.
//
// A KMZ's main document may link to other documents of the same archive; those are opened by
// name while the linking one is suspended, and read in turn from the one open file: each
// entry's stream keeps its own place in the file and its own inflate state. The directory is
// read once; what is held of it is 16 bytes per KML entry.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "input/byte_source.h"
#include "platform/stdio_file.h"

namespace input {

// True when `head`, the first bytes of a file, open a zip (a local file header).
bool LooksLikeZip(std::string_view head);

struct ZipProgress;

class ZipArchive {
 public:
  // Reads the directory of the zip in `file`. Throws CFileException naming the file:
  // noKmlInZip (no entry whose name ends in ".kml", case ignored), badZip (damaged, cut short).
  // REQUIRES: `file` is open for reading and outlives the archive and every source it opens.
  explicit ZipArchive(platform::CStdioFile& file);
  ~ZipArchive();
  ZipArchive(const ZipArchive&) = delete;
  ZipArchive& operator=(const ZipArchive&) = delete;

  // The main KML entry: doc.kml at the root, else the first entry (in the order of the zip's
  // directory) whose name ends in ".kml", case ignored.
  const std::string& main_entry() const { return main_entry_; }

  // The KML entry named exactly `name` (its name ends in ".kml", case ignored), inflated as it
  // is read; null when the archive holds none. Any number may be open and read in turn. Throws
  // CFileException naming the file: encryptedZip, badZip (a method other than stored or
  // deflated, a damaged record; the source throws it too on a CRC or size mismatch at the
  // entry's end). The sources' FilePosition() is the archive's bytes read so far by all of
  // them, from where the first one began.
  std::unique_ptr<ByteSource> Open(std::string_view name);

 private:
  struct Record;

  uint64_t NextRecord(uint64_t offset, Record& record);
  std::unique_ptr<ByteSource> OpenRecord(const Record& record);

  platform::CStdioFile& file_;
  uint64_t directory_offset_ = 0;
  uint64_t directory_end_ = 0;
  uint64_t entries_ = 0;
  std::string main_entry_;
  // The KML entries: (hash of the name, offset of the directory record), sorted. Past
  // kMaxIndexed entries the rest are found by reading the directory again.
  std::vector<std::pair<uint64_t, uint64_t>> index_;
  bool index_complete_ = true;
  std::shared_ptr<ZipProgress> progress_;
};

}  // namespace input
