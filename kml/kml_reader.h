// KmlReader: the placemarks of a KML document, from its XML events.
//
// Turns the events into placemarks: the geometry flattened into parts whose coordinates stream
// through in batches, then the placemark's attributes (name, description, folder path, time,
// ExtendedData) and its style reference. Collects the document's shared styles for resolving
// the references at the end. Knows nothing of MIF.
//
// Only features of the document are placemarks: a Placemark (or an instance of an old-style
// schema) whose ancestors are all kml, Document or Folder. In a KMZ, a NetworkLink among them
// whose href names another KML entry of the archive is followed where it stands: the linked
// document is read (as a stream, the linking one waiting) as if it stood there, its placemarks
// in a Folder level named as the link; each entry at most once, at most kMaxLinkDepth links
// deep. A styleUrl in a linked document refers to the styles of the entry it names.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "feature/placemark.h"
#include "kml/linked_documents.h"
#include "kml/style_table.h"
#include "xml/xml_event.h"

namespace kml {

struct KmlEvent {
  enum class Type {
    kPlacemarkBegin,
    kPartBegin,     // `part`
    kCoordinates,   // `coordinates`: the next batch of the current part (never empty)
    kPartEnd,       // `point_count`, `distinct_points`
    kPlacemarkEnd,  // `placemark`
    kDocumentEnd,   // `styles` complete; every later Next() gives kDocumentEnd again
  };
  Type type = Type::kDocumentEnd;
  feature::PartKind part = feature::PartKind::kPoint;
  std::span<const feature::Coordinate> coordinates;
  uint64_t point_count = 0;      // coordinates in the part
  uint32_t distinct_points = 0;  // distinct coordinates in the part, counted up to 3
  const feature::Placemark* placemark = nullptr;
};

// What the reader passed over, for the file's summary line.
struct ReaderCounts {
  uint64_t placemarks = 0;
  uint64_t overlays = 0;       // GroundOverlay, ScreenOverlay, PhotoOverlay: skipped
  uint64_t network_links = 0;  // NetworkLink: skipped (not followed)
  uint64_t bad_tuples = 0;     // coordinate tuples that could not be read: skipped
  uint64_t extra_tuples = 0;   // tuples with values beyond x, y and an altitude: x and y kept
  uint64_t cut_values = 0;     // attribute values longer than kMaxValueBytes: cut
  bool kml_root = false;       // the root element was <kml>
  // Placemarks that are no features of the document (inside an Update, a Style, a Schema,
  // ExtendedData, an overlay, another placemark, an element KML does not define...): skipped.
  uint64_t outside_placemarks = 0;
};

class KmlReader {
 public:
  // Links are followed this many deep at most; deeper ones are skipped and counted.
  static constexpr size_t kMaxLinkDepth = 16;

  // Reads the document of `xml`; NetworkLinks are followed into `links` when given (a KMZ),
  // else skipped and counted. REQUIRES: `xml` and `links` outlive the reader.
  explicit KmlReader(xml::XmlEventSource& xml, LinkedDocuments* links = nullptr);
  ~KmlReader();
  KmlReader(const KmlReader&) = delete;
  KmlReader& operator=(const KmlReader&) = delete;

  // The next event. Views and pointers in it are valid until the next call. Throws what the
  // XML sources and `links` throw.
  const KmlEvent& Next();

  // Complete once Next() has given kDocumentEnd.
  const StyleTable& styles() const { return styles_; }
  const ReaderCounts& counts() const { return counts_; }

 private:
  class State;
  StyleTable styles_;
  ReaderCounts counts_;
  std::unique_ptr<State> state_;
};

}  // namespace kml
