// Fuzz target: the full conversion, from the file's bytes to the MIF/MID pair.
//
// Whatever the bytes (XML or not, any encoding, a zip or not), the conversion either throws
// CFileException or writes a pair whose MID has one row per object of the MIF, whose header is
// complete, and whose counts add up; it never crashes and stays within the fuzzer's memory
// limit. On a failure no output may be left behind.
//
// Input: a flag byte (output character set), then the file's bytes.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include "convert/full.h"
#include "fuzz/fuzz_support.h"
#include "platform/file_exception.h"

namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

size_t CountRows(std::string_view mid) {
  size_t rows = 0;
  for (size_t at = mid.find("\r\n"); at != std::string_view::npos; at = mid.find("\r\n", at + 2)) {
    ++rows;
  }
  return rows;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Input input(data, size);
  convert::FullOptions options;
  options.charset = static_cast<mif::Charset>(input.Byte() % 4);
  static fuzz::ScratchFile file("kml");
  file.Write(input.Rest());
  const std::string stem = file.path().str().substr(0, file.path().GetLength() - 3);
  std::error_code ignored;
  std::filesystem::remove(stem + "mif", ignored);
  std::filesystem::remove(stem + "mid", ignored);

  convert::FullSummary summary;
  try {
    summary = convert::ConvertFull(file.path(), options);
  } catch (const platform::CFileException& error) {
    fuzz::Check("the error names the file",
                std::string_view(error.what()).find(file.path().view()) != std::string_view::npos);
    fuzz::Check("no MIF after a failure", !std::filesystem::exists(stem + "mif"));
    fuzz::Check("no MID after a failure", !std::filesystem::exists(stem + "mid"));
    return 0;
  }
  const std::string mif = ReadAll(stem + "mif");
  const std::string mid = ReadAll(stem + "mid");
  std::filesystem::remove(stem + "mif", ignored);
  std::filesystem::remove(stem + "mid", ignored);
  const mif::WriterCounts& written = summary.written;
  const uint64_t objects = written.points + written.multipoints + written.lines + written.regions +
                           written.collections + written.no_geometry;
  fuzz::CheckEqual("one MID row per object", static_cast<long long>(objects),
                   static_cast<long long>(CountRows(mid)));
  fuzz::CheckEqual("every placemark is an object", static_cast<long long>(summary.placemarks),
                   static_cast<long long>(objects));
  fuzz::Check("the header comes first", mif.rfind("Version ", 0) == 0);
  fuzz::Check("the header ends", mif.find("\r\nData\r\n") != std::string::npos);
  fuzz::Check("CoordSys",
              mif.find("\r\nCoordSys Earth Projection 1, 104\r\n") != std::string::npos);
  return 0;
}
