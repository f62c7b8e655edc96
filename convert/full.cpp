#include "convert/full.h"

#include "convert/output_pair.h"
#include "input/document_source.h"
#include "input/text_decoder.h"
#include "kml/kml_reader.h"
#include "mif/mif_writer.h"
#include "platform/replace_file.h"
#include "xml/xml_reader.h"

namespace convert {

using platform::CString;

namespace {

// Events between two looks at the progress: often enough for a smooth display, rarely enough
// that the look costs nothing.
constexpr unsigned kEventsPerProgress = 4096;

void ReportProgress(const FullOptions& options, const input::ByteSource& source) {
  if (options.progress != nullptr) {
    options.progress(source.FilePosition(), source.FileSize(), options.progress_context);
  }
}

}  // namespace

FullSummary ConvertFull(const CString& path, const FullOptions& options) {
  OutputPair outputs(path, options.output_folder);
  FullSummary summary;
  summary.mid_path = outputs.mid_path();
  summary.mif_path = outputs.mif_path();

  const std::unique_ptr<input::ByteSource> raw = input::OpenDocument(outputs.input());
  const std::unique_ptr<input::ByteSource> text = input::DecodeToUtf8(*raw, path);
  xml::XmlReader xml(*text, path);
  kml::KmlReader reader(xml);
  mif::MifWriter writer(options.charset, summary.mif_path);

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
    if (events % kEventsPerProgress == 0) ReportProgress(options, *raw);
  }
  ReportProgress(options, *raw);

  writer.Write(reader.styles(), outputs.mif(), outputs.mid());
  outputs.Commit();

  const kml::ReaderCounts& read = reader.counts();
  summary.placemarks = read.placemarks;
  summary.written = writer.counts();
  summary.overlays = read.overlays;
  summary.network_links = read.network_links;
  summary.outside_placemarks = read.outside_placemarks;
  summary.bad_tuples = read.bad_tuples;
  summary.dropped_styles = reader.styles().dropped();
  summary.kml_root = read.kml_root;
  return summary;
}

}  // namespace convert
