// TextFile: the buffered file under CStdioFile and CReplaceFile's temporary. Internal to the
// platform layer; CStdioFile (stdio_file.h) documents the text mode it reads and writes.
//
// Reads and writes through one buffer of CStdioFile::kBufferSize bytes, so that a conversion
// stays within a few MiB whatever the size of its files. Every failure throws CFileException
// naming `report_path`, the path the user knows (never a temporary's name).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/cstring.h"
#include "platform/file_exception.h"
#include "platform/stdio_file.h"
#include "platform/stdio_file_os.h"

namespace platform {

class TextFile {
 public:
  // Opens `os_path` in `mode` for exclusive use. Throws CFileException (outOfMemory for the
  // buffer, or the cause of the failed open).
  TextFile(const CString& os_path, os::OpenMode mode, const CString& report_path);
  // Writes out what is buffered and closes; reports nothing (Close is there for that).
  ~TextFile();
  TextFile(const TextFile&) = delete;
  TextFile& operator=(const TextFile&) = delete;

  bool IsOpen() const { return handle_ != os::kNoHandle; }
  FileIdentity Identity() const;

  // As CStdioFile's functions of the same names.
  CStdioFile::PieceEnd ReadLinePiece(std::string_view& piece);
  bool ReadString(std::string& line);
  size_t ReadRaw(char* out, size_t size);
  uint64_t Length() const { return IsOpen() ? os::Size(handle_) : 0; }
  uint64_t GetPosition() const { return writing_ ? file_offset_ + used_ : buffer_offset_ + begin_; }
  void Seek(uint64_t offset);
  void Write(std::string_view text);
  void WriteRaw(std::string_view bytes) { Put(bytes.data(), bytes.size()); }
  void Reserve(uint64_t size);
  void Flush();
  void Close();

 private:
  void RequireOpen() const;
  // Moves what is left of the buffer to its front and reads more behind it. A byte 0x1A in the
  // new data ends the input there: nothing after it is ever data.
  void Fill(bool text_mode = true);
  void Put(const char* data, size_t size);
  // Hands the buffered bytes to the system. After a failure they are dropped, so that a
  // later Close or destructor does not write them a second time.
  void FlushBuffer();

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

}  // namespace platform
