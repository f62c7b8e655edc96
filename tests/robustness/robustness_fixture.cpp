#include "tests/robustness/robustness_fixture.h"

#include <fstream>
#include <iterator>

#include "cli/console.h"
#include "cli/report.h"
#include "platform/transcoder.h"
#include "testing/zip_builder.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace robustness {
namespace {

namespace fs = std::filesystem;

// Names are narrow strings in the system code page, as the program sees them.
#if defined(_WIN32)
fs::path Native(const std::string& name) {
  std::wstring wide(name.size(), L'\0');
  const int length = MultiByteToWideChar(CP_ACP, 0, name.data(), static_cast<int>(name.size()),
                                         wide.data(), static_cast<int>(wide.size()));
  wide.resize(static_cast<size_t>(length));
  return fs::path(wide);
}

std::string Narrow(const fs::path& path) {
  const std::wstring& wide = path.native();
  const int length = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()),
                                         nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), narrow.data(), length,
                      nullptr, nullptr);
  return narrow;
}
#else
fs::path Native(const std::string& name) { return fs::path(name); }
std::string Narrow(const fs::path& path) { return path.string(); }
#endif

class HookedConsole : public cli::Console {
 public:
  HookedConsole(BatchResult* result, const std::function<void(size_t)>& after_each)
      : result_(result), after_each_(after_each) {}
  // The batch reports each converted file on the standard output before it starts the next.
  void Out(std::string_view text) override {
    result_->out += text;
    if (after_each_) after_each_(converted_++);
  }
  void Err(std::string_view text) override { result_->err += text; }

 private:
  BatchResult* result_;
  const std::function<void(size_t)>& after_each_;
  size_t converted_ = 0;
};

// Chinese text, styles, a StyleMap, folders, MultiGeometry and ExtendedData: every stage of
// the full conversion has work to do.
constexpr char kStyledKml[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<kml xmlns="http://www.opengis.net/kml/2.2"><Document><name>测试</name>
<Style id="red"><LineStyle><color>ff0000ff</color><width>3</width></LineStyle>
<PolyStyle><color>7f00ff00</color></PolyStyle><IconStyle><scale>2</scale></IconStyle></Style>
<StyleMap id="map"><Pair><key>normal</key><styleUrl>#red</styleUrl></Pair></StyleMap>
<Folder><name>路线</name><Folder><name>北京</name>
<Placemark><name>天安门</name><description>广场 &amp; 城楼</description><styleUrl>#map</styleUrl>
<TimeSpan><begin>2024-01-01</begin><end>2024-12-31</end></TimeSpan>
<ExtendedData><Data name="人口"><value>21540000</value></Data>
<SchemaData schemaUrl="#s"><SimpleData name="面积">16410.54</SimpleData></SchemaData></ExtendedData>
<MultiGeometry><Point><coordinates>116.391,39.907</coordinates></Point>
<LineString><coordinates>116.391,39.907,0 116.392,39.908,0</coordinates></LineString>
</MultiGeometry></Placemark></Folder></Folder>
<Placemark><name>区域</name><Style><PolyStyle><fill>0</fill></PolyStyle></Style>
<Polygon><outerBoundaryIs><LinearRing><coordinates>0,0 1,0 1,1 0,0</coordinates></LinearRing>
</outerBoundaryIs><innerBoundaryIs><LinearRing><coordinates>0.2,0.1 0.8,0.1 0.8,0.7 0.2,0.1
</coordinates></LinearRing></innerBoundaryIs></Polygon></Placemark>
<Placemark><name>多点</name><MultiGeometry><Point><coordinates>1,2</coordinates></Point>
<Point><coordinates>3,4</coordinates></Point></MultiGeometry></Placemark>
</Document></kml>
)";

// A coordinate line longer than the read and write buffers, so that reading, seeking back
// and writing each take several calls.
std::string LongKml() { return KmlOfSize(1500000); }

std::string AsItIs(const std::string& document) { return document; }

// A KMZ holding the document as doc.kml, deflated, as map programs write it.
std::string AsKmz(const std::string& document) {
  return test_support::BuildZip({{"doc.kml", document}});
}

// A KMZ whose doc.kml links to a.kml, which links to the document in layers/b.kml: each read in
// turn while the ones linking to it wait.
std::string AsLinkedKmz(const std::string& document) {
  return test_support::BuildZip(
      {{"doc.kml",
        "<kml><Document><NetworkLink><name>n</name><Link><href>a.kml</href></Link>"
        "</NetworkLink></Document></kml>"},
       {"a.kml",
        "<kml><Folder><name>a</name><NetworkLink><Link><href>layers/b.kml</href></Link>"
        "</NetworkLink></Folder></kml>"},
       {"layers/b.kml", document}});
}

// The document in GBK, its declaration saying so.
std::string AsGbk(const std::string& document) {
  std::string declared = document;
  const std::string utf8 = "encoding=\"UTF-8\"";
  if (const size_t at = declared.find(utf8); at != std::string::npos) {
    declared.replace(at, utf8.size(), "encoding=\"GBK\"");
  }
  std::string gbk;
  const std::unique_ptr<platform::Transcoder> transcoder =
      platform::Transcoder::Open("UTF-8", "GBK");
  if (transcoder == nullptr || !transcoder->Convert(declared, true, gbk) ||
      transcoder->replaced() != 0) {
    ADD_FAILURE() << "cannot write GBK";
  }
  return gbk;
}

// The document with its shapes near Beijing, where a zone takes every point.
std::string InChina(std::string document) {
  const std::pair<std::string_view, std::string_view> moves[] = {
      {">0,0 1,0 1,1 0,0<", ">116,39 116.01,39 116.01,39.01 116,39<"},
      {">0.2,0.1 0.8,0.1 0.8,0.7 0.2,0.1",
       ">116.002,39.001 116.008,39.001 116.008,39.007 116.002,39.001"},
      {">1,2<", ">116.1,39.2<"},
      {">3,4<", ">116.3,39.4<"},
  };
  for (const auto& [from, to] : moves) {
    const size_t at = document.find(from);
    if (at == std::string::npos)
      ADD_FAILURE() << from << " is not in the document";
    else
      document.replace(at, from.size(), to);
  }
  return document;
}

}  // namespace

std::string KmlOfSize(size_t size) {
  std::string tuples;
  tuples.reserve(size + 32);
  for (int i = 0; tuples.size() + 96 < size; ++i) {
    tuples.append("116.").append(std::to_string(100000 + i)).append(",39.907,0 ");
  }
  // The tuples stand on the line after the tag, where the first-line conversion takes them.
  return "<kml><Placemark><LineString><coordinates>\n" + tuples +
         "\n</coordinates></LineString></Placemark></kml>\n";
}

const std::vector<Subject>& Subjects() {
  static const std::vector<Subject> subjects = {
      {"FirstLine", false, "kml", kKml, &AsItIs},
      {"FirstLineLongLine", false, "kml", LongKml(), &AsItIs},
      {"Full", true, "kml", kStyledKml, &AsItIs},
      {"FullKmz", true, "kmz", kStyledKml, &AsKmz},
      {"FullLinkedKmz", true, "kmz", kStyledKml, &AsLinkedKmz},
      {"FullGbk", true, "kml", kStyledKml, &AsGbk},
      {"FullLongLine", true, "kml", LongKml(), &AsItIs},
      {"FullProjected", true, "kml", InChina(kStyledKml), &AsItIs, true},
  };
  return subjects;
}

std::vector<Subject> SmallSubjects() {
  std::vector<Subject> small;
  for (const Subject& subject : Subjects()) {
    if (subject.document.size() < (64 << 10)) small.push_back(subject);
  }
  return small;
}

std::vector<Subject> SubjectsNamed(std::initializer_list<std::string_view> names) {
  std::vector<Subject> named;
  for (const Subject& subject : Subjects()) {
    for (const std::string_view name : names) {
      if (name == subject.name) named.push_back(subject);
    }
  }
  return named;
}

void PrintTo(const Subject& subject, std::ostream* out) { *out << subject.name; }

std::string SubjectName(const ::testing::TestParamInfo<Subject>& info) { return info.param.name; }

void RobustnessTest::SetUp() {
  temp_.emplace("robust");
  folder_ = temp_->path();
}

void RobustnessTest::TearDown() { temp_.reset(); }

std::string RobustnessTest::PathOf(const std::string& name) const {
  return Narrow(folder_) + static_cast<char>(fs::path::preferred_separator) + name;
}

void RobustnessTest::WriteFile(const std::string& name, const std::string& bytes) const {
  std::ofstream file(folder_ / Native(name), std::ios::binary | std::ios::trunc);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(file.good()) << name;
}

std::string RobustnessTest::ReadBytes(const std::string& name) const {
  std::ifstream file(folder_ / Native(name), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

bool RobustnessTest::Exists(const std::string& name) const {
  std::error_code error;
  return fs::exists(fs::symlink_status(folder_ / Native(name), error));
}

void RobustnessTest::Remove(const std::string& name) const {
  fs::remove_all(folder_ / Native(name));
}

void RobustnessTest::Clear() const { temp_->Clear(); }

std::set<std::string> RobustnessTest::Names() const {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder_)) {
    names.insert(Narrow(entry.path().filename()));
  }
  return names;
}

std::map<std::string, std::string> RobustnessTest::Snapshot() const {
  std::map<std::string, std::string> files;
  // Lexically: a link to a folder stays under its own name.
  for (const auto& entry : fs::recursive_directory_iterator(folder_)) {
    const std::string name = Narrow(entry.path().lexically_relative(folder_));
    files[name] = entry.is_regular_file() ? ReadBytes(name) : "<not a file>";
  }
  return files;
}

BatchResult RobustnessTest::RunBatch(const std::vector<std::string>& names, bool keep_going,
                                     const std::function<void(size_t)>& after_each) const {
  BatchResult result;
  cli::Options options;
  options.keep_going = keep_going;
  options.first_line = !full_conversion_;
  if (!output_folder_.empty()) options.output_folder = platform::CString(PathOf(output_folder_));
  options.system = system_;
  options.source = source_;
  for (const std::string& name : names) {
    options.files.emplace_back(name.empty() || name[0] != '/' ? PathOf(name) : name);
  }
  HookedConsole console(&result, after_each);
  result.exit_code = cli::RunBatch(options, console, cli::Language::kChinese);
  return result;
}

std::string RobustnessTest::ErrorLine(platform::CFileException::Cause cause,
                                      const std::string& name) const {
  const platform::CFileException error(cause, platform::CString(PathOf(name)));
  // As the batch prints it: on Windows its texts are turned from the literals' code page into
  // UTF-8.
  return "kml2mif: " +
         cli::FileErrorMessage(error, cli::Language::kChinese, cli::PlatformLiteralConverter()) +
         "\n";
}

std::string RobustnessTest::NamedInError(const std::string& err,
                                         platform::CFileException::Cause cause,
                                         const std::vector<std::string>& names) const {
  for (const std::string& name : names) {
    if (err == ErrorLine(cause, name)) return name;
  }
  return "";
}

void ConversionTest::SetUp() {
  RobustnessTest::SetUp();
  full_conversion_ = GetParam().full;
  if (GetParam().projected) {
    crs::ParseError error{};
    ASSERT_TRUE(crs::ParseSystem("cgcs2000-gk3", std::nullopt, &system_, &error));
    source_ = crs::Source::kGcj02;
  }
  input_bytes_ = GetParam().file_of(GetParam().document);
}

std::string ConversionTest::Input(const std::string& stem) const {
  return stem + "." + GetParam().extension;
}

void ConversionTest::PrepareBatch(const std::string& bytes) const {
  Clear();
  for (const std::string stem : {"a", "b", "c"}) {
    WriteFile(Input(stem), bytes);
    WriteFile(stem + ".mid", "old mid of " + stem);
    WriteFile(stem + ".mif", "old mif of " + stem);
  }
}

std::map<std::string, std::string> ConversionTest::ConvertedOutputs(const std::string& bytes) {
  Clear();
  WriteFile(Input("x"), bytes);
  const BatchResult result = RunBatch({Input("x")});
  EXPECT_EQ(result.exit_code, cli::kExitSuccess) << result.err;
  EXPECT_EQ(result.err, "");
  return {{"mid", ReadBytes("x.mid")}, {"mif", ReadBytes("x.mif")}};
}

}  // namespace robustness
