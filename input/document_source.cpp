#include "input/document_source.h"

#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "input/kmz_source.h"
#include "platform/file_exception.h"

namespace input {
namespace {

using platform::CStdioFile;

class FileSource final : public ByteSource {
 public:
  explicit FileSource(CStdioFile& file) : file_(file), size_(file.GetLength()) {}

  size_t Read(char* buffer, size_t size) override { return file_.ReadRaw(buffer, size); }
  uint64_t FilePosition() const override { return file_.GetPosition(); }
  uint64_t FileSize() const override { return size_; }

 private:
  CStdioFile& file_;
  uint64_t size_;
};

bool HasKmzName(const platform::CString& path) {
  const std::string_view name = path.view();
  if (name.size() < 4) return false;
  std::string ending(name.substr(name.size() - 4));
  for (char& ch : ending) {
    if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
  }
  return ending == ".kmz";
}

// Whether the file, read from its start, opens as XML text: '<' after a byte order mark and
// blanks (NUL bytes skipped, so that UTF-16 of either order passes). Reads as far as the first
// byte that decides.
bool LooksLikeXml(CStdioFile& file) {
  char buffer[4096];
  bool at_start = true;
  while (const size_t count = file.ReadRaw(buffer, sizeof buffer)) {
    std::string_view bytes(buffer, count);
    if (at_start) {
      for (const std::string_view mark : {"\xEF\xBB\xBF", "\xFF\xFE", "\xFE\xFF"}) {
        if (bytes.starts_with(mark)) bytes.remove_prefix(mark.size());
      }
      at_start = false;
    }
    const size_t first = bytes.find_first_not_of(std::string_view(" \t\r\n\0", 5));
    if (first != std::string_view::npos) return bytes[first] == '<';
  }
  return false;
}

}  // namespace

Input OpenInput(CStdioFile& file) {
  char head[4];
  size_t got = 0;
  while (got < sizeof head) {
    const size_t count = file.ReadRaw(head + got, sizeof head - got);
    if (count == 0) break;
    got += count;
  }
  const std::string_view start(head, got);
  bool zip = LooksLikeZip(start);
  if (!zip && HasKmzName(file.GetFilePath())) {
    // Any other zip (an empty archive, say) is the zip layer's to report. A KMZ that is plain
    // KML is read as such; anything else (an image renamed) would only be reported as XML that
    // is not well-formed.
    file.Seek(0);
    zip = start.starts_with("PK");
    if (!zip && !LooksLikeXml(file)) {
      throw platform::CFileException(platform::CFileException::notZip, file.GetFilePath());
    }
  }
  file.Seek(0);
  Input input;
  if (zip) {
    input.archive = std::make_unique<ZipArchive>(file);
    input.document = input.archive->Open(input.archive->main_entry());
  } else {
    input.document = std::make_unique<FileSource>(file);
  }
  return input;
}

std::unique_ptr<ByteSource> OpenDocument(CStdioFile& file) { return OpenInput(file).document; }

}  // namespace input
