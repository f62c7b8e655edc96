#include "testing/zip_builder.h"

#include <zlib.h>

namespace test_support {

namespace {

void Put16(std::string& out, uint64_t value) {
  out += static_cast<char>(value & 0xFF);
  out += static_cast<char>(value >> 8 & 0xFF);
}
void Put32(std::string& out, uint64_t value) {
  Put16(out, value & 0xFFFF);
  Put16(out, value >> 16 & 0xFFFF);
}
void Put64(std::string& out, uint64_t value) {
  Put32(out, value & 0xFFFFFFFF);
  Put32(out, value >> 32);
}

}  // namespace

std::string BuildZip(const std::vector<ZipEntry>& entries, bool zip64, const std::string& comment) {
  std::string zip;
  std::string directory;
  for (const ZipEntry& entry : entries) {
    uLong crc = crc32(0, nullptr, 0);
    std::string data;
    z_stream stream = {};
    if (entry.deflate) deflateInit2(&stream, 6, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    for (size_t i = 0; i < entry.repeat; ++i) {
      const auto* bytes = reinterpret_cast<const Bytef*>(entry.data.data());
      crc = crc32(crc, bytes, static_cast<uInt>(entry.data.size()));
      if (!entry.deflate) {
        data += entry.data;
        continue;
      }
      stream.next_in = const_cast<Bytef*>(bytes);
      stream.avail_in = static_cast<uInt>(entry.data.size());
      const int flush = i + 1 == entry.repeat ? Z_FINISH : Z_NO_FLUSH;
      int status;
      do {
        char out[16384];
        stream.next_out = reinterpret_cast<Bytef*>(out);
        stream.avail_out = sizeof out;
        status = deflate(&stream, flush);
        data.append(out, sizeof out - stream.avail_out);
      } while (stream.avail_out == 0 || (flush == Z_FINISH && status != Z_STREAM_END));
    }
    if (entry.deflate && entry.repeat == 0) {
      char out[64];
      stream.next_out = reinterpret_cast<Bytef*>(out);
      stream.avail_out = sizeof out;
      deflate(&stream, Z_FINISH);
      data.append(out, sizeof out - stream.avail_out);
    }
    if (entry.deflate) deflateEnd(&stream);
    data.resize(data.size() - entry.cut_data);

    const uint64_t size = entry.data.size() * entry.repeat + entry.size_change;
    const uint64_t offset = zip.size();
    const int method = entry.method >= 0 ? entry.method : entry.deflate ? 8 : 0;
    std::string zip64_extra;
    if (zip64) {
      Put16(zip64_extra, 1);
      Put16(zip64_extra, 24);
      Put64(zip64_extra, size);
      Put64(zip64_extra, data.size());
      Put64(zip64_extra, offset);
    }
    auto common = [&](std::string& out, bool central) {
      Put16(out, 45);
      Put16(out, entry.flags);
      Put16(out, method);
      Put32(out, 0);  // time and date
      Put32(out, crc ^ entry.crc_change);
      Put32(out, zip64 ? 0xFFFFFFFF : data.size());
      Put32(out, zip64 ? 0xFFFFFFFF : size);
      Put16(out, entry.name.size());
      Put16(out, central ? zip64_extra.size() : 0);
    };
    Put32(zip, 0x04034b50);
    common(zip, false);
    zip += entry.name;
    zip += data;
    Put32(directory, 0x02014b50);
    Put16(directory, 45);
    common(directory, true);
    Put16(directory, 0);  // comment
    Put16(directory, 0);  // disk
    Put16(directory, 0);  // internal attributes
    Put32(directory, 0);  // external attributes
    Put32(directory, zip64 ? 0xFFFFFFFF : offset);
    directory += entry.name;
    directory += zip64_extra;
  }
  const uint64_t directory_offset = zip.size();
  zip += directory;
  if (zip64) {
    const uint64_t zip64_end = zip.size();
    Put32(zip, 0x06064b50);
    Put64(zip, 44);
    Put16(zip, 45);
    Put16(zip, 45);
    Put32(zip, 0);
    Put32(zip, 0);
    Put64(zip, entries.size());
    Put64(zip, entries.size());
    Put64(zip, directory.size());
    Put64(zip, directory_offset);
    Put32(zip, 0x07064b50);
    Put32(zip, 0);
    Put64(zip, zip64_end);
    Put32(zip, 1);
  }
  Put32(zip, 0x06054b50);
  Put32(zip, 0);
  Put16(zip, zip64 ? 0xFFFF : entries.size());
  Put16(zip, zip64 ? 0xFFFF : entries.size());
  Put32(zip, zip64 ? 0xFFFFFFFF : directory.size());
  Put32(zip, zip64 ? 0xFFFFFFFF : directory_offset);
  Put16(zip, comment.size());
  zip += comment;
  return zip;
}

}  // namespace test_support
