#include "xml/xml_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>

#include "platform/file_exception.h"
#include "testing/peak_memory.h"
#include "testing/piecewise_source.h"

namespace xml {
namespace {

using platform::CFileException;
using platform::CString;

const CString kPath("C:\\maps\\路线.kml");

// Documents are UTF-8 on every platform, whatever the code page of narrow literals.
std::string Utf8(std::u8string_view text) { return std::string(text.begin(), text.end()); }

// A document held in memory, handed on `piece` bytes at a time.
class StringSource : public test_support::PiecewiseSource {
 public:
  StringSource(std::string text, size_t piece) : PiecewiseSource(std::move(text), {piece}) {}
};

// A document made on the fly: its head, `repeat` copies of `body`, its tail.
class RepeatSource : public input::ByteSource {
 public:
  RepeatSource(std::string head, std::string body, size_t repeat, std::string tail)
      : parts_{std::move(head), std::move(body), std::move(tail)}, repeat_(repeat) {}
  size_t Read(char* buffer, size_t size) override {
    size_t count = 0;
    while (count < size && part_ < 3) {
      const std::string& part = parts_[part_];
      const size_t n = std::min(size - count, part.size() - at_);
      std::memcpy(buffer + count, part.data() + at_, n);
      count += n;
      at_ += n;
      if (at_ == part.size()) {
        at_ = 0;
        if (part_ != 1 || --repeat_ == 0) ++part_;
      }
    }
    return count;
  }
  uint64_t FilePosition() const override { return 0; }
  uint64_t FileSize() const override { return 0; }

 private:
  std::string parts_[3];
  size_t repeat_;
  size_t part_ = 0;
  size_t at_ = 0;
};

// Appends a local name, followed by "(name as written)" when that differs.
void AppendName(std::string_view local, std::string_view written, std::string& out) {
  out += local;
  if (written == local) return;
  out += '(';
  out += written;
  out += ')';
}

// The events as one line: <name a=v>, </name>, [text] with adjacent pieces joined, the content
// of CDATA sections in {}.
std::string Render(XmlEventSource& events) {
  std::string out;
  bool in_text = false;
  bool in_cdata = false;
  for (;;) {
    const XmlEvent& event = events.Next();
    if ((event.type != XmlEvent::Type::kText || !event.cdata) && in_cdata) {
      out += '}';
      in_cdata = false;
    }
    if (event.type != XmlEvent::Type::kText && in_text) {
      out += ']';
      in_text = false;
    }
    switch (event.type) {
      case XmlEvent::Type::kStart:
        out += '<';
        AppendName(event.name, event.qualified_name, out);
        EXPECT_EQ(event.attributes.size(), event.qualified_attribute_names.size());
        for (size_t i = 0; i < event.attributes.size(); ++i) {
          const auto& [name, value] = event.attributes[i];
          out += ' ';
          AppendName(name, event.qualified_attribute_names[i], out);
          out += '=';
          out += value;
        }
        out += '>';
        break;
      case XmlEvent::Type::kEnd:
        out += "</";
        AppendName(event.name, event.qualified_name, out);
        out += '>';
        break;
      case XmlEvent::Type::kText:
        if (!in_text) out += '[';
        in_text = true;
        if (event.cdata && !in_cdata) out += '{';
        in_cdata = event.cdata;
        out += event.text;
        break;
      case XmlEvent::Type::kEndOfDocument:
        EXPECT_EQ(events.Next().type, XmlEvent::Type::kEndOfDocument);
        return out;
    }
  }
}

std::string Parse(const std::string& document, size_t piece = 1 << 20) {
  StringSource source(document, piece);
  XmlReader reader(source, kPath);
  return Render(reader);
}

std::string Nested(int depth) {
  std::string open, close;
  for (int i = 0; i < depth; ++i) {
    open += "<e>";
    close += "</e>";
  }
  return open + close;
}

TEST(XmlReaderTest, EventsInPiecesOfAnySize) {
  struct Case {
    const char* what;
    std::string document;
    std::string events;
  };
  const Case cases[] = {
      {"elements", "<a><b x=\"1\" y='2'/>t</a>", "<a><b x=1 y=2></b>[t]</a>"},
      {"attribute entities", "<a v=\"&lt;&amp;&#x4E2D;&#25991;&quot;&apos;\"/>",
       Utf8(u8"<a v=<&中文\"'></a>")},
      {"text entities and line ends", "<a>1&gt;0\r\n&#x9;x</a>", "<a>[1>0\n\tx]</a>"},
      {"CDATA", "<a>x<![CDATA[<x>&amp;]]>y<![CDATA[]]><![CDATA[a\r\nb]]><![CDATA[c]]></a>",
       "<a>[x{<x>&amp;}y{a\nbc}]</a>"},
      {"comments and processing instructions",
       "<?xml version=\"1.0\"?><!--c--><a><?pi data?>x<!-- y -->z</a><!--end--><?pi?>",
       "<a>[xz]</a>"},
      {"the declared encoding is not looked at",
       Utf8(u8"<?xml version=\"1.0\" encoding=\"GBK\"?><a n=\"点\">中文</a>"),
       Utf8(u8"<a n=点>[中文]</a>")},
      {"internal entities",
       "<!DOCTYPE a [<!ENTITY e \"ent&#38;#38;ity\"><!ENTITY f \"&e;&e;\">]><a t=\"&e;\">&f;</a>",
       "<a t=ent&ity>[ent&ityent&ity]</a>"},
      {"prefixes are dropped from local names",
       "<kml xmlns:gx=\"urn:x\"><gx:Track gx:id=\"1\" n=\"2\"><a:b:c/></gx:Track></kml>",
       "<kml gx(xmlns:gx)=urn:x><Track(gx:Track) id(gx:id)=1 n=2><c(a:b:c)></c(a:b:c)>"
       "</Track(gx:Track)></kml>"},
      {"an external entity is never loaded",
       "<!DOCTYPE a [<!ENTITY x SYSTEM \"file:///etc/hostname\">]><a>&x;</a>", "<a></a>"},
      {"an external DTD is never loaded",
       "<!DOCTYPE a SYSTEM \"http://example.com/a.dtd\"><a>x</a>", "<a>[x]</a>"},
      {"nesting up to the limit", Nested(XmlReader::kMaxDepth), Nested(XmlReader::kMaxDepth)},
  };
  for (const Case& test : cases) {
    for (const size_t piece : {size_t{1}, size_t{2}, size_t{3}, size_t{7}, size_t{1} << 20}) {
      SCOPED_TRACE(std::string(test.what) + ", pieces of " + std::to_string(piece));
      EXPECT_EQ(Parse(test.document, piece), test.events);
    }
  }
}

TEST(XmlReaderTest, ErrorsTellWhereAndNameTheFile) {
  const std::string laughs =
      "<!DOCTYPE l [<!ENTITY a \"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\">"
      "<!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\"><!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\">"
      "<!ENTITY d \"&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;\"><!ENTITY e \"&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;\">"
      "<!ENTITY f \"&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;\"><!ENTITY g \"&f;&f;&f;&f;&f;&f;&f;&f;&f;&f;\">"
      "<!ENTITY h \"&g;&g;&g;&g;&g;&g;&g;&g;&g;&g;\"><!ENTITY i \"&h;&h;&h;&h;&h;&h;&h;&h;&h;&h;\">"
      "]><l>&i;</l>";
  struct Case {
    const char* what;
    std::string document;
    const char* detail;
  };
  const Case cases[] = {
      {"mismatched tag", "<a></b>", "第 1 行第 6 列：mismatched tag。"},
      {"line and column count characters", Utf8(u8"<a>\n  <b>中文</c>"),
       "第 2 行第 10 列：mismatched tag。"},
      {"empty document", "", "第 1 行第 1 列：no element found。"},
      {"no root element", "<?xml version=\"1.0\"?>\n<!-- x -->\n",
       "第 3 行第 1 列：no element found。"},
      {"unclosed element", "<a><b>", "第 1 行第 7 列：no element found。"},
      {"text after the root", "<a/>junk", "第 1 行第 5 列：junk after document element。"},
      {"undefined entity", "<a>&nbsp;</a>", "第 1 行第 4 列：undefined entity。"},
      {"bytes that are not UTF-8", "<a>\xFF</a>",
       "第 1 行第 4 列：not well-formed (invalid token)。"},
      {"too deep", Nested(XmlReader::kMaxDepth + 1), "elements nested too deeply。"},
      {"billion laughs", laughs, "amplification"},
      // The parser would hold these whole: a file of one endless name, a huge comment.
      {"endless markup", std::string(9 << 20, 'x'), "第 1 行第 1 列：markup"},
      {"huge comment", "<a><!--" + std::string(9 << 20, 'y') + "--></a>", "longer than 8 MiB"},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.what);
    try {
      const std::string events = Parse(test.document, 4096);
      ADD_FAILURE() << events.substr(0, 200);
    } catch (const CFileException& error) {
      EXPECT_EQ(error.m_cause, CFileException::badXml);
      EXPECT_NE(std::string(error.what()).find(kPath.str()), std::string::npos) << error.what();
      EXPECT_NE(error.m_strDetail.str().find(CString(test.detail).str()), std::string::npos)
          << error.m_strDetail.GetString();
    }
  }
}

// The events, or the error's detail, with every byte through the parser or with long coordinate
// texts around it. Line ends are made LF (the parser's way; the texts around it keep the file's
// CR LF, which coordinates read as blanks).
std::string EventsOrError(const std::string& document, size_t piece, XmlReader::TextPath path) {
  StringSource source(document, piece);
  XmlReader reader(source, kPath, path);
  try {
    std::string events = Render(reader);
    std::string normalized;
    for (size_t i = 0; i < events.size(); ++i) {
      if (events[i] != '\r') {
        normalized += events[i];
      } else if (i + 1 == events.size() || events[i + 1] != '\n') {
        normalized += '\n';
      }
    }
    return normalized;
  } catch (const CFileException& error) {
    return "error: " + error.m_strDetail.str();
  }
}

// Long coordinate texts skip the parser; what comes out, and where errors are said to be, is
// what the parser alone gives, however the document is cut into pieces.
TEST(XmlReaderTest, LongCoordinateTextsAroundTheParser) {
  std::string tuples;
  for (int i = 0; i < 20; ++i) tuples += "116.391289,39.907668,0 ";
  const std::string& t = tuples;
  const auto lines = [&](const std::string& end) {
    std::string text = end;
    for (int i = 0; i < 30; ++i) text += "\t\t116.39128" + std::to_string(i) + ",39.9,0" + end;
    return text;
  };
  const std::string c = "<coordinates>";
  const std::string e = "</coordinates>";
  const std::string documents[] = {
      // Events.
      "<kml>" + c + t + e + "</kml>",
      "<r xmlns:k='u'><k:coordinates>" + t + "</k:coordinates></r>",
      "<r>" + c + lines("\n") + e + "</r>",
      "<r>" + c + lines("\r\n") + e + "</r>",
      "<r>" + c + lines("\r") + e + "</r>",
      "<r>" + c + t + "&#32;&amp;" + t + e + "</r>",
      "<r>" + c + t + "<!-- c -->" + t + e + "</r>",
      "<r>" + c + t + "<![CDATA[1,2]]>" + t + e + "</r>",
      "<r>" + c + t + "\xE4\xB8\xAD" + t + "]" + t + e + "</r>",
      "<r>" + c + "1,2" + e + c + t + e + c + e + "</r>",
      "<r><coordinates a='1'>" + t + e + "</r>",
      "<r><!-- coordinates> -->" + t + "<coordinates >" + t + e + "</r>",
      "<r>" + c + t + e + "\n<x>" + c + lines("\n") + e + "</x>" + c + t + e + "</r>",
      // Errors after or inside such texts.
      "<r>" + c + t + "</coordinatez></r>",
      "<r>" + c + lines("\n") + "</coordinatez></r>",
      "<r>" + c + lines("\r\n") + "</coordinatez></r>",
      "<r>" + c + lines("\r") + "</coordinatez></r>",
      "<r>" + c + t + e + c + t + e + "<x></y></r>",
      "<r>" + c + lines("\n") + e + c + t + e + "<x></y></r>",
      "<r>" + c + lines("\n") + e + "\n\n  <x>\n  </y></r>",
      "<r>" + c + t,
      "<r>" + c + lines("\r"),
      "<r>" + c + t + "]]>" + e + "</r>",
      "<r>" + c + t + "&bad;" + e + "</r>",
      "<r>" + c + t + "\x01" + e + "</r>",
      "<r>" + c + t + "\xFF" + e + "</r>",
  };
  for (const std::string& document : documents) {
    SCOPED_TRACE(document.substr(0, 120));
    const std::string expected = EventsOrError(document, 1 << 20, XmlReader::TextPath::kParserOnly);
    for (const size_t piece : {size_t{1}, size_t{7}, size_t{300}, size_t{1} << 20}) {
      EXPECT_EQ(EventsOrError(document, piece, XmlReader::TextPath::kAroundParser), expected)
          << "pieces of " << piece;
    }
  }
}

// The run that can go around the parser, with its line breaks (CR LF once, also when a read
// cuts it), on both sides of the 16-byte blocks it is scanned in.
TEST(XmlReaderTest, PlainTextEnd) {
  struct Row {
    std::string text;
    size_t end;
    uint64_t breaks;
    size_t last_line;
  };
  const std::string sixteen = "0123456789,. -+e";
  const Row rows[] = {
      {"", 0, 0, 0},
      {"1,2 3,4<", 7, 0, 0},
      {sixteen + sixteen + "<", 32, 0, 0},
      {sixteen + "1\n2\r\n3\r4\t" + sixteen + "&", 25 + 16, 3, 23},
      {sixteen + "]", 16, 0, 0},
      {sixteen + "x\x7F", 17, 0, 0},
      {sixteen + "\x01", 16, 0, 0},
      {sixteen + sixteen + "\xE4\xB8\xAD", 32, 0, 0},
      {"\r\n\r\n\n\r", 6, 4, 6},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    uint64_t breaks = 0;
    bool after_cr = false;
    const char* last_line = nullptr;
    const char* begin = row.text.data();
    const char* end =
        XmlReader::PlainTextEnd(begin, begin + row.text.size(), breaks, after_cr, last_line);
    EXPECT_EQ(static_cast<size_t>(end - begin), row.end);
    EXPECT_EQ(breaks, row.breaks);
    EXPECT_EQ(static_cast<size_t>(last_line - begin), row.last_line);
  }
  // A CR at the end of one run and an LF at the start of the next make one break.
  uint64_t breaks = 0;
  bool after_cr = false;
  const char* last_line = nullptr;
  const std::string first = sixteen + "\r";
  const std::string second = "\n" + sixteen;
  XmlReader::PlainTextEnd(first.data(), first.data() + first.size(), breaks, after_cr, last_line);
  XmlReader::PlainTextEnd(second.data(), second.data() + second.size(), breaks, after_cr,
                          last_line);
  EXPECT_EQ(breaks, 1u);
  EXPECT_FALSE(after_cr);
}

// A failure of the layer below reaches the caller as it is, on every later call too.
TEST(XmlReaderTest, SourceErrorsPassThrough) {
  class FailingSource : public StringSource {
   public:
    FailingSource() : StringSource("<a>text", 100) {}
    size_t Read(char* buffer, size_t size) override {
      if (const size_t count = StringSource::Read(buffer, size)) return count;
      throw CFileException(CFileException::readError, kPath, 5);
    }
  } source;
  XmlReader reader(source, kPath);
  for (int call = 0; call < 2; ++call) {
    try {
      Render(reader);
      ADD_FAILURE();
    } catch (const CFileException& error) {
      EXPECT_EQ(error.m_cause, CFileException::readError);
      EXPECT_EQ(error.m_strFileName, kPath);
    }
  }
}

// Huge documents pass through in pieces and in bounded memory: 6 MB of elements from entities
// in a few hundred bytes, one 100 MB text, and a million small elements.
TEST(XmlReaderTest, HugeDocumentsInBoundedMemory) {
  std::string entities = "<!DOCTYPE r [<!ENTITY a \"<p>" + std::string(97, 'x') + "</p>\">";
  for (const char* name : {"b", "c", "d", "e"}) {
    const std::string previous(1, static_cast<char>(name[0] - 1));
    entities += std::string("<!ENTITY ") + name + " \"";
    for (int i = 0; i < 10; ++i) entities += "&" + previous + ";";
    entities += "\">";
  }
  entities += "]><r>";
  struct Case {
    const char* what;
    std::function<RepeatSource()> make;
    uint64_t text_bytes;
    uint64_t events;
    long allowed_kib;
  };
  const Case cases[] = {
      {"entities", [&] { return RepeatSource(entities, "&e;", 6, "</r>"); }, 60000 * 97, 120002,
       4 * 1024},
      {"100 MB of text",
       [] { return RepeatSource("<a>", std::string(1000, 'x') + "&amp;", 100000, "</a>"); },
       100000ull * 1001, 2, 32 * 1024},
      {"80 MB of coordinates, around the parser",
       [] { return RepeatSource("<coordinates>", "1.5,2.5 ", 10000000, "</coordinates>"); },
       80000000, 2, 32 * 1024},
      {"a million elements", [] { return RepeatSource("<r>", "<p a='1'>t</p>", 1000000, "</r>"); },
       1000000, 2000002, 32 * 1024},
      // Markup that passes is no markup held: 20 MB of small comments are fine.
      {"20 MB of comments",
       [] { return RepeatSource("<r>", "<!-- a comment -->", 1100000, "</r>"); }, 0, 2, 32 * 1024},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.what);
    const test_support::PeakMemory peak;
    RepeatSource source = test.make();
    XmlReader reader(source, kPath);
    uint64_t text_bytes = 0;
    uint64_t events = 0;
    size_t longest_piece = 0;
    for (const XmlEvent* event = &reader.Next(); event->type != XmlEvent::Type::kEndOfDocument;
         event = &reader.Next()) {
      if (event->type == XmlEvent::Type::kText) {
        text_bytes += event->text.size();
        longest_piece = std::max(longest_piece, event->text.size());
      } else {
        ++events;
      }
    }
    EXPECT_EQ(text_bytes, test.text_bytes);
    EXPECT_EQ(events, test.events);
    EXPECT_LE(longest_piece, size_t{1} << 20);
    const long growth = peak.GrowthKib();
    if (growth >= 0) {
      EXPECT_LT(growth, test.allowed_kib) << "KiB";
      std::printf("peak memory grew by %ld KiB\n", growth);
    }
  }
}

}  // namespace
}  // namespace xml
