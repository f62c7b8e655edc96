#include "convert/full.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "convert/output_pair.h"
#include "crs/numbers.h"
#include "input/document_source.h"
#include "input/text_decoder.h"
#include "kml/kml_reader.h"
#include "kml/linked_documents.h"
#include "mif/mif_writer.h"
#include "platform/processors.h"
#include "platform/replace_file.h"
#include "xml/xml_reader.h"

namespace convert {

using platform::CFileException;
using platform::CString;

namespace {

// Events between two looks at the progress: often enough for a smooth display, rarely enough
// that the look costs nothing.
constexpr unsigned kEventsPerProgress = 4096;

// The file as the XML reader reads it, perhaps on a thread of its own: its position is kept
// where this thread can look at it.
class ProgressSource final : public input::ByteSource {
 public:
  explicit ProgressSource(input::ByteSource& file)
      : file_(file), position_(file.FilePosition()), size_(file.FileSize()) {}

  size_t Read(char* buffer, size_t size) override {
    const size_t count = file_.Read(buffer, size);
    position_.store(file_.FilePosition(), std::memory_order_relaxed);
    return count;
  }
  uint64_t FilePosition() const override { return position_.load(std::memory_order_relaxed); }
  uint64_t FileSize() const override { return size_; }

 private:
  input::ByteSource& file_;
  std::atomic<uint64_t> position_;
  const uint64_t size_;
};

// Which reading of the document the progress is of: the automatic zones read it twice, and their
// first reading, which only reads, takes the first third of the way.
enum class Pass { kOnly, kFirstOfTwo, kSecondOfTwo };

void ReportProgress(const FullOptions& options, const input::ByteSource& source, Pass pass) {
  if (options.progress == nullptr) return;
  const uint64_t size = source.FileSize();
  const uint64_t done = source.FilePosition();
  uint64_t position = done;
  if (pass == Pass::kFirstOfTwo) position = done / 3;
  if (pass == Pass::kSecondOfTwo) position = size / 3 + (done - done / 3);
  options.progress(position, size, options.progress_context);
}

// Whether an error of this cause comes from the bytes of an entry (and names it), not from the
// file or the machine as a whole.
bool IsEntryError(CFileException::Cause cause) {
  return cause == CFileException::badXml || cause == CFileException::unsafeXml ||
         cause == CFileException::badZip || cause == CFileException::encryptedZip ||
         cause == CFileException::unknownEncoding || cause == CFileException::badEncoding;
}

// The KML entries of a KMZ that links lead to, each read through its own stages while the
// documents that link to it wait. An error in the bytes of one is the KMZ's and names the entry.
class KmzLinks final : public kml::LinkedDocuments {
 public:
  // REQUIRES: `archive` outlives this.
  KmzLinks(input::ZipArchive& archive, const CString& path) : archive_(archive), path_(path) {}

  std::string_view main_entry() const override { return archive_.main_entry(); }

  xml::XmlEventSource* Open(std::string_view entry) override {
    try {
      std::unique_ptr<input::ByteSource> raw = archive_.Open(entry);
      if (raw == nullptr) return nullptr;
      open_.push_back(std::make_unique<Linked>(std::move(raw), path_, entry));
      return open_.back().get();
    } catch (CFileException& error) {
      if (IsEntryError(error.m_cause)) error.SetEntry(entry);
      throw;
    }
  }

  void Close() override { open_.pop_back(); }

 private:
  class Linked final : public xml::XmlEventSource {
   public:
    Linked(std::unique_ptr<input::ByteSource> raw, const CString& path, std::string_view entry)
        : raw_(std::move(raw)),
          text_(input::DecodeToUtf8(*raw_, path)),
          xml_(*text_, path),
          entry_(entry) {}

    const xml::XmlEvent& Next() override {
      try {
        return xml_.Next();
      } catch (CFileException& error) {
        if (IsEntryError(error.m_cause)) error.SetEntry(entry_);
        throw;
      }
    }

   private:
    std::unique_ptr<input::ByteSource> raw_;
    std::unique_ptr<input::ByteSource> text_;
    xml::XmlReader xml_;
    std::string entry_;
  };

  input::ZipArchive& archive_;
  const CString path_;
  std::vector<std::unique_ptr<Linked>> open_;  // the innermost last
};

// The stages that read the input of an output pair into KML events, linked KMZ entries
// included. With a second processor the parse runs ahead of the reader on a thread of its own;
// not in a KMZ, whose linked entries the reader reads from the same file while the main one
// waits.
class DocumentReading {
 public:
  DocumentReading(const CString& path, OutputPair& outputs)
      : input_(input::OpenInput(outputs.input())),
        raw_(*input_.document),
        text_(input::DecodeToUtf8(raw_, path)),
        xml_(*text_, path, xml::XmlReader::TextPath::kAroundParser,
             input_.archive == nullptr && platform::UsableProcessors() > 1
                 ? xml::XmlReader::Parsing::kAhead
                 : xml::XmlReader::Parsing::kOnCaller),
        links_(input_.archive != nullptr ? std::make_unique<KmzLinks>(*input_.archive, path)
                                         : nullptr),
        reader_(xml_, links_.get()) {}

  kml::KmlReader& reader() { return reader_; }
  // The file as far as the parse has read it.
  const input::ByteSource& raw() const { return raw_; }

 private:
  input::Input input_;
  ProgressSource raw_;
  std::unique_ptr<input::ByteSource> text_;
  xml::XmlReader xml_;
  std::unique_ptr<KmzLinks> links_;
  kml::KmlReader reader_;
};

// More than the web maps' shift moves a longitude (GCJ-02 and BD-09 together: 0.0174 degrees
// at most, in the rectangle's north-east).
constexpr double kMaxWebMapShift = 0.05;

// The first pass of the automatic zones: the zone of the midpoint of the range of the WGS 84
// longitudes (normalized to -180..180) of the points the transformation takes (latitudes within
// +-90). A document without such points gets the zone of 105 E, the middle of China's zones.
crs::System ZoneOfTheData(const CString& path, OutputPair& outputs, const FullOptions& options) {
  DocumentReading reading(path, outputs);
  kml::KmlReader& reader = reading.reader();
  const crs::Source source = options.source;
  const double margin = source == crs::Source::kWgs84 ? 0 : kMaxWebMapShift;
  double min_lon = std::numeric_limits<double>::infinity();
  double max_lon = -min_lon;
  for (unsigned events = 1;; ++events) {
    const kml::KmlEvent& event = reader.Next();
    if (event.type == kml::KmlEvent::Type::kDocumentEnd) break;
    if (event.type == kml::KmlEvent::Type::kCoordinates) {
      for (const feature::Coordinate& coordinate : event.coordinates) {
        double lon = 0;
        double lat = 0;
        if (!crs::ParseDecimal(coordinate.x, &lon)) continue;
        // A point well inside the range found so far leaves it as it is whatever its latitude
        // and the web map's shift, so neither is computed: most points of a file are such.
        if (lon - margin > min_lon && lon + margin < max_lon) continue;
        if (!crs::ParseDecimal(coordinate.y, &lat) || !(std::fabs(lat) <= 90)) continue;
        if (source != crs::Source::kWgs84) crs::ToWgs84(source, lon, lat, &lon, &lat);
        if (lon < -180 || lon > 180) lon = std::remainder(lon, 360.0);
        min_lon = std::min(min_lon, lon);
        max_lon = std::max(max_lon, lon);
      }
    }
    if (events % kEventsPerProgress == 0) ReportProgress(options, reading.raw(), Pass::kFirstOfTwo);
  }
  if (min_lon > max_lon) min_lon = max_lon = 105;
  return crs::FixZone(options.system, min_lon, max_lon);
}

}  // namespace

FullSummary ConvertFull(const CString& path, const FullOptions& options) {
  OutputPair outputs(path, options.output_folder);
  FullSummary summary;
  summary.mid_path = outputs.mid_path();
  summary.mif_path = outputs.mif_path();

  crs::System system = options.system;
  const Pass pass = system.needs_zone() ? Pass::kSecondOfTwo : Pass::kOnly;
  if (pass == Pass::kSecondOfTwo) {
    system = ZoneOfTheData(path, outputs, options);
    outputs.input().Seek(0);
  }

  DocumentReading reading(path, outputs);
  kml::KmlReader& reader = reading.reader();
  mif::MifWriter writer(options.charset, summary.mif_path, system, options.source);

  for (unsigned events = 1;; ++events) {
    const kml::KmlEvent& event = reader.Next();
    using Type = kml::KmlEvent::Type;
    if (event.type == Type::kDocumentEnd) break;
    switch (event.type) {
      case Type::kPlacemarkBegin:
        writer.BeginPlacemark();
        break;
      case Type::kPartBegin:
        writer.BeginPart(event.part);
        break;
      case Type::kCoordinates:
        writer.AddCoordinates(event.coordinates);
        break;
      case Type::kPartEnd:
        writer.EndPart(event.distinct_points);
        break;
      case Type::kPlacemarkEnd:
        writer.EndPlacemark(*event.placemark);
        break;
      case Type::kDocumentEnd:
        break;
    }
    if (events % kEventsPerProgress == 0) ReportProgress(options, reading.raw(), pass);
  }
  ReportProgress(options, reading.raw(), pass);

  writer.Write(reader.styles(), outputs.mif(), outputs.mid());
  outputs.Commit();

  const kml::ReaderCounts& read = reader.counts();
  summary.placemarks = read.placemarks;
  summary.written = writer.counts();
  summary.overlays = read.overlays;
  summary.network_links = read.network_links;
  summary.outside_placemarks = read.outside_placemarks;
  summary.bad_tuples = read.bad_tuples;
  summary.extra_tuples = read.extra_tuples;
  summary.dropped_styles = reader.styles().dropped();
  summary.kml_root = read.kml_root;
  summary.zone = system.code.zone;
  return summary;
}

}  // namespace convert
