// The streaming scan on files past 4 GiB and on a coordinate line longer than 2 GiB, made
// cheaply as sparse files (the holes read as NUL bytes, and the scans start past the holes they
// need not read), and a point count past INT32_MAX. Some cases stream a few GiB, which takes
// seconds, so ctest labels this program "long".
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

#include "convert/coordinate_scanner.h"
#include "convert/point_text_rewriter.h"
#include "platform/file_exception.h"
#include "platform/stdio_file.h"
#include "testing/temp_folder.h"

namespace convert {
namespace {

using platform::CFile;
using platform::CFileException;
using platform::CStdioFile;
using platform::CString;

constexpr uint64_t kGiB = uint64_t{1} << 30;

// Keeps the first and last bytes written and counts the rest, NUL bytes apart.
class CountingSink {
 public:
  void Write(std::string_view text) {
    size_ += text.size();
    non_nul_ += static_cast<uint64_t>(text.size() - std::count(text.begin(), text.end(), '\0'));
    if (head_.size() < kKept) head_ += text.substr(0, kKept - head_.size());
    tail_ += text.substr(text.size() - std::min(text.size(), kKept));
    if (tail_.size() > kKept) tail_.erase(0, tail_.size() - kKept);
  }
  uint64_t size() const { return size_; }
  uint64_t non_nul() const { return non_nul_; }
  const std::string& head() const { return head_; }
  const std::string& tail() const { return tail_; }

 private:
  static constexpr size_t kKept = 16;
  uint64_t size_ = 0;
  uint64_t non_nul_ = 0;
  std::string head_;
  std::string tail_;
};

// Holes of a file in memory read fastest: nothing needs to be allocated for them.
std::filesystem::path TemporaryFolder() {
#if !defined(_WIN32)
  std::error_code error;
  if (std::filesystem::is_directory("/dev/shm", error)) return "/dev/shm";
#endif
  return std::filesystem::temp_directory_path();
}

class LargeFileTest : public ::testing::Test {
 protected:
  // A file of `size` bytes: NULs (a hole) but for `parts`, each written at its offset.
  void WriteSparse(uint64_t size,
                   std::initializer_list<std::pair<uint64_t, std::string_view>> parts) {
    std::ofstream(path_.str(), std::ios::binary).close();
    std::filesystem::resize_file(path_.str(), size);
    std::fstream out(path_.str(), std::ios::binary | std::ios::in | std::ios::out);
    for (const auto& [offset, bytes] : parts) {
      out.seekp(static_cast<std::streamoff>(offset));
      out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    ASSERT_TRUE(out.good());
  }

  test_support::TempFolder folder_{"large", TemporaryFolder()};
  CString path_{folder_.PathOf("track.kml")};
};

// The coordinate list starts past 4 GiB: the line offset and the seek back need 64 bits.
TEST_F(LargeFileTest, CoordinateLinePastFourGiB) {
  const uint64_t tail_at = 4 * kGiB + 12345;
  const std::string tail = "\n\t<coordinates>\r\n\t\t1,2,0 3,4,0 </coordinates>\r\n";
  WriteSparse(tail_at + tail.size(), {{0, "<kml>\n"}, {tail_at, tail}});
  CStdioFile input(path_, CFile::modeRead);
  input.Seek(tail_at);
  const ScannedCoordinates scanned = ScanCoordinates(input, path_);
  ASSERT_TRUE(scanned.found);
  EXPECT_EQ(scanned.line_start, tail_at + 17);
  EXPECT_EQ(scanned.points, 2);
  CountingSink sink;
  WritePointText(input, scanned, sink);
  EXPECT_EQ(sink.head(), "\t\t1 2\n3 4\n");
}

// A coordinate line of more than 2 GiB (a hole of NULs inside it) ending past 4 GiB: its length
// and trim bounds need 64 bits, and both passes stream it.
TEST_F(LargeFileTest, CoordinateLineLongerThanTwoGiB) {
  const uint64_t head_at = 2 * kGiB + 1000;
  const std::string_view head = "<coordinates>\n</coordinates>1,2,0 ";
  const uint64_t tail_at = head_at + 2 * kGiB + kGiB / 8;
  const std::string_view tail = "3,4,0 </coordinates>\n";
  WriteSparse(tail_at + tail.size(), {{head_at, head}, {tail_at, tail}});
  CStdioFile input(path_, CFile::modeRead);
  input.Seek(head_at);
  const ScannedCoordinates scanned = ScanCoordinates(input, path_);
  ASSERT_TRUE(scanned.found);
  EXPECT_EQ(scanned.line_start, head_at + 14);
  EXPECT_EQ(scanned.text_begin, 14u);
  EXPECT_EQ(scanned.text_end, tail_at + 6 - scanned.line_start);
  EXPECT_EQ(scanned.points, 2);
  CountingSink sink;
  WritePointText(input, scanned, sink);
  const uint64_t holes = tail_at - (head_at + head.size());
  EXPECT_EQ(sink.size(), 4 + holes + 4);
  EXPECT_EQ(sink.non_nul(), 8u);
  EXPECT_EQ(sink.head().substr(0, 4), "1 2\n");
  EXPECT_EQ(sink.tail().substr(12), "3 4\n");
}

// More points than PointCount holds: the count must not wrap, and the error names the file.
TEST(LargeCountTest, PointCountPastInt32MaxIsRefusedNamingTheFile) {
  std::string piece;
  for (int i = 0; i < (1 << 20); ++i) piece += ",0 ";
  CoordinateLineScanner scanner;
  scanner.BeginLine(0);
  ASSERT_FALSE(scanner.Feed("<coordinates>", CStdioFile::PieceEnd::kLineEnd));
  scanner.BeginLine(14);
  // 2^31 + 2^20 points: one more piece than INT32_MAX can count.
  for (int i = 0; i <= 2048; ++i) {
    ASSERT_FALSE(scanner.Feed(piece, CStdioFile::PieceEnd::kMore));
  }
  ASSERT_TRUE(scanner.Feed("", CStdioFile::PieceEnd::kInputEnd));
  try {
    scanner.Result("/maps/huge.kml");
    ADD_FAILURE() << "no error";
  } catch (const CFileException& error) {
    EXPECT_EQ(error.m_cause, CFileException::tooManyPoints);
    EXPECT_NE(error.GetErrorMessage().str().find("/maps/huge.kml"), std::string::npos);
  }
}

}  // namespace
}  // namespace convert
