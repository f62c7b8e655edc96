// KmlReader::State: the reader's state machine, its documents, the placemark being built and
// the values being collected. Internal to kml/: only kml_reader.cpp includes it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "kml/coordinates.h"
#include "kml/elements.h"
#include "kml/kml_reader.h"
#include "kml/style_reader.h"
#include "kml/value_collector.h"

namespace kml {

using feature::Attribute;
using feature::AttributeKind;
using feature::Coordinate;
using feature::kMaxValueBytes;
using feature::PartKind;
using feature::Placemark;
using xml::XmlEvent;
using xml::XmlEventSource;

// What the text of the element being collected becomes.
enum class Field : uint8_t {
  kName,
  kDescription,
  kTimeStamp,
  kBegin,
  kEnd,
  kData,
  kStyleUrl,
  kFolderName,
  kLinkName,
  kLinkHref,
  kLongitude,
  kLatitude,
  kStyle,  // a text the style reader wants: style_field_
};

// Data fields a placemark may carry: what one placemark can make us hold is bounded.
constexpr size_t kMaxAttributes = 1024;
// Names of old-style schemas and their fields held, all together: bounded as well.
constexpr size_t kMaxSchemaNames = 4096;

class KmlReader::State {
 public:
  State(XmlEventSource& xml, LinkedDocuments* links, StyleTable& styles, ReaderCounts& counts)
      : counts_(counts), links_(links), style_reader_(styles) {
    documents_.push_back({&xml, std::string(links != nullptr ? links->main_entry() : ""), false});
    if (links != nullptr) read_entries_.insert(documents_.back().entry);
  }

  const KmlEvent& Next();

 private:
  enum class Source : uint8_t { kCoordinates, kTrack, kModel };
  // A document being read: the first one, or one that links lead to (the last is read, the
  // others wait).
  struct Document {
    XmlEventSource* xml = nullptr;
    std::string entry;   // its path in the archive
    bool named = false;  // the link's name is a level of folders_
  };
  struct Folder {
    size_t depth = 0;
    std::string name;
    bool named = false;
    bool cut = false;
  };

  // An old-style schema's field names.
  using SchemaFields = std::vector<std::string>;

  void OnStart(const XmlEvent& event);
  void OnEnd(const XmlEvent& event);
  void Skip() {
    skipped_open_ = 1;
    count_skipped_ = true;
  }
  bool IsPlacemarkName(std::string_view name) const {
    return name == "Placemark" || (!old_schemas_.empty() && old_schemas_.count(name) != 0);
  }
  void StartInLink(Tag tag);
  void Follow();
  void EndLinked();
  // The key of a shared style `id` defined in the document being read.
  std::string_view StyleId(std::string_view id);
  // `url`, a styleUrl written in the document being read, as the style table resolves it.
  std::string StyleKey(std::string_view url) const;
  void StartSchema(const XmlEvent& event);
  void AddSchemaField(std::string_view name);
  void StartInPlacemark(Tag tag, const XmlEvent& event);
  void Collect(Field field);
  void EndCollect();
  void BeginPlacemark(const SchemaFields* fields);
  void EndPlacemark();
  void BeginPart(PartKind kind, Source source);
  void EndPart();
  void FeedPending();
  void EmitBatch();
  void AddAttribute(AttributeKind kind, std::string_view name, std::string_view value, bool cut);
  void Push(const KmlEvent& event) { queue_[queue_end_++] = event; }
  // The open element `levels` above the innermost one.
  Tag Up(size_t levels) const {
    return tags_.size() > levels ? tags_[tags_.size() - 1 - levels] : Tag::kOther;
  }

  ReaderCounts& counts_;

  LinkedDocuments* const links_;
  std::vector<Document> documents_;
  std::set<std::string, std::less<>> read_entries_;  // every document begun, the first too
  // The NetworkLink being read (depth 0: none), its name and href.
  size_t link_depth_ = 0;
  std::string link_name_, link_href_;
  bool link_name_cut_ = false;
  std::string style_id_;

  // Events made from one XML event, handed out one per Next().
  KmlEvent queue_[4];
  size_t queue_begin_ = 0;
  size_t queue_end_ = 0;
  KmlEvent current_;
  bool batch_out_ = false;  // the tokenizer's batch is in the caller's hands
  bool done_ = false;

  std::vector<Tag> tags_;  // the open elements, outside skipped subtrees
  bool root_seen_ = false;
  size_t skipped_open_ = 0;    // open elements of a subtree being skipped
  bool count_skipped_ = true;  // placemarks in the subtree being skipped are counted
  // Outside placemarks, the outermost open element that is not kml, Document or Folder (depth
  // 0: none): a placemark inside it is no feature of the document.
  size_t outside_depth_ = 0;

  // Old-style schemas by name, the one being read (depth 0: none), and the names held.
  std::map<std::string, SchemaFields, std::less<>> old_schemas_;
  SchemaFields* schema_ = nullptr;
  size_t schema_depth_ = 0;
  size_t schema_names_ = 0;

  std::vector<Folder> folders_;

  bool in_placemark_ = false;
  size_t placemark_depth_ = 0;
  Placemark placemark_;
  const SchemaFields* placemark_fields_ = nullptr;  // of an old-style schema's instance

  // The element whose text is being collected (depth 0: none).
  size_t collect_depth_ = 0;
  Field field_ = Field::kName;
  ValueCollector collector_;
  StyleReader::Field style_field_ = StyleReader::Field::kPairKey;
  std::string data_name_;

  // The part being read (depth 0: none).
  size_t part_depth_ = 0;
  PartKind part_kind_ = PartKind::kPoint;
  Source source_ = Source::kCoordinates;
  uint64_t part_points_ = 0;
  uint64_t extra_point_tuples_ = 0;
  DistinctCounter distinct_;
  std::string longitude_, latitude_;
  // The coordinates (or gx:coord) element being read (depth 0: none), and the rest of its text
  // piece when a full batch interrupted it.
  size_t coordinates_depth_ = 0;
  std::string_view pending_;
  CoordinateTokenizer tokenizer_;

  // Styles: shared ones into the table, the placemark's own onto it.
  StyleReader style_reader_;
};

}  // namespace kml
