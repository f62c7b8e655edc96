// XmlEvent: what the XML layer hands on to the KML reader, one event at a time.
#pragma once

#include <span>
#include <string_view>
#include <utility>

namespace xml {

struct XmlEvent {
  enum class Type { kStart, kEnd, kText, kEndOfDocument };
  Type type = Type::kEndOfDocument;
  // kStart, kEnd: the element's local name, its namespace prefix dropped ("gx:Track" gives
  // "Track").
  std::string_view name;
  // kStart: the attributes as (local name, value) pairs, entities resolved.
  std::span<const std::pair<std::string_view, std::string_view>> attributes;
  // kText: a piece of character data (CDATA sections included, entities resolved). The text of
  // one element may come in several pieces, of any size.
  std::string_view text;
};

// A source of events: the expat-based XmlReader, or a fake in tests. Views in an event are
// valid until the next call of Next().
class XmlEventSource {
 public:
  virtual ~XmlEventSource() = default;
  // The next event; kEndOfDocument at the end and on every call after it. Throws
  // CFileException (badXml, with the line and column) when the document is not well formed.
  virtual const XmlEvent& Next() = 0;
};

}  // namespace xml
