#include "platform/stdio_file.h"

#include <new>
#include <string>

#include "platform/text_file.h"

namespace platform {
namespace {

os::OpenMode ModeFor(unsigned flags) {
  if ((flags & CFile::modeWrite) == 0) return os::OpenMode::kRead;
  return (flags & CFile::modeCreate) != 0 ? os::OpenMode::kCreate : os::OpenMode::kWriteExisting;
}

}  // namespace

class CStdioFile::Impl : public TextFile {
 public:
  using TextFile::TextFile;
};

CStdioFile::CStdioFile(const CString& path, unsigned flags)
    : path_(path), impl_(std::make_unique<Impl>(path, ModeFor(flags), path)) {}

CStdioFile::~CStdioFile() = default;

FileIdentity CStdioFile::GetIdentity() const { return impl_->Identity(); }

bool CStdioFile::ReadString(CString& line) {
  std::string text;
  bool found;
  try {
    found = impl_->ReadString(text);
  } catch (const std::bad_alloc&) {
    // A line longer than the memory there is to hold it.
    throw CFileException(CFileException::outOfMemory, path_);
  }
  line = CString(std::move(text));
  return found;
}

CStdioFile::PieceEnd CStdioFile::ReadLinePiece(std::string_view& piece) {
  return impl_->ReadLinePiece(piece);
}

size_t CStdioFile::ReadRaw(char* buffer, size_t size) { return impl_->ReadRaw(buffer, size); }

uint64_t CStdioFile::GetLength() const { return impl_->Length(); }

uint64_t CStdioFile::GetPosition() const { return impl_->GetPosition(); }

void CStdioFile::Seek(uint64_t offset) { impl_->Seek(offset); }

void CStdioFile::Write(std::string_view text) { impl_->Write(text); }

void CStdioFile::WriteRaw(std::string_view bytes) { impl_->WriteRaw(bytes); }

void CStdioFile::Reserve(uint64_t size) { impl_->Reserve(size); }

void CStdioFile::Flush() { impl_->Flush(); }

void CStdioFile::Close() { impl_->Close(); }

}  // namespace platform
