// XmlReader: well-formed XML as a stream of events, parsed by expat.
//
// The document is read in chunks and parsed as it comes; no element, text or attribute value
// is held whole beyond the chunk that carries it, so memory stays bounded whatever the input.
// No external entity or DTD is ever loaded; expat's limits on entity amplification are on.
#pragma once

#include <memory>

#include "kml/byte_source.h"
#include "kml/xml_event.h"
#include "platform/cstring.h"

namespace kml {

class XmlReader : public XmlEventSource {
 public:
  // Elements nested deeper than this are refused (badXml): the parser's stack stays bounded.
  static constexpr int kMaxDepth = 1024;

  // Reads UTF-8 from `utf8` (the declaration's encoding is not looked at again). `path` names
  // the file in errors. REQUIRES: `utf8` outlives the reader.
  XmlReader(ByteSource& utf8, const platform::CString& path);
  ~XmlReader() override;
  XmlReader(const XmlReader&) = delete;
  XmlReader& operator=(const XmlReader&) = delete;

  // Throws CFileException(badXml, path, "第 L 行第 C 列：...") for a document that is not well
  // formed (also one with no root element), and what the source throws.
  const XmlEvent& Next() override;

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace kml
