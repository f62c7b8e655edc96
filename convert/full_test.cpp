// The full conversion of KMZ files whose documents link to one another: what is followed, in
// what order, under what Folder name, with which styles, and how an error in a linked entry is
// told.
#include "convert/full.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/file_exception.h"
#include "testing/temp_folder.h"
#include "testing/zip_builder.h"

namespace convert {
namespace {

using platform::CFileException;
using platform::CString;
using test_support::BuildZip;
using test_support::ZipEntry;

std::string Kml(const std::string& body) { return "<kml><Document>" + body + "</Document></kml>"; }

std::string Placemark(const std::string& name, const std::string& more = "") {
  return "<Placemark><name>" + name + "</name>" + more + "</Placemark>";
}

std::string Link(const std::string& href, const std::string& name = "") {
  return "<NetworkLink>" + (name.empty() ? "" : "<name>" + name + "</name>") + "<Link><href>" +
         href + "</href></Link></NetworkLink>";
}

// A chain of `count` documents, each with a placemark and a link to the next.
std::vector<ZipEntry> Chain(int count) {
  std::vector<ZipEntry> entries = {{"doc.kml", Kml(Link("l1.kml"))}};
  for (int i = 1; i <= count; ++i) {
    const std::string n = std::to_string(i);
    std::string next = "l";
    next.append(std::to_string(i + 1)).append(".kml");
    entries.push_back({"l" + n + ".kml", Kml(Placemark(n) + Link(next))});
  }
  return entries;
}

std::string Numbers(int from, int to) {
  std::string rows;
  for (int i = from; i <= to; ++i) rows.append(1, '"').append(std::to_string(i)).append("\"\r\n");
  return rows;
}

class FullKmzTest : public ::testing::Test {
 protected:
  FullSummary Convert(const std::vector<ZipEntry>& entries) {
    folder_.Clear();
    const CString path(folder_.Write("map.kmz", BuildZip(entries)));
    FullOptions options;
    options.charset = mif::Charset::kUtf8;
    return ConvertFull(path, options);
  }

  test_support::TempFolder folder_{"full"};
};

TEST_F(FullKmzTest, LinksToEntriesOfTheArchiveAreFollowedWhereTheyStand) {
  const struct {
    const char* what;
    std::vector<ZipEntry> entries;
    std::string mid;
    uint64_t network_links;
  } cases[] = {
      {"layers as GDAL writes them, the link's name a Folder level",
       {{"doc.kml", Kml(Link("layers/a.kml", "A") + Link("layers/b.kml", "B &amp; b"))},
        {"layers/a.kml", Kml("<name>not a level</name>" + Placemark("a1") + Placemark("a2"))},
        {"layers/b.kml", "<kml><Folder><name>F</name>" + Placemark("b1") + "</Folder></kml>"}},
       "\"a1\",\"A\"\r\n\"a2\",\"A\"\r\n\"b1\",\"B & b/F\"\r\n",
       0},
      {"in document order, inside the linking Folder",
       {{"doc.kml", Kml(Placemark("before") + "<Folder><name>out</name>" + Link("x.kml") +
                        Placemark("after") + "</Folder>")},
        {"x.kml", "<Placemark><name>x</name></Placemark>"}},
       "\"before\",\"\"\r\n\"x\",\"out\"\r\n\"after\",\"out\"\r\n",
       0},
      {"./, ../, %20, KML 2.0's Url, against the linking entry's folder",
       {{"doc.kml", Kml(Link("./layers/a.kml?x=1#f"))},
        {"layers/a.kml", Kml(Placemark("a") + Link("../b%20c.kml") +
                             "<NetworkLink><Url><href>sub/../d.kml</href></Url></NetworkLink>")},
        {"b c.kml", Kml(Placemark("b"))},
        {"layers/d.kml", Kml(Placemark("d"))}},
       "\"a\"\r\n\"b\"\r\n\"d\"\r\n",
       0},
      {"links out of the archive, to nothing, or to what is no KML entry",
       {{"doc.kml", Kml(Link("http://example.com/a.kml") + Link("/a.kml") + Link("C:\\a.kml") +
                        Link("../a.kml") + Link("missing.kml") + Link("img.png") + Link("layers/") +
                        Link("A.KML") + "<NetworkLink/>" + Placemark("p"))},
        {"a.kml", Kml(Placemark("a"))},
        {"img.png", Kml(Placemark("png"))}},
       "\"p\"\r\n",
       9},
      {"each entry once: a second link, a cycle, a link to itself",
       {{"doc.kml", Kml(Link("a.kml") + Link("a.kml"))},
        {"a.kml", Kml(Placemark("a") + Link("doc.kml") + Link("a.kml") + Link("b.kml"))},
        {"b.kml", Kml(Placemark("b") + Link("a.kml"))}},
       "\"a\"\r\n\"b\"\r\n",
       4},
      {"16 links deep, not 17", Chain(17), Numbers(1, 16), 1},
      {"what is no feature in a linked document",
       {{"doc.kml", Kml(Link("a.kml"))},
        {"a.kml", Kml("<Update><Placemark/></Update>" + Placemark("a"))},
        {"b.kml", "<gpx><Placemark/></gpx>"}},
       "\"a\"\r\n",
       0},
  };
  for (const auto& row : cases) {
    SCOPED_TRACE(row.what);
    const FullSummary summary = Convert(row.entries);
    EXPECT_EQ(folder_.Read("map.mid"), row.mid);
    EXPECT_EQ(summary.network_links, row.network_links);
  }
}

TEST_F(FullKmzTest, AStyleUrlInALinkedEntryNamesThatEntrysStyles) {
  const auto style = [](const char* id, const char* color) {
    return std::string("<Style id='") + id + "'><LineStyle><color>" + color +
           "</color></LineStyle></Style>";
  };
  const auto line = [](const std::string& name, const std::string& url) {
    return Placemark(name, "<styleUrl>" + url +
                               "</styleUrl><LineString><coordinates>1,2 3,4</coordinates>"
                               "</LineString>");
  };
  Convert({{"doc.kml", Kml(style("s", "ff0000ff") + line("main", "#s") + Link("layers/a.kml") +
                           line("main, a's file", "layers/a.kml#s") + Link("layers/b.kml"))},
           {"layers/a.kml",
            Kml(line("own", "#s") + line("main's", "../doc.kml#s") + line("b's", "b.kml#s") +
                line("elsewhere", "http://example.com/x.kml#s") + line("none", "c.kml#s") +
                style("s", "ff00ff00") +
                "<StyleMap id='m'><Pair><key>normal</key><styleUrl>b.kml#s</styleUrl></Pair>"
                "</StyleMap>" +
                line("map", "#m"))},
           {"layers/b.kml", Kml(style("s", "ffff0000"))}});
  const std::string mif = folder_.Read("map.mif");
  std::vector<std::string> pens;
  for (size_t at = mif.find("Pen ("); at != std::string::npos; at = mif.find("Pen (", at + 1)) {
    pens.push_back(mif.substr(at + 5, mif.find(')', at) - at - 5));
  }
  const std::vector<std::string> expected = {"1,2,16711680", "1,2,65280",   "1,2,16711680",
                                             "1,2,255",      "1,2,65280",   "1,2,0",
                                             "1,2,255",      "1,2,16711680"};
  EXPECT_EQ(pens, expected) << mif;
}

TEST_F(FullKmzTest, AnErrorInALinkedEntryNamesTheKmzAndTheEntry) {
  const struct {
    const char* what;
    ZipEntry entry;
    CFileException::Cause cause;
    const char* english;  // the end of the English message
  } cases[] = {
      {"bad XML",
       {"layers/bad.kml", "<kml>\n<Placemark>\n</kml>"},
       CFileException::badXml,
       "\" (entry \"layers/bad.kml\"): it is not well-formed XML. (line 3, column 3: mismatched "
       "tag)"},
      {"bad encoding",
       {"layers/bad.kml", "<?xml version='1.0' encoding='GBK'?><kml>\xff\xff</kml>"},
       CFileException::badEncoding,
       "\" (entry \"layers/bad.kml\"): the file has bytes that are invalid in its character "
       "encoding. (line 1)"},
      {"damaged data",
       {.name = "layers/bad.kml", .data = Kml(Placemark("x")), .crc_change = 1},
       CFileException::badZip,
       "\" (entry \"layers/bad.kml\"): the zip (KMZ) file is damaged or cannot be read. (the "
       "CRC check fails)"},
      {"encrypted",
       {.name = "layers/bad.kml", .data = "x", .flags = 1},
       CFileException::encryptedZip,
       "\" (entry \"layers/bad.kml\"): the KML file in the zip (KMZ) file is encrypted."},
  };
  for (const auto& row : cases) {
    SCOPED_TRACE(row.what);
    try {
      Convert({{"doc.kml", Kml(Placemark("p") + Link("layers/bad%2Ekml"))}, row.entry});
      ADD_FAILURE() << "converted";
    } catch (const CFileException& error) {
      EXPECT_EQ(error.m_cause, row.cause);
      const std::string english = error.GetEnglishMessage().str();
      EXPECT_EQ(english, "cannot read file \"" + folder_.PathOf("map.kmz") + row.english);
      EXPECT_NE(std::string(error.what()).find(folder_.PathOf("map.kmz") + "”中的“layers/bad.kml”"),
                std::string::npos)
          << error.what();
    }
    EXPECT_FALSE(folder_.Exists("map.mid"));
    EXPECT_FALSE(folder_.Exists("map.mif"));
  }
}

}  // namespace
}  // namespace convert
