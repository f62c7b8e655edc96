// ValueCollector: the text of one KML element collected as a value (a name, a description, a
// data value), trimmed and bounded, with the markup of child elements kept as KML readers keep
// it. Internal to kml/.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "feature/placemark.h"
#include "xml/xml_event.h"

namespace kml {

// Cuts `text` to at most `limit` bytes without splitting a UTF-8 character; true when it cut.
inline bool CutUtf8(std::string& text, size_t limit) {
  if (text.size() <= limit) return false;
  size_t size = limit;
  while (size > 0 && (static_cast<uint8_t>(text[size]) & 0xC0) == 0x80) --size;
  text.resize(size);
  return true;
}

// The text of one element, trimmed and cut to feature::kMaxValueBytes as it streams in: however
// long the document's text, no more than that is ever held. A text that holds child elements may be
// kept as markup, as KML readers keep it: the children's tags as written (an empty element
// written with both tags), attribute values and the text around them escaped again, CDATA
// sections as they stand.
class ValueCollector {
 public:
  // `markup`: child elements are written as markup; else only their text is kept.
  void Begin(bool markup) {
    text_.clear();
    cdata_.clear();
    started_ = false;
    more_ = false;
    markup_ = markup;
    in_markup_ = false;
  }

  void Append(std::string_view piece, bool cdata) {
    if (!started_) {
      while (!piece.empty() && IsSpace(piece.front())) piece.remove_prefix(1);
      if (piece.empty()) return;
      started_ = true;
    }
    if (in_markup_ || cdata) return AppendMarked(piece, cdata);
    // One byte beyond the limit is kept to tell where the character at the limit begins.
    if (piece.size() <= feature::kMaxValueBytes + 1 - text_.size()) {
      text_.append(piece);
      return;
    }
    Keep(piece);
  }

  // An element inside the collected one starts (`event`) or ends (`qualified_name`).
  void StartChild(const xml::XmlEvent& event) {
    if (!markup_) return;
    if (!in_markup_) EnterMarkup();
    started_ = true;
    Keep("<");
    Keep(event.qualified_name);
    for (size_t i = 0; i < event.attributes.size(); ++i) {
      Keep(" ");
      Keep(event.qualified_attribute_names[i]);
      Keep("=\"");
      KeepEscaped(event.attributes[i].second, "&<>\"");
      Keep("\"");
    }
    Keep(">");
  }
  void EndChild(std::string_view qualified_name) {
    if (!markup_) return;
    Keep("</");
    Keep(qualified_name);
    Keep(">");
  }

  // The value; `cut` tells whether it was longer than feature::kMaxValueBytes.
  const std::string& Finish(bool* cut) {
    if (!more_) text_.resize(TrimSpace(text_).size());
    *cut = CutUtf8(text_, feature::kMaxValueBytes);
    if (*cut) text_.resize(TrimSpace(text_).size());
    return text_;
  }

 private:
  // Append for a piece that is CDATA, or comes once the value is markup.
  void AppendMarked(std::string_view piece, bool cdata) {
    if (in_markup_ && !cdata) return KeepEscaped(piece, "&<>");
    const size_t start = text_.size();
    Keep(piece);
    // Should a child element come, the text before it is escaped then, but not its CDATA.
    if (markup_ && !in_markup_ && text_.size() != start) cdata_.emplace_back(start, text_.size());
  }

  void Keep(std::string_view piece) {
    const size_t room = feature::kMaxValueBytes + 1 - text_.size();
    if (piece.size() <= room) {
      text_.append(piece);
      return;
    }
    text_.append(piece.substr(0, room));
    if (!more_) more_ = !std::all_of(piece.begin() + room, piece.end(), IsSpace);
  }

  // Keeps `piece` with each of `special` written as its entity.
  void KeepEscaped(std::string_view piece, std::string_view special) {
    // Once text is known to be cut off, nothing more can be kept.
    while (!piece.empty() && !more_) {
      const size_t at = piece.find_first_of(special);
      Keep(piece.substr(0, at));
      if (at == std::string_view::npos) return;
      switch (piece[at]) {
        case '&':
          Keep("&amp;");
          break;
        case '<':
          Keep("&lt;");
          break;
        case '>':
          Keep("&gt;");
          break;
        default:
          Keep("&quot;");
          break;
      }
      piece.remove_prefix(at + 1);
    }
  }

  // The first child element: the text before it was kept as plain text and becomes markup.
  void EnterMarkup() {
    in_markup_ = true;
    if (text_.empty()) return;
    plain_.assign(text_);
    text_.clear();
    const std::string_view plain = plain_;
    size_t at = 0;
    for (const auto& [begin, end] : cdata_) {
      KeepEscaped(plain.substr(at, begin - at), "&<>");
      Keep(plain.substr(begin, end - begin));
      at = end;
    }
    KeepEscaped(plain.substr(at), "&<>");
  }

  std::string text_;
  bool started_ = false;
  bool more_ = false;  // text that is not white space follows what is kept
  bool markup_ = false;
  bool in_markup_ = false;  // a child element has been seen: text_ is markup
  // Before that: where text_ holds the content of CDATA sections, as [begin, end).
  std::vector<std::pair<size_t, size_t>> cdata_;
  std::string plain_;
};

}  // namespace kml
