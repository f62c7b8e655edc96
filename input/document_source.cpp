#include "input/document_source.h"

#include <cstring>
#include <memory>

#include "input/kmz_source.h"

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

}  // namespace

Input OpenInput(CStdioFile& file) {
  char head[4];
  size_t got = 0;
  while (got < sizeof head) {
    const size_t count = file.ReadRaw(head + got, sizeof head - got);
    if (count == 0) break;
    got += count;
  }
  file.Seek(0);
  Input input;
  if (LooksLikeZip(std::string_view(head, got))) {
    input.archive = std::make_unique<ZipArchive>(file);
    input.document = input.archive->Open(input.archive->main_entry());
  } else {
    input.document = std::make_unique<FileSource>(file);
  }
  return input;
}

std::unique_ptr<ByteSource> OpenDocument(CStdioFile& file) { return OpenInput(file).document; }

}  // namespace input
