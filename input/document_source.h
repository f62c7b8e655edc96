// OpenDocument: the raw bytes of the document that a KML or KMZ file holds, whichever it is.
#pragma once

#include <memory>

#include "input/byte_source.h"
#include "platform/stdio_file.h"

namespace input {

// The document in `file` as raw bytes: the main KML of a KMZ (doc.kml at the root of the zip,
// else its first .kml entry) inflated as a stream, or else the file itself. A zip that holds no
// KML, is damaged or encrypted throws CFileException (badZip, noKmlInZip, encryptedZip); a file
// named .kmz (any case) that is no zip and does not open as XML text throws notZip.
// REQUIRES: `file` is open for reading at offset 0 and outlives the source.
std::unique_ptr<ByteSource> OpenDocument(platform::CStdioFile& file);

}  // namespace input
