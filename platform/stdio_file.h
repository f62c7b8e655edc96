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

// An output that replaces its target whole or not at all. Writes go to a new temporary file in
// the target's folder (opened for exclusive use); Commit flushes it to disk and renames it over
// the target. If the object is destroyed without Commit, or Commit fails, the temporary file
// is removed and the target keeps its old content (or stays absent). After Commit the old
// target stays in the folder under a backup name (<target>.kml2mif-XXXXXX.old) until Rollback
// or the destructor, so that several outputs can be replaced together or not at all. Errors
// name the target.
class CReplaceFile {
 public:
  explicit CReplaceFile(const CString& target_path);  // throws CFileException
  // Removes the temporary, or after Commit the backup; never throws.
  ~CReplaceFile();
  CReplaceFile(const CReplaceFile&) = delete;
  CReplaceFile& operator=(const CReplaceFile&) = delete;

  const CString& GetFilePath() const { return target_; }
  void Write(std::string_view text);  // text mode, as CStdioFile::Write
  void WriteString(const CString& text) { Write(text.view()); }
  void WriteRaw(std::string_view bytes);  // as CStdioFile::WriteRaw
  void Reserve(uint64_t size);            // as CStdioFile::Reserve
  // Flushes the temporary to disk so that Commit can only fail on the rename.
  void Finish();
  // REQUIRES: Finish() has succeeded. Renames the temporary over the target, keeping the old
  // target under the backup name. Where the file system has no hard links the old target is
  // renamed aside just before, and a crash between the two renames leaves no target.
  void Commit();
  // Undoes a successful Commit: the backup goes back over the target, or the new target is
  // removed if there was none before. Best effort, needs no memory; does nothing otherwise.
  void Rollback() noexcept;

 private:
  class Impl;
  CString target_;
  std::unique_ptr<Impl> impl_;
};

}  // namespace platform
