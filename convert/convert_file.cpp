#include "convert/convert_file.h"

#include <algorithm>
#include <string>
#include <string_view>

#include "convert/coordinate_scanner.h"
#include "convert/point_text_rewriter.h"
#include "platform/code_page.h"
#include "platform/file_exception.h"
#include "platform/stdio_file.h"

namespace convert {

using platform::CFile;
using platform::CFileException;
using platform::CReplaceFile;
using platform::CStdioFile;
using platform::CString;

namespace {

// The bytes that end a folder part of a path (and, on Windows, a drive).
#if defined(_WIN32)
constexpr std::string_view kFolderEnds = "\\/:";
#else
constexpr std::string_view kFolderEnds = "/";
#endif

constexpr size_t kExtensionLength = 3;

constexpr char kMifHeader[] =
    "VERSION 300\n"
    "DELIMITER \",\"\n"
    "COLUMNS 1\n"
    "blank char(1)\n"
    "DATA\n";

bool IsFolderEnd(char byte) { return kFolderEnds.find(byte) != std::string_view::npos; }

bool IsCharacterBoundary(const CString& text, size_t offset) {
  const platform::CodePage& page = platform::CodePage::System();
  size_t at = 0;
  while (at < offset) at += page.CharLength(text.GetString() + at, text.GetLength() - at);
  return at == offset;
}

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

bool IsDigit(char byte) { return byte >= '0' && byte <= '9'; }

// A decimal number as MIF readers take it: a sign, digits with at most one point, an exponent.
bool IsNumber(std::string_view token) {
  size_t at = 0;
  if (at < token.size() && (token[at] == '-' || token[at] == '+')) ++at;
  size_t digits = 0;
  bool point = false;
  for (; at < token.size(); ++at) {
    if (IsDigit(token[at])) {
      ++digits;
    } else if (token[at] == '.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  if (digits == 0) return false;
  if (at < token.size() && (token[at] == 'e' || token[at] == 'E')) {
    ++at;
    if (at < token.size() && (token[at] == '-' || token[at] == '+')) ++at;
    const size_t exponent_start = at;
    while (at < token.size() && IsDigit(token[at])) ++at;
    if (at == exponent_start) return false;
  }
  return at == token.size();
}

bool IsPair(std::string_view line) {
  size_t numbers = 0;
  size_t at = 0;
  while (at < line.size()) {
    while (at < line.size() && IsBlank(line[at])) ++at;
    if (at == line.size()) break;
    size_t end = at;
    while (end < line.size() && !IsBlank(line[end])) ++end;
    if (!IsNumber(line.substr(at, end - at))) return false;
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

// Renaming an output over a name of the input (the same name, another case of it, a link or a
// hard link) would destroy the input, so such an input is refused before any output exists.
void RefuseOutputThatIsInput(const CString& output_path, const CStdioFile& input,
                             const CString& input_path) {
  platform::FileIdentity output;
  if (platform::GetFileIdentity(output_path, &output) && output == input.GetIdentity()) {
    throw CFileException(CFileException::sameAsInput, input_path);
  }
}

void CommitPair(CReplaceFile& mid, CReplaceFile& mif) {
  // Both outputs are on disk before either replaces its old file, and the old MID comes back
  // if the MIF cannot replace its own: the pair is never left half new.
  mid.Finish();
  mif.Finish();
  mid.Commit();
  try {
    mif.Commit();
  } catch (...) {
    mid.Rollback();
    throw;
  }
}

CString MakeSiblingPath(const CString& path, const char* extension) {
  const std::string_view text = path.view();
  if (text.size() <= kExtensionLength) {
    throw CFileException(CFileException::nameTooShort, path);
  }
  const size_t kept = text.size() - kExtensionLength;
  if (text.substr(kept).find_first_of(kFolderEnds) != std::string_view::npos ||
      IsFolderEnd(text[kept - 1])) {
    throw CFileException(CFileException::nameTooShort, path);
  }
  // Cutting a double-byte character in two would join its lead byte to the new extension and
  // make a name the user never chose.
  if (!IsCharacterBoundary(path, kept)) {
    throw CFileException(CFileException::nameTooShort, path);
  }
  return path.Left(kept) + extension;
}

CString MakeOutputPath(const CString& path, const CString& output_folder, const char* extension) {
  CString sibling = MakeSiblingPath(path, extension);
  if (output_folder.IsEmpty()) return sibling;
  const std::string_view text = sibling.view();
  const size_t folder_end = text.find_last_of(kFolderEnds);
  const std::string_view name =
      folder_end == std::string_view::npos ? text : text.substr(folder_end + 1);
  CString output = output_folder;
  if (!IsFolderEnd(output_folder.view().back())) output += kFolderEnds[0];
  return output += name;
}

ConversionSummary ConvertFile(const CString& path) { return ConvertFile(path, CString()); }

ConversionSummary ConvertFile(const CString& path, const CString& output_folder) {
  ConversionSummary summary;
  summary.mid_path = MakeOutputPath(path, output_folder, "mid");
  summary.mif_path = MakeOutputPath(path, output_folder, "mif");

  CStdioFile input(path, CFile::modeRead);
  RefuseOutputThatIsInput(summary.mid_path, input, path);
  RefuseOutputThatIsInput(summary.mif_path, input, path);

  CReplaceFile mid(summary.mid_path);
  CReplaceFile mif(summary.mif_path);

  const ScannedCoordinates scanned = ScanCoordinates(input, path);
  summary.found_coordinate_line = scanned.found;
  summary.point_count = scanned.points;

  mif.Write(kMifHeader);
  CString polyline;
  polyline.Format("PLINE %d\n", static_cast<int>(scanned.points));
  mif.WriteString(polyline);
  SampledOutput point_text(mif);
  WritePointText(input, scanned, point_text);
  summary.point_text_is_pairs = point_text.IsPairs();
  WriteLineEnds(mid, scanned.points);

  CommitPair(mid, mif);
  return summary;
}

}  // namespace convert
