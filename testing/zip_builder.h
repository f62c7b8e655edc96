// BuildZip: zip archives (KMZ files) made in memory for tests, as common tools write them, or
// spoiled on purpose.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace test_support {

// One entry of a zip the test writes; the fields after `data` spoil it on purpose.
struct ZipEntry {
  std::string name;
  std::string data;
  size_t repeat = 1;  // the entry holds `data` this many times
  bool deflate = true;
  uint16_t flags = 0;
  int method = -1;          // written instead of the real one when set
  uint32_t crc_change = 0;  // XORed into the recorded CRC
  int64_t size_change = 0;  // added to the recorded size
  size_t cut_data = 0;      // compressed bytes dropped from the end (the sizes say so too)
};

// A zip of `entries` as common tools write it; with `zip64` every size and offset goes to the
// zip64 extra field and records, as for an archive beyond 4 GiB.
std::string BuildZip(const std::vector<ZipEntry>& entries, bool zip64 = false,
                     const std::string& comment = "");

}  // namespace test_support
