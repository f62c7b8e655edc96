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
  // kStart, kEnd: the element's name as written, prefix kept ("gx:Track").
  std::string_view qualified_name;
  // kStart: the attributes as (local name, value) pairs, entities resolved.
  std::span<const std::pair<std::string_view, std::string_view>> attributes;
  // kStart: the attributes' names as written, prefix kept, in the order of `attributes`.
  std::span<const std::string_view> qualified_attribute_names;
  // kText: a piece of character data (CDATA sections included, entities resolved). The text of
  // one element may come in several pieces, of any size.
  std::string_view text;
  // kText: the piece is the content of a CDATA section (never joined with text outside it).
  bool cdata = false;
};

// A source of events: the expat-based XmlReader, or a fake in tests. Views in an event are
// valid until the next call of Next(); the fields that do not belong to the event's type hold
// nothing of use.
class XmlEventSource {
 public:
  virtual ~XmlEventSource() = default;
  // The next event; kEndOfDocument at the end and on every call after it. Throws
  // CFileException (badXml, with the line and column) when the document is not well formed.
  virtual const XmlEvent& Next() = 0;
};

}  // namespace xml
