// The zip layer of the document source: the main KML of a KMZ, inflated as it is read.
// Private to input/; OpenDocument (document_source.h) is the way in.
#pragma once

#include <memory>
#include <string_view>

#include "input/byte_source.h"
#include "platform/stdio_file.h"

namespace input {

// True when `head`, the first bytes of a file, open a zip (a local file header).
bool LooksLikeZip(std::string_view head);

// The main KML entry of the zip in `file`: doc.kml at the root, else the first entry (in the
// order of the zip's directory) whose name ends in ".kml", case ignored. Throws CFileException
// naming the file: noKmlInZip, encryptedZip, badZip (damaged, cut short, a method other than
// stored or deflated; the source throws it too on a CRC or size mismatch at the entry's end).
// REQUIRES: `file` is open for reading and outlives the source.
std::unique_ptr<ByteSource> OpenZipDocument(platform::CStdioFile& file);

}  // namespace input
