#include "convert/full.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "convert/output_pair.h"
#include "input/document_source.h"
#include "input/text_decoder.h"
#include "kml/kml_reader.h"
#include "kml/linked_documents.h"
#include "mif/mif_writer.h"
#include "platform/replace_file.h"
#include "xml/xml_reader.h"

namespace convert {

using platform::CFileException;
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

// Whether an error of this cause comes from the bytes of an entry (and names it), not from the
// file or the machine as a whole.
bool IsEntryError(CFileException::Cause cause) {
  return cause == CFileException::badXml || cause == CFileException::badZip ||
         cause == CFileException::encryptedZip || cause == CFileException::unknownEncoding ||
         cause == CFileException::badEncoding;
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

}  // namespace

FullSummary ConvertFull(const CString& path, const FullOptions& options) {
  OutputPair outputs(path, options.output_folder);
  FullSummary summary;
  summary.mid_path = outputs.mid_path();
  summary.mif_path = outputs.mif_path();

  const input::Input input = input::OpenInput(outputs.input());
  const input::ByteSource& raw = *input.document;
  const std::unique_ptr<input::ByteSource> text = input::DecodeToUtf8(*input.document, path);
  xml::XmlReader xml(*text, path);
  std::unique_ptr<KmzLinks> links;
  if (input.archive != nullptr) links = std::make_unique<KmzLinks>(*input.archive, path);
  kml::KmlReader reader(xml, links.get());
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
    if (events % kEventsPerProgress == 0) ReportProgress(options, raw);
  }
  ReportProgress(options, raw);

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
  return summary;
}

}  // namespace convert
