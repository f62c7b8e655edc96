#include "platform/stdio_file.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>

#include "platform/fault_injection.h"
#include "platform/stdio_file_os.h"

namespace platform {
namespace {

using fault::Operation;

// Large enough that reading runs at the speed of the disk, small enough that a conversion
// stays within a few MiB whatever the size of its files.
constexpr size_t kBufferSize = CStdioFile::kBufferSize;

// The byte that ends the input of a text-mode file, as in the C runtime of the platform.
constexpr char kEndOfInput = 0x1A;

os::OpenMode ModeFor(unsigned flags) {
  if ((flags & CFile::modeWrite) == 0) return os::OpenMode::kRead;
  return (flags & CFile::modeCreate) != 0 ? os::OpenMode::kCreate : os::OpenMode::kWriteExisting;
}

}  // namespace

// A buffered text-mode file. Errors name `report_path`, which is the path the user knows.
class TextFile {
 public:
  TextFile(const CString& os_path, os::OpenMode mode, const CString& report_path)
      : report_path_(report_path), writing_(mode != os::OpenMode::kRead) {
    if (const long error = fault::Check(Operation::kAllocate)) {
      throw CFileException(CFileException::outOfMemory, report_path_, error);
    }
    buffer_.reset(new (std::nothrow) char[kBufferSize]);
    if (!buffer_) throw CFileException(CFileException::outOfMemory, report_path_);
    if (const long error = fault::Check(Operation::kOpen)) {
      throw CFileException(CFileException::OsErrorToCause(error, writing_), report_path_, error);
    }
    const os::OpenResult opened = os::Open(os_path, mode);
    if (opened.cause != CFileException::none) {
      throw CFileException(opened.cause, report_path_, opened.error);
    }
    handle_ = opened.handle;
  }

  ~TextFile() {
    if (handle_ == os::kNoHandle) return;
    try {
      FlushBuffer();
    } catch (const CFileException&) {
      // A destructor reports nothing; Close is there for callers that want to know.
    }
    os::Close(handle_);
  }

  TextFile(const TextFile&) = delete;
  TextFile& operator=(const TextFile&) = delete;

  bool IsOpen() const { return handle_ != os::kNoHandle; }

  FileIdentity Identity() const {
    FileIdentity identity;
    if (IsOpen()) os::Identity(handle_, &identity);
    return identity;
  }

  CStdioFile::PieceEnd ReadLinePiece(std::string_view& piece) {
    using PieceEnd = CStdioFile::PieceEnd;
    char* const data = buffer_.get();
    for (;;) {
      if (begin_ == end_) {
        if (input_ended_) {
          piece = {};
          return PieceEnd::kInputEnd;
        }
        Fill();
        continue;
      }
      char* const line_feed = static_cast<char*>(std::memchr(data + begin_, '\n', end_ - begin_));
      if (line_feed != nullptr) {
        size_t length = static_cast<size_t>(line_feed - (data + begin_));
        if (length > 0 && line_feed[-1] == '\r') --length;
        piece = std::string_view(data + begin_, length);
        begin_ = static_cast<size_t>(line_feed - data) + 1;
        return PieceEnd::kLineEnd;
      }
      // No line end in the buffer: read on while there is room, so that short lines come whole.
      if (!input_ended_ && end_ - begin_ < kBufferSize / 2) {
        Fill();
        continue;
      }
      size_t length = end_ - begin_;
      // A CR at the end of the buffer may be the first half of a CR LF: keep it until the next
      // byte is known.
      if (!input_ended_ && data[end_ - 1] == '\r') --length;
      if (length == 0) {
        Fill();
        continue;
      }
      piece = std::string_view(data + begin_, length);
      begin_ += length;
      return input_ended_ && begin_ == end_ ? PieceEnd::kInputEnd : PieceEnd::kMore;
    }
  }

  bool ReadString(std::string& line) {
    line.clear();
    std::string_view piece;
    for (;;) {
      const CStdioFile::PieceEnd end = ReadLinePiece(piece);
      line.append(piece);
      if (end == CStdioFile::PieceEnd::kLineEnd) return true;
      if (end == CStdioFile::PieceEnd::kInputEnd) return !line.empty();
    }
  }

  size_t ReadRaw(char* out, size_t size) {
    if (begin_ == end_ && size > 0) {
      // Whatever a text read left in the buffer has been given; a raw read goes on from the
      // buffer's end, where a byte 0x1A no longer ends anything.
      input_ended_ = false;
      Fill(/*text_mode=*/false);
    }
    const size_t count = std::min(size, end_ - begin_);
    std::memcpy(out, buffer_.get() + begin_, count);
    begin_ += count;
    return count;
  }

  uint64_t Length() const { return IsOpen() ? os::Size(handle_) : 0; }

  uint64_t GetPosition() const { return writing_ ? file_offset_ + used_ : buffer_offset_ + begin_; }

  void Seek(uint64_t offset) {
    if (writing_) {
      FlushBuffer();
    } else if (offset >= buffer_offset_ && offset - buffer_offset_ <= end_) {
      begin_ = static_cast<size_t>(offset - buffer_offset_);
      return;
    }
    RequireOpen();
    long error = fault::Check(Operation::kSeek);
    if (error == 0) error = os::SeekTo(handle_, offset);
    if (error != 0) throw CFileException(CFileException::badSeek, report_path_, error);
    file_offset_ = offset;
    buffer_offset_ = offset;
    begin_ = end_ = 0;
    input_ended_ = false;
  }

  void Write(std::string_view text) {
    while (!text.empty()) {
      const char* line_feed = static_cast<const char*>(std::memchr(text.data(), '\n', text.size()));
      size_t length =
          line_feed != nullptr ? static_cast<size_t>(line_feed - text.data()) : text.size();
      Put(text.data(), length);
      if (line_feed != nullptr) {
        Put("\r\n", 2);
        ++length;
      }
      text.remove_prefix(length);
    }
  }

  void WriteRaw(std::string_view bytes) { Put(bytes.data(), bytes.size()); }

  void Reserve(uint64_t size) {
    if (writing_ && IsOpen()) os::Reserve(handle_, file_offset_ + used_, size);
  }

  void Flush() {
    FlushBuffer();
    RequireOpen();
    long error = fault::Check(Operation::kFlush);
    if (error == 0) error = os::Sync(handle_);
    if (error != 0) CFileException::ThrowOsError(error, report_path_, true);
  }

  void Close() {
    if (!IsOpen()) return;
    try {
      FlushBuffer();
    } catch (const CFileException&) {
      os::Close(handle_);
      handle_ = os::kNoHandle;
      throw;
    }
    long error = fault::Check(Operation::kClose);
    const long close_error = os::Close(handle_);
    handle_ = os::kNoHandle;
    if (error == 0) error = close_error;
    if (error != 0) CFileException::ThrowOsError(error, report_path_, writing_);
  }

 private:
  void RequireOpen() const {
    if (!IsOpen()) throw CFileException(CFileException::invalidFile, report_path_);
  }

  // Moves what is left of the buffer to its front and reads more behind it. A byte 0x1A in the
  // new data ends the input there: nothing after it is ever data.
  void Fill(bool text_mode = true) {
    RequireOpen();
    char* const data = buffer_.get();
    if (begin_ > 0) {
      std::memmove(data, data + begin_, end_ - begin_);
      buffer_offset_ += begin_;
      end_ -= begin_;
      begin_ = 0;
    }
    size_t got = 0;
    long error = fault::Check(Operation::kRead);
    if (error == 0) error = os::Read(handle_, data + end_, kBufferSize - end_, &got);
    if (error != 0) CFileException::ThrowOsError(error, report_path_, false);
    file_offset_ += got;
    if (got == 0) {
      input_ended_ = true;
      return;
    }
    const void* stop = text_mode ? std::memchr(data + end_, kEndOfInput, got) : nullptr;
    if (stop != nullptr) {
      got = static_cast<size_t>(static_cast<const char*>(stop) - (data + end_));
      input_ended_ = true;
    }
    end_ += got;
  }

  void Put(const char* data, size_t size) {
    while (size > 0) {
      if (used_ == kBufferSize) FlushBuffer();
      const size_t count = std::min(size, kBufferSize - used_);
      std::memcpy(buffer_.get() + used_, data, count);
      used_ += count;
      data += count;
      size -= count;
    }
  }

  // Hands the buffered bytes to the system. After a failure they are dropped, so that a
  // later Close or destructor does not write them a second time.
  void FlushBuffer() {
    if (!writing_ || used_ == 0) return;
    RequireOpen();
    const size_t size = used_;
    used_ = 0;
    long error = fault::Check(Operation::kWrite);
    if (error == 0) error = os::WriteAll(handle_, buffer_.get(), size);
    if (error != 0) CFileException::ThrowOsError(error, report_path_, true);
    file_offset_ += size;
  }

  CString report_path_;
  bool writing_;
  os::Handle handle_ = os::kNoHandle;
  std::unique_ptr<char[]> buffer_;
  // Reading: the bytes [begin_, end_) of the buffer are still to be read; buffer_[0] stands at
  // buffer_offset_ in the file.
  size_t begin_ = 0;
  size_t end_ = 0;
  uint64_t buffer_offset_ = 0;
  bool input_ended_ = false;
  // Writing: used_ bytes wait in the buffer; file_offset_ is the system's file position.
  size_t used_ = 0;
  uint64_t file_offset_ = 0;
};

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

// The temporary is created beside the target, so that the rename stays within one folder
// (and one file system), and exclusively, so that it is ours alone. The old target is kept
// under a backup name beside it until the object ends, so that Rollback can put it back.
class CReplaceFile::Impl {
 public:
  explicit Impl(const CString& target)
      : target_(target),
        destination_(os::ReplacementTarget(target)),
        native_destination_(os::MakeNativePath(destination_)) {
    os::Handle hold = os::kNoHandle;
    const os::OpenResult checked = HoldTarget(&hold);
    os::Release(hold);
    if (checked.cause != CFileException::none) {
      throw CFileException(checked.cause, target_, checked.error);
    }
    uint64_t seed = os::UniqueSeed();
    bool short_name = false;
    for (int attempt = 0;; ++attempt) {
      seed = seed * 6364136223846793005u + 1442695040888963407u;
      const CString stem = UniqueStem(seed, short_name);
      temporary_ = stem + ".tmp";
      // Every name that Commit and Rollback use is ready before the temporary exists.
      native_temporary_ = os::MakeNativePath(temporary_);
      native_backup_ = os::MakeNativePath(stem + ".old");
      try {
        file_ = std::make_unique<TextFile>(temporary_, os::OpenMode::kCreateNew, target_);
        return;
      } catch (const CFileException& error) {
        if (attempt < 100 && os::IsAlreadyExists(error.m_lOsError)) continue;
        if (!short_name && os::IsNameTooLong(error.m_lOsError)) {
          short_name = true;
          continue;
        }
        throw;
      }
    }
  }

  ~Impl() {
    switch (state_) {
      case State::kWriting:
        file_.reset();
        os::Remove(native_temporary_);
        break;
      case State::kCommitted:
        if (backup_kept_) os::Remove(native_backup_);
        break;
      case State::kRolledBack:
        break;  // a backup that could not be put back stays, the only copy of the old content
    }
  }

  void Write(std::string_view text) { file_->Write(text); }
  void WriteRaw(std::string_view bytes) { file_->WriteRaw(bytes); }
  void Reserve(uint64_t size) { file_->Reserve(size); }

  // Closing is part of finishing: close() may still report a write error (network file
  // systems do), and once the first of several outputs is renamed, Commit must only fail on
  // the rename.
  void Finish() {
    file_->Flush();
    file_->Close();
  }

  void Commit() {
    os::Handle hold = os::kNoHandle;
    const os::OpenResult checked = HoldTarget(&hold);
    if (checked.cause != CFileException::none) {
      throw CFileException(checked.cause, target_, checked.error);
    }
    os::KeepPermissions(native_destination_, native_temporary_);
    long error = KeepOldTarget();
    if (error == 0) {
      error = fault::Check(Operation::kRename);
      if (error == 0) error = os::Rename(native_temporary_, native_destination_);
      if (error != 0) DropBackup();
    }
    os::Release(hold);
    if (error != 0) CFileException::ThrowOsError(error, target_, true);
    state_ = State::kCommitted;
    // Only best effort from here on: the target is replaced, and an error now (say, no memory
    // for the folder's name) would fail a conversion that has taken place.
    SyncFolder();
  }

  void Rollback() noexcept {
    if (state_ != State::kCommitted) return;
    state_ = State::kRolledBack;
    if (!backup_kept_) {
      os::Remove(native_destination_);
    } else if (fault::Check(Operation::kRename) == 0 &&
               os::Rename(native_backup_, native_destination_) == 0) {
      backup_kept_ = false;
    }
    SyncFolder();
  }

 private:
  enum class State { kWriting, kCommitted, kRolledBack };

  os::OpenResult HoldTarget(os::Handle* hold) const {
    if (const long error = fault::Check(Operation::kHold)) {
      os::OpenResult failed;
      failed.cause = CFileException::OsErrorToCause(error, true);
      failed.error = error;
      return failed;
    }
    return os::HoldTarget(native_destination_, hold);
  }

  // Makes the old target, if there is one, reachable under the backup name: a second name of
  // the same file, so that the target never goes missing, or on file systems without hard
  // links the old target renamed aside, just before the temporary takes its name.
  long KeepOldTarget() {
    long error = fault::Check(Operation::kLink);
    if (error == 0) error = os::Link(native_destination_, native_backup_);
    if (error == 0) {
      backup_kept_ = true;
      return 0;
    }
    if (os::IsNotFound(error)) return 0;  // nothing to keep
    // A backup name taken by someone else is never renamed over.
    if (os::IsAlreadyExists(error)) return error;
    error = fault::Check(Operation::kRename);
    if (error == 0) error = os::Rename(native_destination_, native_backup_);
    if (error == 0) {
      backup_kept_ = true;
      moved_aside_ = true;
      return 0;
    }
    return os::IsNotFound(error) ? 0 : error;
  }

  // After a failed rename: the target as it was, and no backup.
  void DropBackup() {
    if (!backup_kept_) return;
    if (moved_aside_) {
      os::Rename(native_backup_, native_destination_);
    } else {
      os::Remove(native_backup_);
    }
    backup_kept_ = false;
  }

  void SyncFolder() noexcept {
    try {
      os::SyncFolderOf(destination_);
    } catch (const std::bad_alloc&) {
    }
  }

  CString UniqueStem(uint64_t seed, bool short_name) const {
    static const char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    std::string unique;
    for (int i = 0; i < 6; ++i) {
      unique += kDigits[seed % 36];
      seed /= 36;
    }
    const CString stem = short_name ? os::FolderPrefix(destination_) : destination_;
    return stem + (short_name ? "kml2mif-" : ".kml2mif-") + CString(unique);
  }

  CString target_;
  CString destination_;
  CString temporary_;
  os::NativePath native_destination_;
  os::NativePath native_temporary_;
  os::NativePath native_backup_;
  std::unique_ptr<TextFile> file_;
  State state_ = State::kWriting;
  bool backup_kept_ = false;  // the old target is reachable under the backup name
  bool moved_aside_ = false;  // ... because it was renamed there, not linked
};

CReplaceFile::CReplaceFile(const CString& target_path)
    : target_(target_path), impl_(std::make_unique<Impl>(target_path)) {}

CReplaceFile::~CReplaceFile() = default;

void CReplaceFile::Write(std::string_view text) { impl_->Write(text); }

void CReplaceFile::WriteRaw(std::string_view bytes) { impl_->WriteRaw(bytes); }

void CReplaceFile::Reserve(uint64_t size) { impl_->Reserve(size); }

void CReplaceFile::Finish() { impl_->Finish(); }

void CReplaceFile::Commit() { impl_->Commit(); }

void CReplaceFile::Rollback() noexcept { impl_->Rollback(); }

}  // namespace platform
