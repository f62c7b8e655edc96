// CStdioFile: text-mode files, as the program reads KML and writes MIF/MID.
//
// Reading: LF or CR LF ends a line, a lone CR stays in the line, a byte 0x1A ends the input,
// a last line without a line end is still a line, NUL bytes are ordinary data, lines may be
// of any length. Writing: every "\n" becomes CR LF, on every platform.
// A file is opened for exclusive use: on Windows with share mode 0, elsewhere with a
// non-blocking exclusive lock that every instance of this program respects. Opening a file
// that another holder has gives CFileException::sharingViolation.
// Sizes and offsets are 64-bit. Every failure raises CFileException naming GetFilePath().
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "platform/cstring.h"
#include "platform/file_exception.h"

namespace platform {

class CFile {
 public:
  enum OpenFlags : unsigned {
    modeRead = 0x0000,
    modeWrite = 0x0001,
    modeCreate = 0x1000,
  };
};

// What identifies a file on its device (device and inode, or volume serial and file index),
// so that two names of the same file compare equal.
struct FileIdentity {
  uint64_t device = 0;
  uint64_t index_high = 0;
  uint64_t index_low = 0;
  friend bool operator==(const FileIdentity& a, const FileIdentity& b) {
    return a.device == b.device && a.index_high == b.index_high && a.index_low == b.index_low;
  }
};

// The identity of the file at `path`, or false when there is no such file (or it cannot be
// looked at). Never throws.
bool GetFileIdentity(const CString& path, FileIdentity* identity);

// What a path names, links followed.
enum class FileKind { kMissing, kRegular, kFolder, kDevice, kPipe, kSocket };

// The kind of what `path` names; kMissing when there is nothing or it cannot be looked at (an
// open then tells why). Opens nothing for reading, so a device or a pipe is left as it is.
// Never throws.
FileKind GetFileKind(const CString& path);

class CStdioFile : public CFile {
 public:
  // Bytes read from or written to the system at a time; ReadLinePiece gives at most this much.
  static constexpr size_t kBufferSize = size_t{1} << 20;

  // Opens `path` with `flags`: modeRead (0) opens an existing file for reading;
  // modeCreate | modeWrite (0x1001) creates or empties it for writing. A folder is refused
  // (isDirectory). Throws CFileException.
  CStdioFile(const CString& path, unsigned flags);
  // Closes the file if it is still open; never throws.
  virtual ~CStdioFile();
  CStdioFile(const CStdioFile&) = delete;
  CStdioFile& operator=(const CStdioFile&) = delete;

  const CString& GetFilePath() const { return path_; }
  FileIdentity GetIdentity() const;

  // Gives the next line without its line end in `line`; false (and `line` empty) at the end
  // of the input.
  bool ReadString(CString& line);

  // Streaming read of the current line in pieces. Sets `piece` to the next bytes of the current
  // line (valid until the next call on this file; possibly empty) and tells what follows them:
  // more of the same line, the end of the line (the line end is consumed), or the end of the
  // input (the piece, if not empty, was the last line, which had no line end).
  enum class PieceEnd { kMore, kLineEnd, kInputEnd };
  PieceEnd ReadLinePiece(std::string_view& piece);

  // Binary reading: up to `size` bytes as they stand in the file (no line ends looked at, a
  // byte 0x1A is data), from the current position; gives 0 only at the end of the file.
  // REQUIRES: no text read since the file was opened or last Seek.
  size_t ReadRaw(char* buffer, size_t size);
  // The size of the file in bytes (0 when the system cannot tell).
  uint64_t GetLength() const;

  // Offset in the file of the next byte that a read will give; Seek goes back to such an
  // offset (for example the start of a line, or a byte within it) for a second pass.
  uint64_t GetPosition() const;
  void Seek(uint64_t offset);

  // Writes `text`, every "\n" as CR LF. Buffered; failures may surface at a later write, at
  // Flush or at Close.
  void WriteString(const CString& text) { Write(text.view()); }
  void Write(std::string_view text);
  // Writes `bytes` as they are: for text whose line ends are CR LF already.
  void WriteRaw(std::string_view bytes);
  // Tells that some `size` bytes more are to be written: where the system can, room for them is
  // set aside on the disk now, which makes their writes cheaper. Only a hint: what the file holds
  // and its size do not change, and nothing is reported.
  void Reserve(uint64_t size);

  // Writes out what is buffered and asks the system to put it on the disk.
  void Flush();

  // Flushes and closes; a failure throws (and the file is closed all the same).
  void Close();

 private:
  class Impl;
  CString path_;
  std::unique_ptr<Impl> impl_;
};

}  // namespace platform
