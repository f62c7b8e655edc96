#include "convert/first_line.h"

#include <algorithm>
#include <string>
#include <string_view>

#include "convert/coordinate_scanner.h"
#include "convert/output_pair.h"
#include "convert/point_text_rewriter.h"
#include "feature/number.h"
#include "platform/replace_file.h"

namespace convert {

using platform::CReplaceFile;
using platform::CString;

namespace {

constexpr char kMifHeader[] =
    "VERSION 300\n"
    "DELIMITER \",\"\n"
    "COLUMNS 1\n"
    "blank char(1)\n"
    "DATA\n";

void WriteLineEnds(CReplaceFile& output, PointCount count) {
  // Written as the CR LF that text mode makes of "\n", so that the bytes are not looked at again.
  constexpr std::string_view kLineEnd = "\r\n";
  static const std::string kLineEnds = [&] {
    std::string line_ends;
    for (int i = 0; i < 4096; ++i) line_ends += kLineEnd;
    return line_ends;
  }();
  const size_t per_write = kLineEnds.size() / kLineEnd.size();
  for (auto left = static_cast<size_t>(count); left > 0;) {
    const size_t lines = std::min(left, per_write);
    output.WriteRaw(std::string_view(kLineEnds).substr(0, lines * kLineEnd.size()));
    left -= lines;
  }
}

// Passes the point text on to the MIF and keeps its first bytes, which tell whether a MIF
// reader can take it.
class SampledOutput {
 public:
  static constexpr size_t kSampleSize = 4096;
  explicit SampledOutput(CReplaceFile& output) : output_(output) {}
  void WriteRaw(std::string_view bytes) {
    if (sample_.size() < kSampleSize) {
      sample_.append(bytes.substr(0, kSampleSize - sample_.size()));
    }
    written_ += bytes.size();
    output_.WriteRaw(bytes);
  }
  void Reserve(uint64_t size) { output_.Reserve(size); }
  bool IsPairs() const { return IsPairsOfNumbers(sample_, written_ == sample_.size()); }

 private:
  CReplaceFile& output_;
  std::string sample_;
  uint64_t written_ = 0;
};

bool IsBlank(char byte) { return byte == ' ' || byte == '\t' || byte == '\r'; }

bool IsPair(std::string_view line) {
  size_t numbers = 0;
  size_t at = 0;
  while (at < line.size()) {
    while (at < line.size() && IsBlank(line[at])) ++at;
    if (at == line.size()) break;
    size_t end = at;
    while (end < line.size() && !IsBlank(line[end])) ++end;
    // A MIF reader takes any decimal number; its range is not this check's concern.
    if (!feature::IsDecimalNumber(line.substr(at, end - at))) return false;
    ++numbers;
    at = end;
  }
  return numbers == 2;
}

}  // namespace

bool IsPairsOfNumbers(std::string_view text, bool complete) {
  while (!text.empty()) {
    const size_t end = text.find('\n');
    if (end == std::string_view::npos) return !complete || IsPair(text);
    if (!IsPair(text.substr(0, end))) return false;
    text.remove_prefix(end + 1);
  }
  return true;
}

FirstLineSummary ConvertFile(const CString& path) { return ConvertFile(path, CString()); }

FirstLineSummary ConvertFile(const CString& path, const CString& output_folder) {
  OutputPair outputs(path, output_folder);
  FirstLineSummary summary;
  summary.mid_path = outputs.mid_path();
  summary.mif_path = outputs.mif_path();
  CReplaceFile& mif = outputs.mif();

  const ScannedCoordinates scanned = ScanCoordinates(outputs.input(), path);
  summary.found_coordinate_line = scanned.found;
  summary.point_count = scanned.points;

  mif.Write(kMifHeader);
  CString polyline;
  polyline.Format("PLINE %d\n", static_cast<int>(scanned.points));
  mif.WriteString(polyline);
  SampledOutput point_text(mif);
  WritePointText(outputs.input(), scanned, point_text);
  summary.point_text_is_pairs = point_text.IsPairs();
  WriteLineEnds(outputs.mid(), scanned.points);

  outputs.Commit();
  return summary;
}

}  // namespace convert
