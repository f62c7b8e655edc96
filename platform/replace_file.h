// CReplaceFile: an output that replaces its target whole or not at all, alone or together
// with others (a MIF and its MID), so that no reader ever sees a half-written file.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "platform/cstring.h"
#include "platform/file_exception.h"

namespace platform {

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
