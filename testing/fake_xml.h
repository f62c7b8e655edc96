// FakeXml: XML events for the KML reader's tests, from a compact XML-like text: the fake of the
// XML stage that the KML stage is tested on.
//
// Good enough for test strings, not a parser: elements, attributes in single or double quotes,
// self-closing tags, the five predefined entities, CDATA sections (handed on as pieces of their
// own, marked); comments and processing instructions are dropped; names are given as written
// and without their prefix, as the real XML layer gives them. Each text can be handed on in
// pieces of any size, and the views of an event are overwritten on the next call, so that a
// reader that keeps them too long reads garbage.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "xml/xml_event.h"

namespace test_support {

class FakeXml : public xml::XmlEventSource {
 public:
  // The events of `document`, each text in pieces of `piece_size` bytes (the last may be
  // shorter). "@@" in a text stands for `repeat_count` pieces, each `repeated`.
  explicit FakeXml(std::string_view document, size_t piece_size = SIZE_MAX,
                   std::string_view repeated = {}, uint64_t repeat_count = 0);

  const xml::XmlEvent& Next() override;

 private:
  struct Event {
    xml::XmlEvent::Type type = xml::XmlEvent::Type::kEndOfDocument;
    std::string name;                                             // as written, or the text
    std::vector<std::pair<std::string, std::string>> attributes;  // names as written
    uint64_t repeat = 1;
    bool cdata = false;
  };
  void AddText(std::string_view text, size_t piece_size, bool cdata);

  std::vector<Event> events_;
  size_t index_ = 0;
  uint64_t repeated_ = 0;  // times the current event has been given
  // The current event's strings, copied so that the next call overwrites them.
  std::string text_;
  std::vector<std::pair<std::string, std::string>> attributes_;
  std::vector<std::pair<std::string_view, std::string_view>> attribute_views_;
  std::vector<std::string_view> attribute_names_;
  xml::XmlEvent current_;
  std::string repeated_text_;
};

}  // namespace test_support
