#include "platform/text_file.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>

#include "platform/fault_injection.h"

namespace platform {
namespace {

using fault::Operation;

// Large enough that reading runs at the speed of the disk, small enough that a conversion
// stays within a few MiB whatever the size of its files.
constexpr size_t kBufferSize = CStdioFile::kBufferSize;

// The byte that ends the input of a text-mode file, as in the C runtime of the platform.
constexpr char kEndOfInput = 0x1A;

}  // namespace

TextFile::TextFile(const CString& os_path, os::OpenMode mode, const CString& report_path)
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

TextFile::~TextFile() {
  if (handle_ == os::kNoHandle) return;
  try {
    FlushBuffer();
  } catch (const CFileException&) {
    // A destructor reports nothing; Close is there for callers that want to know.
  }
  os::Close(handle_);
}

FileIdentity TextFile::Identity() const {
  FileIdentity identity;
  if (IsOpen()) os::Identity(handle_, &identity);
  return identity;
}

CStdioFile::PieceEnd TextFile::ReadLinePiece(std::string_view& piece) {
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

bool TextFile::ReadString(std::string& line) {
  line.clear();
  std::string_view piece;
  for (;;) {
    const CStdioFile::PieceEnd end = ReadLinePiece(piece);
    line.append(piece);
    if (end == CStdioFile::PieceEnd::kLineEnd) return true;
    if (end == CStdioFile::PieceEnd::kInputEnd) return !line.empty();
  }
}

size_t TextFile::ReadRaw(char* out, size_t size) {
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

void TextFile::Seek(uint64_t offset) {
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

void TextFile::Write(std::string_view text) {
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

void TextFile::Reserve(uint64_t size) {
  if (writing_ && IsOpen()) os::Reserve(handle_, file_offset_ + used_, size);
}

void TextFile::Flush() {
  FlushBuffer();
  RequireOpen();
  long error = fault::Check(Operation::kFlush);
  if (error == 0) error = os::Sync(handle_);
  if (error != 0) CFileException::ThrowOsError(error, report_path_, true);
}

void TextFile::Close() {
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

void TextFile::RequireOpen() const {
  if (!IsOpen()) throw CFileException(CFileException::invalidFile, report_path_);
}

void TextFile::Fill(bool text_mode) {
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

void TextFile::Put(const char* data, size_t size) {
  while (size > 0) {
    if (used_ == kBufferSize) FlushBuffer();
    const size_t count = std::min(size, kBufferSize - used_);
    std::memcpy(buffer_.get() + used_, data, count);
    used_ += count;
    data += count;
    size -= count;
  }
}

void TextFile::FlushBuffer() {
  if (!writing_ || used_ == 0) return;
  RequireOpen();
  const size_t size = used_;
  used_ = 0;
  long error = fault::Check(Operation::kWrite);
  if (error == 0) error = os::WriteAll(handle_, buffer_.get(), size);
  if (error != 0) CFileException::ThrowOsError(error, report_path_, true);
  // What is written here is synced before it replaces its target: its pages may leave for the
  // disk now. (Spill files write through os::WriteAll alone: they need never reach the disk.)
  os::StartWriteback(handle_);
  file_offset_ += size;
}

}  // namespace platform
