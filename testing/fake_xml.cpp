#include "testing/fake_xml.h"

#include <stdexcept>

namespace test_support {

using xml::XmlEvent;

namespace {

std::string_view LocalName(std::string_view name) {
  const size_t colon = name.rfind(':');
  return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

std::string Decode(std::string_view text) {
  static const std::pair<std::string_view, char> kEntities[] = {
      {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
  std::string decoded;
  for (size_t i = 0; i < text.size();) {
    bool entity = false;
    for (const auto& [name, c] : kEntities) {
      if (text.substr(i, name.size()) == name) {
        decoded += c;
        i += name.size();
        entity = true;
        break;
      }
    }
    if (!entity) decoded += text[i++];
  }
  return decoded;
}

size_t Find(std::string_view document, std::string_view what, size_t from) {
  const size_t found = document.find(what, from);
  if (found == std::string_view::npos) {
    throw std::invalid_argument("fake XML: no " + std::string(what));
  }
  return found;
}

}  // namespace

FakeXml::FakeXml(std::string_view document, size_t piece_size, std::string_view repeated,
                 uint64_t repeat_count)
    : repeated_text_(repeated) {
  std::string text;
  const auto flush = [&] {
    if (text.empty()) return;
    const size_t marker = text.find("@@");
    if (marker == std::string::npos) {
      AddText(text, piece_size, false);
    } else {
      AddText(text.substr(0, marker), piece_size, false);
      events_.push_back({XmlEvent::Type::kText, repeated_text_, {}, repeat_count, false});
      AddText(text.substr(marker + 2), piece_size, false);
    }
    text.clear();
  };
  size_t i = 0;
  while (i < document.size()) {
    if (document[i] != '<') {
      const size_t end = std::min(document.find('<', i), document.size());
      text += Decode(document.substr(i, end - i));
      i = end;
    } else if (document.substr(i, 9) == "<![CDATA[") {
      flush();
      const size_t end = Find(document, "]]>", i);
      AddText(document.substr(i + 9, end - i - 9), piece_size, true);
      i = end + 3;
    } else if (document.substr(i, 4) == "<!--") {
      i = Find(document, "-->", i) + 3;
    } else if (document.substr(i, 2) == "<?") {
      i = Find(document, "?>", i) + 2;
    } else if (document.substr(i, 2) == "</") {
      flush();
      const size_t end = Find(document, ">", i);
      events_.push_back(
          {XmlEvent::Type::kEnd, std::string(document.substr(i + 2, end - i - 2)), {}, 1, false});
      i = end + 1;
    } else {
      flush();
      Event start{XmlEvent::Type::kStart, {}, {}, 1};
      size_t p = i + 1;
      const size_t name_end = document.find_first_of(" \t\r\n/>", p);
      start.name = document.substr(p, name_end - p);
      p = name_end;
      for (;;) {
        p = document.find_first_not_of(" \t\r\n", p);
        if (p == std::string_view::npos) throw std::invalid_argument("fake XML: open tag");
        if (document[p] == '>' || document[p] == '/') break;
        const size_t equals = Find(document, "=", p);
        const char quote = document[equals + 1];
        const size_t close = Find(document, std::string_view(&quote, 1), equals + 2);
        start.attributes.emplace_back(document.substr(p, equals - p),
                                      Decode(document.substr(equals + 2, close - equals - 2)));
        p = close + 1;
      }
      const bool empty = document[p] == '/';
      i = Find(document, ">", p) + 1;
      const std::string name = start.name;
      events_.push_back(std::move(start));
      if (empty) events_.push_back({XmlEvent::Type::kEnd, name, {}, 1, false});
    }
  }
  flush();
}

void FakeXml::AddText(std::string_view text, size_t piece_size, bool cdata) {
  for (size_t i = 0; i < text.size(); i += piece_size) {
    events_.push_back(
        {XmlEvent::Type::kText, std::string(text.substr(i, piece_size)), {}, 1, cdata});
  }
}

const XmlEvent& FakeXml::Next() {
  // Whatever the reader still holds of the last event becomes garbage.
  text_.assign(text_.size(), '#');
  for (auto& [name, value] : attributes_) {
    name.assign(name.size(), '#');
    value.assign(value.size(), '#');
  }
  current_ = XmlEvent{};
  while (index_ < events_.size() && repeated_ >= events_[index_].repeat) {
    ++index_;
    repeated_ = 0;
  }
  if (index_ == events_.size()) return current_;
  const Event& event = events_[index_];
  ++repeated_;
  current_.type = event.type;
  text_ = event.name;
  if (event.type == XmlEvent::Type::kText) {
    current_.text = text_;
    current_.cdata = event.cdata;
  } else {
    current_.qualified_name = text_;
    current_.name = LocalName(text_);
  }
  attributes_ = event.attributes;
  attribute_views_.clear();
  attribute_names_.clear();
  for (const auto& [name, value] : attributes_) {
    attribute_views_.emplace_back(LocalName(name), value);
    attribute_names_.push_back(name);
  }
  current_.attributes = attribute_views_;
  current_.qualified_attribute_names = attribute_names_;
  return current_;
}

}  // namespace test_support
