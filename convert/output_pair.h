// OutputPair: what both conversions do around their content, written once. It names the .mif
// and .mid after the input, opens the input for exclusive use, refuses outputs that are the
// input itself, writes both into temporaries beside their targets and replaces the old pair
// together, or leaves it as it was and no temporary behind. A conversion only produces the
// content: it reads input() and writes mif() and mid(), then calls Commit().
#pragma once

#include <optional>

#include "platform/cstring.h"
#include "platform/replace_file.h"
#include "platform/stdio_file.h"

namespace convert {

// `path` less its last three bytes, followed by the three-byte `extension`:
// C:\maps\route.kml and "mid" give C:\maps\route.mid. The extension is not parsed.
// Throws CFileException(nameTooShort, path) when the three bytes would reach into the folder
// part of the path (on Windows "\\", "/" or a drive's ":"; elsewhere "/"), leave no name, or
// cut a character of the system code page in two (a GBK name without an extension, say).
platform::CString MakeSiblingPath(const platform::CString& path, const char* extension);

// MakeSiblingPath(path, extension), or when `output_folder` is not empty, the file name of that
// path in `output_folder` (C:\maps\route.kml, "mif" and D:\out give D:\out\route.mif).
// Throws as MakeSiblingPath.
platform::CString MakeOutputPath(const platform::CString& path,
                                 const platform::CString& output_folder, const char* extension);

class OutputPair {
 public:
  // Names the outputs (MakeOutputPath), opens the input at `input_path` for reading and
  // exclusive use, and creates both temporaries, so that a folder that cannot be written is
  // reported before the long read. Throws CFileException naming the file that failed:
  // nameTooShort, the input's open errors (isDirectory for a folder), sameAsInput when an output
  // name is the input itself (the same name, another case of it, a link or a hard link), and
  // the temporaries' errors; then nothing has been created.
  OutputPair(const platform::CString& input_path, const platform::CString& output_folder);
  OutputPair(const OutputPair&) = delete;
  OutputPair& operator=(const OutputPair&) = delete;

  const platform::CString& mif_path() const { return mif_path_; }
  const platform::CString& mid_path() const { return mid_path_; }
  platform::CStdioFile& input() { return input_; }
  platform::CReplaceFile& mif() { return *mif_; }
  platform::CReplaceFile& mid() { return *mid_; }

  // Replaces both outputs together: both are put on the disk first, then the MID, then the MIF
  // replaces its target; if the MIF cannot, the old MID is put back. Throws CFileException.
  // Without Commit, the destructor removes the temporaries and the old outputs stay.
  void Commit();

 private:
  platform::CString mid_path_;
  platform::CString mif_path_;
  platform::CStdioFile input_;
  std::optional<platform::CReplaceFile> mid_;
  std::optional<platform::CReplaceFile> mif_;
};

}  // namespace convert
