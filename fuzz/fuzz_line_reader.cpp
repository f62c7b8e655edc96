// Fuzz target: the text-mode line reader against the plain reference reader.
// The same file is read three times: line by line with ReadString, in pieces with
// ReadLinePiece, and once more after seeking back to a chosen byte of a chosen line.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "platform/stdio_file.h"

namespace {

using platform::CFile;
using platform::CStdioFile;
using platform::CString;

void CheckReadString(const CString& path, const std::vector<fuzz::ReferenceLine>& expected) {
  CStdioFile file(path, CFile::modeRead);
  CString line;
  for (const fuzz::ReferenceLine& want : expected) {
    fuzz::CheckEqual("ReadString: position at the start of a line",
                     static_cast<long long>(want.start),
                     static_cast<long long>(file.GetPosition()));
    fuzz::Check("ReadString: a line before the end", file.ReadString(line));
    fuzz::CheckEqual("ReadString: line", want.text, line.view());
  }
  fuzz::Check("ReadString: end of the input", !file.ReadString(line));
  fuzz::Check("ReadString: empty line at the end", line.IsEmpty());
  fuzz::Check("ReadString: end of the input stays", !file.ReadString(line));
}

void CheckReadLinePiece(const CString& path, const std::vector<fuzz::ReferenceLine>& expected) {
  CStdioFile file(path, CFile::modeRead);
  std::vector<std::string> lines;
  std::string current;
  for (;;) {
    std::string_view piece;
    const CStdioFile::PieceEnd end = file.ReadLinePiece(piece);
    current += piece;
    if (end == CStdioFile::PieceEnd::kLineEnd) {
      lines.push_back(std::move(current));
      current.clear();
    } else if (end == CStdioFile::PieceEnd::kInputEnd) {
      if (!current.empty()) lines.push_back(std::move(current));
      break;
    }
    fuzz::Check("ReadLinePiece: more lines than the input holds", lines.size() <= expected.size());
  }
  fuzz::CheckEqual("ReadLinePiece: number of lines", static_cast<long long>(expected.size()),
                   static_cast<long long>(lines.size()));
  for (size_t i = 0; i < lines.size(); ++i) {
    fuzz::CheckEqual("ReadLinePiece: line", expected[i].text, lines[i]);
  }
  std::string_view piece;
  fuzz::Check("ReadLinePiece: end of the input stays",
              file.ReadLinePiece(piece) == CStdioFile::PieceEnd::kInputEnd && piece.empty());
}

// Reads to the end once, seeks back into line `line_index` at `skip` bytes from its start and
// reads the rest of that line and the line after it.
void CheckSeek(const CString& path, const std::vector<fuzz::ReferenceLine>& expected,
               size_t line_index, size_t skip) {
  if (expected.empty()) return;
  line_index %= expected.size();
  const fuzz::ReferenceLine& want = expected[line_index];
  skip = want.text.empty() ? 0 : skip % want.text.size();
  CStdioFile file(path, CFile::modeRead);
  CString line;
  while (file.ReadString(line)) {
  }
  file.Seek(want.start + skip);
  fuzz::CheckEqual("Seek: position", static_cast<long long>(want.start + skip),
                   static_cast<long long>(file.GetPosition()));
  fuzz::Check("Seek: a line after the seek", file.ReadString(line));
  fuzz::CheckEqual("Seek: rest of the line", std::string_view(want.text).substr(skip), line.view());
  if (line_index + 1 < expected.size()) {
    fuzz::Check("Seek: the next line", file.ReadString(line));
    fuzz::CheckEqual("Seek: the next line", expected[line_index + 1].text, line.view());
  } else {
    fuzz::Check("Seek: end of the input after the last line", !file.ReadString(line));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static fuzz::ScratchFile scratch("line-reader");
  fuzz::Input input(data, size);
  const uint8_t seek_line = input.Byte();
  const uint8_t seek_skip = input.Byte();
  const std::string content = fuzz::InflatedContent(input);
  const std::vector<fuzz::ReferenceLine> expected = fuzz::ReferenceReadLines(content);
  scratch.Write(content);
  CheckReadString(scratch.path(), expected);
  CheckReadLinePiece(scratch.path(), expected);
  CheckSeek(scratch.path(), expected, seek_line, seek_skip * 61u);
  return 0;
}
