// LinkedDocuments: the documents that NetworkLinks lead to, as the KML reader follows them: the
// other KML entries of a KMZ in the full conversion, fakes in tests.
#pragma once

#include <string_view>

#include "xml/xml_event.h"

namespace kml {

class LinkedDocuments {
 public:
  virtual ~LinkedDocuments() = default;
  // The path within the archive of the document the reader starts with ("doc.kml"): the
  // references in it are resolved against its folder.
  virtual std::string_view main_entry() const = 0;
  // The events of the KML document at `entry`, a path within the archive; null when the
  // archive holds none there. Valid until the matching Close(). Throws CFileException, which
  // names the file and the entry.
  virtual xml::XmlEventSource* Open(std::string_view entry) = 0;
  // The document opened last has been read to its end: its events may go.
  virtual void Close() = 0;
};

}  // namespace kml
