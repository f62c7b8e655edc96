#include "kml/kml_reader.h"

#include <algorithm>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "kml/archive_path.h"
#include "kml/coordinates.h"
#include "kml/elements.h"
#include "kml/reader_state.h"
#include "kml/style_reader.h"
#include "kml/value_collector.h"

namespace kml {

namespace {

std::string_view AttributeOf(const XmlEvent& event, std::string_view name) {
  for (const auto& [key, value] : event.attributes) {
    if (key == name) return value;
  }
  return {};
}

}  // namespace

const KmlEvent& KmlReader::State::Next() {
  if (batch_out_) {
    tokenizer_.ClearBatch();
    batch_out_ = false;
  }
  for (;;) {
    if (queue_begin_ != queue_end_) {
      current_ = queue_[queue_begin_++];
      if (queue_begin_ == queue_end_) queue_begin_ = queue_end_ = 0;
      batch_out_ = current_.type == KmlEvent::Type::kCoordinates;
      counts_.bad_tuples = tokenizer_.bad_tuples() + extra_point_tuples_;
      return current_;
    }
    if (done_) {
      counts_.bad_tuples = tokenizer_.bad_tuples() + extra_point_tuples_;
      counts_.extra_tuples = tokenizer_.extra_tuples();
      current_ = KmlEvent{};
      return current_;
    }
    if (!pending_.empty()) {
      FeedPending();
      continue;
    }
    const XmlEvent& event = documents_.back().xml->Next();
    switch (event.type) {
      case XmlEvent::Type::kStart:
        OnStart(event);
        break;
      case XmlEvent::Type::kEnd:
        OnEnd(event);
        break;
      case XmlEvent::Type::kText:
        if (skipped_open_ != 0) break;
        if (coordinates_depth_ != 0) {
          pending_ = event.text;
        } else if (collect_depth_ != 0) {
          collector_.Append(event.text, event.cdata);
        }
        break;
      case XmlEvent::Type::kEndOfDocument:
        if (documents_.size() > 1) {
          EndLinked();
        } else {
          done_ = true;
        }
        break;
    }
  }
}

void KmlReader::State::OnStart(const XmlEvent& event) {
  if (skipped_open_ != 0) {
    ++skipped_open_;
    if (count_skipped_ && IsPlacemarkName(event.name)) ++counts_.outside_placemarks;
    return;
  }
  Tag tag = TagOf(event.name);
  const SchemaFields* instance_fields = nullptr;
  if (tag == Tag::kOther && !old_schemas_.empty()) {
    const auto found = old_schemas_.find(event.name);
    if (found != old_schemas_.end()) {
      tag = Tag::kPlacemark;
      instance_fields = &found->second;
    }
  }
  if (!root_seen_) {
    root_seen_ = true;
    const bool kml =
        tag == Tag::kKml || tag == Tag::kDocument || tag == Tag::kFolder || tag == Tag::kPlacemark;
    if (documents_.size() == 1) counts_.kml_root = kml;
    // Another root: whatever it holds is not KML, and nothing of it is given or counted.
    if (!kml) {
      skipped_open_ = 1;
      count_skipped_ = false;
      return;
    }
  }
  if (collect_depth_ != 0) {
    // Whatever element stands inside a text value is part of the value.
    tags_.push_back(tag);
    collector_.StartChild(event);
    return;
  }
  if (link_depth_ != 0) return StartInLink(tag);
  if (tag == Tag::kNetworkLink && links_ != nullptr && !in_placemark_ && outside_depth_ == 0) {
    tags_.push_back(tag);
    link_depth_ = tags_.size();
    link_name_.clear();
    link_href_.clear();
    link_name_cut_ = false;
    return;
  }
  // A feature is a child of kml, Document or Folder; whatever else holds a placemark (an
  // Update, a Style, an element KML does not define, another placemark) takes it out of the
  // document.
  if (tag == Tag::kOverlay || tag == Tag::kNetworkLink ||
      (tag == Tag::kPlacemark && (in_placemark_ || outside_depth_ != 0))) {
    if (tag == Tag::kOverlay) ++counts_.overlays;
    if (tag == Tag::kNetworkLink) ++counts_.network_links;
    if (tag == Tag::kPlacemark) ++counts_.outside_placemarks;
    Skip();
    return;
  }
  const Tag parent = Up(0);
  tags_.push_back(tag);
  if (!in_placemark_ && outside_depth_ == 0 && tag != Tag::kKml && tag != Tag::kDocument &&
      tag != Tag::kFolder && tag != Tag::kPlacemark) {
    outside_depth_ = tags_.size();
  }
  // Markup inside a coordinate list adds nothing but its text.
  if (coordinates_depth_ != 0) return;

  if (in_placemark_) {
    StartInPlacemark(tag, event);
  } else if (tag == Tag::kPlacemark) {
    BeginPlacemark(instance_fields);
  } else if (tag == Tag::kFolder) {
    folders_.push_back({tags_.size(), {}, false, false});
  } else if (tag == Tag::kName && parent == Tag::kFolder && !folders_.empty() &&
             !folders_.back().named) {
    Collect(Field::kFolderName);
  } else if (tag == Tag::kSchema) {
    StartSchema(event);
  } else if (tag == Tag::kSimpleField && schema_depth_ != 0 && schema_depth_ == tags_.size() - 1) {
    AddSchemaField(AttributeOf(event, "name"));
  }
  if (collect_depth_ != 0 || !StyleReader::Concerns(tag)) return;
  const bool has_id = tag == Tag::kStyle || tag == Tag::kStyleMap;
  if (const std::optional<StyleReader::Field> field =
          style_reader_.Start(tag, Up(1), Up(2), tags_.size(), in_placemark_,
                              has_id ? StyleId(AttributeOf(event, "id")) : std::string_view())) {
    style_field_ = *field;
    Collect(Field::kStyle);
  }
}

// Of a NetworkLink only its name and href are read; what else it holds is skipped.
void KmlReader::State::StartInLink(Tag tag) {
  const size_t depth = tags_.size();
  if (tag == Tag::kName && depth == link_depth_) {
    tags_.push_back(tag);
    Collect(Field::kLinkName);
  } else if (tag == Tag::kLink && depth == link_depth_) {
    tags_.push_back(tag);
  } else if (tag == Tag::kHref && depth == link_depth_ + 1 && Up(0) == Tag::kLink) {
    tags_.push_back(tag);
    Collect(Field::kLinkHref);
  } else {
    if (tag == Tag::kPlacemark) ++counts_.outside_placemarks;
    Skip();
  }
}

// The document that the NetworkLink just ended leads to, when it is one to read, is read now,
// where the link stands.
void KmlReader::State::Follow() {
  const std::optional<std::string> entry = ResolveEntry(documents_.back().entry, link_href_);
  if (!entry || documents_.size() > kMaxLinkDepth || read_entries_.count(*entry) != 0) {
    ++counts_.network_links;
    return;
  }
  XmlEventSource* const xml = links_->Open(*entry);
  if (xml == nullptr) {
    ++counts_.network_links;
    return;
  }
  read_entries_.insert(*entry);
  const bool named = !link_name_.empty();
  documents_.push_back({xml, *entry, named});
  if (named) folders_.push_back({0, link_name_, true, link_name_cut_});
  root_seen_ = false;
}

void KmlReader::State::EndLinked() {
  if (documents_.back().named) folders_.pop_back();
  documents_.pop_back();
  links_->Close();
  root_seen_ = true;
}

std::string_view KmlReader::State::StyleId(std::string_view id) {
  // The first document's ids are kept as they are written, the others' within their entry: a
  // NUL byte, which no XML text holds, keeps the two apart.
  if (documents_.size() == 1 || id.empty()) return id;
  style_id_.assign(documents_.back().entry).append(1, '\0').append(id);
  return style_id_;
}

std::string KmlReader::State::StyleKey(std::string_view url) const {
  const size_t hash_mark = url.find('#');
  if (documents_.size() == 1 || hash_mark == std::string_view::npos) return std::string(url);
  // A document part that leads out of the archive is read as the first document reads every
  // document part: the id is looked for where the url is written.
  std::string entry = documents_.back().entry;
  if (hash_mark != 0) {
    if (std::optional<std::string> named = ResolveEntry(entry, url.substr(0, hash_mark))) {
      entry = std::move(*named);
    }
  }
  std::string key = "#";
  if (entry != documents_.front().entry) key.append(entry).append(1, '\0');
  key.append(url.substr(hash_mark + 1));
  return key;
}

// An old-style schema (KML 2.1): the name its instances are written with, and its fields.
void KmlReader::State::StartSchema(const XmlEvent& event) {
  const std::string_view name = AttributeOf(event, "name");
  // A name that KML gives an element of its own cannot name an instance.
  if (AttributeOf(event, "parent") != "Placemark" || name.empty() || name.size() > kMaxValueBytes ||
      TagOf(name) != Tag::kOther || schema_names_ >= kMaxSchemaNames) {
    return;
  }
  auto [schema, added] = old_schemas_.try_emplace(std::string(name));
  if (added) ++schema_names_;
  schema_ = &schema->second;
  schema_depth_ = tags_.size();
}

void KmlReader::State::AddSchemaField(std::string_view name) {
  if (name.empty() || name.size() > kMaxValueBytes || schema_names_ >= kMaxSchemaNames ||
      std::find(schema_->begin(), schema_->end(), name) != schema_->end()) {
    return;
  }
  schema_->emplace_back(name);
  ++schema_names_;
}

void KmlReader::State::StartInPlacemark(Tag tag, const XmlEvent& event) {
  const Tag parent = Up(1);
  const Tag grandparent = Up(2);
  const bool own = parent == Tag::kPlacemark;
  const bool own_child = grandparent == Tag::kPlacemark;
  if (placemark_fields_ != nullptr && own && !MeansSomethingInPlacemark(tag, event.name) &&
      std::find(placemark_fields_->begin(), placemark_fields_->end(), event.name) !=
          placemark_fields_->end()) {
    data_name_.assign(event.name);
    Collect(Field::kData);
    return;
  }
  switch (tag) {
    case Tag::kName:
      if (own) Collect(Field::kName);
      break;
    case Tag::kDescription:
      if (own) Collect(Field::kDescription);
      break;
    case Tag::kStyleUrl:
      if (own) Collect(Field::kStyleUrl);
      break;
    case Tag::kWhen:
      if (parent == Tag::kTimeStamp && own_child) Collect(Field::kTimeStamp);
      break;
    case Tag::kBegin:
      if (parent == Tag::kTimeSpan && own_child) Collect(Field::kBegin);
      break;
    case Tag::kEnd:
      if (parent == Tag::kTimeSpan && own_child) Collect(Field::kEnd);
      break;
    case Tag::kData:
      if (parent == Tag::kExtendedData && own_child) {
        data_name_.assign(AttributeOf(event, "name"));
        CutUtf8(data_name_, kMaxValueBytes);
      }
      break;
    case Tag::kValue:
      if (parent == Tag::kData && grandparent == Tag::kExtendedData && Up(3) == Tag::kPlacemark &&
          !data_name_.empty()) {
        Collect(Field::kData);
      }
      break;
    case Tag::kSimpleData:
      if (parent == Tag::kSchemaData && grandparent == Tag::kExtendedData &&
          Up(3) == Tag::kPlacemark) {
        data_name_.assign(AttributeOf(event, "name"));
        CutUtf8(data_name_, kMaxValueBytes);
        if (!data_name_.empty()) Collect(Field::kData);
      }
      break;
    case Tag::kPoint:
      BeginPart(PartKind::kPoint, Source::kCoordinates);
      break;
    case Tag::kLineString:
      BeginPart(PartKind::kLine, Source::kCoordinates);
      break;
    case Tag::kLinearRing:
      BeginPart(parent == Tag::kInnerBoundaryIs ? PartKind::kInnerRing : PartKind::kOuterRing,
                Source::kCoordinates);
      break;
    case Tag::kTrack:
      BeginPart(PartKind::kLine, Source::kTrack);
      break;
    case Tag::kModel:
      BeginPart(PartKind::kPoint, Source::kModel);
      break;
    case Tag::kCoordinates:
      if (part_depth_ != 0 && source_ == Source::kCoordinates) {
        coordinates_depth_ = tags_.size();
        tokenizer_.Begin(CoordinateTokenizer::Mode::kCoordinates);
      }
      break;
    case Tag::kCoord:
      if (part_depth_ == tags_.size() - 1 && source_ == Source::kTrack) {
        coordinates_depth_ = tags_.size();
        tokenizer_.Begin(CoordinateTokenizer::Mode::kTrackCoord);
      }
      break;
    case Tag::kLongitude:
    case Tag::kLatitude:
      if (parent == Tag::kLocation && part_depth_ == tags_.size() - 2 &&
          source_ == Source::kModel) {
        Collect(tag == Tag::kLongitude ? Field::kLongitude : Field::kLatitude);
      }
      break;
    default:
      break;
  }
}

void KmlReader::State::OnEnd(const XmlEvent& event) {
  if (skipped_open_ != 0) {
    --skipped_open_;
    return;
  }
  if (tags_.empty()) return;
  const size_t depth = tags_.size();
  if (collect_depth_ != 0 && collect_depth_ < depth) {
    collector_.EndChild(event.qualified_name);
    tags_.pop_back();
    return;
  }
  if (collect_depth_ == depth) EndCollect();
  const bool link_ends = link_depth_ == depth;
  if (coordinates_depth_ == depth) {
    tokenizer_.Finish();
    coordinates_depth_ = 0;
  }
  if (part_depth_ == depth) EndPart();
  if (outside_depth_ == depth) outside_depth_ = 0;
  if (schema_depth_ == depth) schema_depth_ = 0;
  style_reader_.End(depth, placemark_);
  if (in_placemark_ && placemark_depth_ == depth) {
    EndPlacemark();
  } else if (!folders_.empty() && folders_.back().depth == depth) {
    folders_.pop_back();
  }
  tags_.pop_back();
  if (link_ends) {
    link_depth_ = 0;
    Follow();
  }
}

void KmlReader::State::Collect(Field field) {
  if (collect_depth_ != 0) return;
  collect_depth_ = tags_.size();
  field_ = field;
  // Texts shown to people keep their markup; references, numbers and style texts do not.
  collector_.Begin(field != Field::kStyleUrl && field != Field::kLongitude &&
                   field != Field::kLatitude && field != Field::kStyle);
}

void KmlReader::State::EndCollect() {
  collect_depth_ = 0;
  bool cut = false;
  const std::string& value = collector_.Finish(&cut);
  switch (field_) {
    case Field::kName:
      return AddAttribute(AttributeKind::kName, {}, value, cut);
    case Field::kDescription:
      return AddAttribute(AttributeKind::kDescription, {}, value, cut);
    case Field::kTimeStamp:
      return AddAttribute(AttributeKind::kTimeStamp, {}, value, cut);
    case Field::kBegin:
      return AddAttribute(AttributeKind::kBegin, {}, value, cut);
    case Field::kEnd:
      return AddAttribute(AttributeKind::kEnd, {}, value, cut);
    case Field::kData:
      return AddAttribute(AttributeKind::kData, data_name_, value, cut);
    case Field::kStyleUrl:
      if (placemark_.style_url.empty()) placemark_.style_url = StyleKey(value);
      return;
    case Field::kLinkName:
      link_name_ = value;
      link_name_cut_ = cut;
      return;
    case Field::kLinkHref:
      link_href_ = value;
      return;
    case Field::kFolderName:
      folders_.back().name = value;
      folders_.back().named = true;
      folders_.back().cut = cut;
      return;
    case Field::kLongitude:
      longitude_ = value;
      return;
    case Field::kLatitude:
      latitude_ = value;
      return;
    case Field::kStyle:
      if (style_field_ == StyleReader::Field::kPairUrl) {
        return style_reader_.Collected(style_field_, StyleKey(value));
      }
      return style_reader_.Collected(style_field_, value);
  }
}

void KmlReader::State::AddAttribute(AttributeKind kind, std::string_view name,
                                    std::string_view value, bool cut) {
  if (value.empty()) return;
  std::vector<Attribute>& attributes = placemark_.attributes;
  if (attributes.size() >= kMaxAttributes) return;
  for (const Attribute& attribute : attributes) {
    if (attribute.kind == kind && attribute.name == name) return;  // the first one wins
  }
  if (cut) ++counts_.cut_values;
  attributes.push_back({kind, std::string(name), std::string(value), cut});
}

void KmlReader::State::BeginPlacemark(const SchemaFields* fields) {
  in_placemark_ = true;
  placemark_depth_ = tags_.size();
  placemark_fields_ = fields;
  placemark_.attributes.clear();
  placemark_.style_url.clear();
  style_reader_.BeginPlacemark(placemark_);
  ++counts_.placemarks;

  std::string path;
  bool cut = false;
  for (const Folder& folder : folders_) {
    if (folder.name.empty()) continue;
    if (!path.empty()) path += '/';
    path += folder.name;
    cut = cut || folder.cut;
    if (path.size() > kMaxValueBytes) break;
  }
  cut = CutUtf8(path, kMaxValueBytes) || cut;
  AddAttribute(AttributeKind::kFolder, {}, path, cut);

  KmlEvent event;
  event.type = KmlEvent::Type::kPlacemarkBegin;
  Push(event);
}

void KmlReader::State::EndPlacemark() {
  if (part_depth_ != 0) EndPart();
  style_reader_.EndPlacemark(placemark_);
  in_placemark_ = false;
  placemark_fields_ = nullptr;
  KmlEvent event;
  event.type = KmlEvent::Type::kPlacemarkEnd;
  event.placemark = &placemark_;
  Push(event);
}

void KmlReader::State::BeginPart(PartKind kind, Source source) {
  if (part_depth_ != 0) return;  // geometry inside a part's own geometry is not KML
  part_depth_ = tags_.size();
  part_kind_ = kind;
  source_ = source;
  part_points_ = 0;
  distinct_.Reset();
  longitude_.clear();
  latitude_.clear();
  KmlEvent event;
  event.type = KmlEvent::Type::kPartBegin;
  event.part = kind;
  Push(event);
}

void KmlReader::State::EndPart() {
  if (coordinates_depth_ != 0) {
    tokenizer_.Finish();
    coordinates_depth_ = 0;
  }
  if (source_ == Source::kModel && (!longitude_.empty() || !latitude_.empty())) {
    tokenizer_.Begin(CoordinateTokenizer::Mode::kCoordinates);
    tokenizer_.Feed(longitude_);
    tokenizer_.Feed(",");
    tokenizer_.Feed(latitude_);
    tokenizer_.Finish();
  }
  if (tokenizer_.size() != 0) EmitBatch();
  KmlEvent event;
  event.type = KmlEvent::Type::kPartEnd;
  event.part = part_kind_;
  event.point_count = part_points_;
  event.distinct_points = distinct_.count();
  Push(event);
  part_depth_ = 0;
}

void KmlReader::State::FeedPending() {
  while (!pending_.empty()) {
    pending_.remove_prefix(tokenizer_.Feed(pending_));
    if (tokenizer_.full()) {
      EmitBatch();
      return;
    }
  }
  // The next XML event ends the piece that the batch may point into.
  if (tokenizer_.holds_piece_views()) EmitBatch();
}

void KmlReader::State::EmitBatch() {
  std::span<const Coordinate> batch = tokenizer_.TakeBatch();
  if (part_kind_ == PartKind::kPoint) {
    // A point is its first tuple; any further ones are counted as unreadable.
    const size_t keep = part_points_ == 0 ? 1 : 0;
    extra_point_tuples_ += batch.size() - keep;
    batch = batch.first(keep);
  }
  if (batch.empty()) {
    tokenizer_.ClearBatch();
    return;
  }
  part_points_ += batch.size();
  distinct_.Add(batch);
  KmlEvent event;
  event.type = KmlEvent::Type::kCoordinates;
  event.part = part_kind_;
  event.coordinates = batch;
  Push(event);
}

KmlReader::KmlReader(XmlEventSource& xml, LinkedDocuments* links)
    : state_(std::make_unique<State>(xml, links, styles_, counts_)) {}

KmlReader::~KmlReader() = default;

const KmlEvent& KmlReader::Next() { return state_->Next(); }

}  // namespace kml
