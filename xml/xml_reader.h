// XmlReader: well-formed XML as a stream of events, parsed by expat.
//
// The document is read in chunks and parsed as it comes; no element, text or attribute value
// is held whole beyond the chunk that carries it, so memory stays bounded whatever the input.
// No external entity or DTD is ever loaded; expat's limits on entity amplification are on.
//
// The long text of a <coordinates> element (a track of millions of points) goes around the
// parser: plain ASCII that holds no markup needs no parsing, and the parser would spend more
// time on it than the rest of the conversion. Such text is handed on straight from the read
// buffer, and errors after it still name the line and column in the file.
//
// The parse may run on a thread of its own (Parsing::kAhead): it then fills batches of events
// (names, attributes and texts copied into each batch) that Next() hands out in turn; a few
// batches at most wait, so memory stays bounded. Destroying the reader stops that thread.
#pragma once

#include <cstdint>
#include <memory>

#include "input/byte_source.h"
#include "platform/cstring.h"
#include "xml/xml_event.h"

namespace xml {

class XmlReader : public XmlEventSource {
 public:
  // Elements nested deeper than this are refused (badXml): the parser's stack stays bounded.
  static constexpr int kMaxDepth = 1024;

  enum class TextPath {
    kAroundParser,  // long coordinate texts skip the parser (the normal case)
    kParserOnly,    // every byte goes through the parser (for comparison in tests)
  };

  enum class Parsing {
    kOnCaller,  // Next() reads and parses when it has no event left
    // A thread of the reader's own reads and parses a few batches of events ahead of Next(),
    // so that what the caller does with the events overlaps the parse. The events, the errors
    // and where they come are the same. Where no thread can be started, as kOnCaller.
    kAhead,
  };

  // Reads UTF-8 from `utf8` (the declaration's encoding is not looked at again). `path` names
  // the file in errors. REQUIRES: `utf8` outlives the reader; with kAhead, nothing else uses
  // `utf8` (or the sources below it) from the first Next() until the reader is destroyed.
  XmlReader(input::ByteSource& utf8, const platform::CString& path,
            TextPath text_path = TextPath::kAroundParser, Parsing parsing = Parsing::kOnCaller);
  ~XmlReader() override;
  XmlReader(const XmlReader&) = delete;
  XmlReader& operator=(const XmlReader&) = delete;

  // Throws CFileException(badXml, path, "第 L 行第 C 列：...") for a document that is not well
  // formed (also one with no root element), and what the source throws.
  const XmlEvent& Next() override;

  // The end of the run of bytes at `text` that can be handed on as text without the parser:
  // printable ASCII other than '<', '&' and ']' (which could start markup, an entity or "]]>"),
  // and tab, line feed, carriage return. Counts the line breaks in it (CR LF once) into
  // `line_breaks`, carrying a CR that ends one run over to the next in `after_cr`, and sets
  // `last_line` to where the run's last line begins (`text` when it has no break).
  static const char* PlainTextEnd(const char* text, const char* end, uint64_t& line_breaks,
                                  bool& after_cr, const char*& last_line);

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace xml
