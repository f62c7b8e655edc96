// OpenInput: the documents of a KML or KMZ file, whichever it is.
#pragma once

#include <memory>

#include "input/byte_source.h"
#include "input/kmz_source.h"
#include "platform/stdio_file.h"

namespace input {

struct Input {
  std::unique_ptr<ZipArchive> archive;   // a KMZ's archive, for the entries its links name
  std::unique_ptr<ByteSource> document;  // the main document, as raw bytes
};

// The main document in `file`: the main KML of a KMZ (ZipArchive::main_entry) inflated as a
// stream, with the archive it comes from; or else the file itself, without an archive. A zip
// that holds no KML, is damaged or encrypted throws CFileException (badZip, noKmlInZip,
// encryptedZip); a file named .kmz (any case) that is no zip and does not open as XML text
// throws notZip. The document needs neither the archive nor the Input kept.
// REQUIRES: `file` is open for reading at offset 0 and outlives the document and the archive.
Input OpenInput(platform::CStdioFile& file);

// OpenInput(file).document.
std::unique_ptr<ByteSource> OpenDocument(platform::CStdioFile& file);

}  // namespace input
