#include "mif/mif_writer.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <optional>
#include <type_traits>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "crs/mif_coordsys.h"
#include "mif/mif_text.h"
#include "mif/spill_records.h"
#include "platform/copy_small.h"
#include "platform/file_exception.h"
#include "platform/spill_file.h"
#include "platform/transcoder.h"

namespace mif {
namespace {

using platform::CFileException;
using platform::CSpillFile;

// Each spill file keeps this much in memory, so that ordinary documents never touch the disk.
constexpr size_t kSpillMemory = size_t{4} << 20;
// Output is handed to the files in blocks of about this size.
constexpr size_t kOutputBlock = size_t{1} << 20;
// Transformed point lines are gathered in blocks of about this size before they are spilled.
constexpr size_t kTransformedBlock = size_t{64} << 10;
constexpr size_t kMaxPointLine = crs::Transformer::kMaxPointChars + 2;

constexpr size_t kBuiltinColumns = 6;  // the attribute kinds before kData
constexpr std::array<std::string_view, kBuiltinColumns> kBuiltinNames = {
    "Name", "Description", "Folder", "TimeStamp", "Begin", "End"};

struct Column {
  std::string data_name;  // a Data field's name in UTF-8; empty for the built-in kinds
  uint64_t values = 0;    // 0: no placemark fills it
  bool all_integer = true;
  bool all_decimal = true;
  size_t width = 1;  // bytes of the longest value
};

bool IsAscii(std::string_view text) {
  unsigned char seen = 0;
  for (const char ch : text) seen |= static_cast<unsigned char>(ch);
  return seen < 0x80;
}

void AppendNumber(uint64_t value, std::string& out) {
  char buffer[24];
  out.append(buffer, std::to_chars(buffer, buffer + sizeof buffer, value).ptr);
}

}  // namespace

class MifWriter::Impl {
 public:
  Impl(Charset charset, const platform::CString& report_path, const crs::System& system,
       crs::Source source)
      : charset_(charset),
        report_path_(report_path),
        system_(system),
        placemarks_(report_path, kSpillMemory),
        parts_(report_path, kSpillMemory),
        coordinates_(report_path, kSpillMemory),
        columns_(kBuiltinColumns) {
    if (crs::Transforms(system, source)) transformer_.emplace(system, source);
    const char* target = charset == Charset::kWindowsSimpChinese ? "CP936"
                         : charset == Charset::kWindowsLatin1    ? "windows-1252"
                                                                 : nullptr;
    if (target != nullptr) {
      transcoder_ = platform::Transcoder::Open("UTF-8", target);
      if (!transcoder_) throw CFileException(CFileException::unknownEncoding, report_path);
    }
  }

  void BeginPlacemark() {
    adding_ = PlacemarkHeader();
    outer_kept_ = false;
  }

  void BeginPart(feature::PartKind kind) {
    part_kind_ = kind;
    part_points_ = 0;
    part_offset_ = coordinates_.size();
    // Holes of a dropped outer ring go too: their points need not be kept.
    skip_part_ = kind == feature::PartKind::kInnerRing && !outer_kept_;
    written_distinct_ = 0;
  }

  void AddCoordinates(std::span<const feature::Coordinate> coordinates) {
    if (transformer_ && !skip_part_) {
      AddTransformed(coordinates);
      return;
    }
    part_points_ += coordinates.size();
    if (skip_part_ || coordinates.empty()) return;
    if (part_kind_ != feature::PartKind::kPoint) {
      const Shape shape = part_kind_ == feature::PartKind::kLine ? Shape::kLine : Shape::kRing;
      text::CheckObjectPoints(adding_.shape_points[Index(shape)] + part_points_, report_path_);
    }
    // Plain points go straight into one buffer, sized once for the whole batch.
    size_t bound = 0;
    for (const feature::Coordinate& coordinate : coordinates) {
      bound += coordinate.x.size() + coordinate.y.size() + 3;
    }
    if (points_buffer_.size() < bound) {
      points_buffer_.resize(std::max(bound, 2 * points_buffer_.size()));
    }
    char* at = points_buffer_.data();
    for (const feature::Coordinate& coordinate : coordinates) {
      if (!coordinate.plain) {
        // A number with an exponent may grow when written plainly: such a point is written
        // on its own, after what the buffer holds.
        point_line_.clear();
        text::AppendPoint(coordinate.x, coordinate.y, point_line_);
        coordinates_.Write(std::string_view(points_buffer_.data(),
                                            static_cast<size_t>(at - points_buffer_.data())));
        coordinates_.Write(point_line_);
        at = points_buffer_.data();
        continue;
      }
      const size_t x_size = coordinate.x.size();
      if (coordinate.y.data() == coordinate.x.data() + x_size + 1) {
        // The reader keeps "x,y" together as the document wrote it: one copy, and the comma
        // becomes the blank.
        const size_t size = x_size + 1 + coordinate.y.size();
        platform::CopySmall(at, coordinate.x.data(), size);
        at[x_size] = ' ';
        at += size;
      } else {
        platform::CopySmall(at, coordinate.x.data(), x_size);
        at += x_size;
        *at++ = ' ';
        platform::CopySmall(at, coordinate.y.data(), coordinate.y.size());
        at += coordinate.y.size();
      }
      *at++ = '\r';
      *at++ = '\n';
    }
    coordinates_.Write(
        std::string_view(points_buffer_.data(), static_cast<size_t>(at - points_buffer_.data())));
  }

  // Each point transformed and written as its line; refused points are left out.
  void AddTransformed(std::span<const feature::Coordinate> coordinates) {
    if (points_buffer_.size() < kTransformedBlock + kMaxPointLine) {
      points_buffer_.resize(kTransformedBlock + kMaxPointLine);
    }
    char* const begin = points_buffer_.data();
    char* at = begin;
    uint64_t written = 0;
    for (const feature::Coordinate& coordinate : coordinates) {
      if (at - begin >= static_cast<ptrdiff_t>(kTransformedBlock)) {
        coordinates_.Write(std::string_view(begin, static_cast<size_t>(at - begin)));
        at = begin;
      }
      bool outside_zone = false;
      char* const end = transformer_->FormatPoint(coordinate.x, coordinate.y, at, &outside_zone);
      if (end == nullptr) {
        ++counts_.refused_points;
        continue;
      }
      if (outside_zone) ++counts_.outside_zone;
      if (part_kind_ == feature::PartKind::kOuterRing ||
          part_kind_ == feature::PartKind::kInnerRing) {
        CountDistinct(std::string_view(at, static_cast<size_t>(end - at)));
      }
      at = end;
      *at++ = '\r';
      *at++ = '\n';
      ++written;
    }
    coordinates_.Write(std::string_view(begin, static_cast<size_t>(at - begin)));
    part_points_ += written;
    if (part_kind_ != feature::PartKind::kPoint) {
      const Shape shape = part_kind_ == feature::PartKind::kLine ? Shape::kLine : Shape::kRing;
      text::CheckObjectPoints(adding_.shape_points[Index(shape)] + part_points_, report_path_);
    }
  }

  // Counts the ring's distinct point texts up to 3: points that the transformation has put on
  // the same millimetre are one point of the ring written.
  void CountDistinct(std::string_view point) {
    if (written_distinct_ >= 3) return;
    for (uint32_t i = 0; i < written_distinct_; ++i) {
      if (seen_points_[i] == point) return;
    }
    if (written_distinct_ < 2) seen_points_[written_distinct_].assign(point);
    ++written_distinct_;
  }

  void EndPart(uint32_t distinct_points) {
    if (transformer_) distinct_points = written_distinct_;
    bool keep = false;
    Shape shape = Shape::kPoint;
    switch (part_kind_) {
      case feature::PartKind::kPoint:
        keep = part_points_ > 0;
        break;
      case feature::PartKind::kLine:
        keep = part_points_ > 0;
        shape = part_points_ == 1 ? Shape::kPoint : Shape::kLine;
        if (part_points_ == 1) ++counts_.one_point_lines;
        break;
      case feature::PartKind::kOuterRing:
        keep = distinct_points >= 3;
        shape = Shape::kRing;
        outer_kept_ = keep;
        break;
      case feature::PartKind::kInnerRing:
        keep = outer_kept_ && distinct_points >= 3;
        shape = Shape::kRing;
        break;
    }
    if (!keep) {
      ++counts_.dropped_parts;
      return;
    }
    PartRecord part;
    part.text_offset = part_offset_;
    part.text_bytes = coordinates_.size() - part_offset_;
    part.points = part_points_;
    part.shape = shape;
    parts_.Write(std::string_view(reinterpret_cast<const char*>(&part), sizeof part));
    ++adding_.parts;
    ++adding_.shape_parts[Index(shape)];
    adding_.shape_points[Index(shape)] += part_points_;
  }

  void EndPlacemark(const feature::Placemark& placemark) {
    adding_.inline_style = placemark.inline_style;
    adding_.style_url_size = static_cast<uint32_t>(placemark.style_url.size());
    record_.assign(sizeof adding_, '\0');
    record_ += placemark.style_url;
    for (const feature::Attribute& attribute : placemark.attributes) {
      if (attribute.value.empty()) continue;
      const uint32_t column = ColumnFor(attribute);
      if (column == kNoColumn) {
        ++counts_.dropped_fields;
        continue;
      }
      ToOutput(attribute.value, value_);
      text::NormalizeLineBreaks(value_);
      const size_t kept = text::CutLength(value_, text::kMaxCharWidth, charset_);
      if (kept < value_.size() || attribute.cut) ++counts_.cut_values;
      value_.resize(kept);
      Column& stats = columns_[column];
      ++stats.values;
      // Names, descriptions, folders and times stay text whatever they hold ("2020", "007");
      // a field's number keeps its column numeric only if it loses nothing there.
      const bool numeric =
          attribute.kind == feature::AttributeKind::kData && !text::HasLeadingZero(value_);
      stats.all_integer = stats.all_integer && numeric && text::IsInteger32(value_);
      stats.all_decimal = stats.all_decimal && numeric && text::IsDecimal(value_);
      stats.width = std::max(stats.width, value_.size());
      const AttributeHeader entry{column, static_cast<uint32_t>(value_.size())};
      record_.append(reinterpret_cast<const char*>(&entry), sizeof entry);
      record_ += value_;
      ++adding_.attributes;
    }
    std::memcpy(record_.data(), &adding_, sizeof adding_);
    placemarks_.Write(record_);
    ++placemark_count_;

    switch (KindOf(adding_)) {
      case ObjectKind::kNone:
        ++counts_.no_geometry;
        break;
      case ObjectKind::kPoint:
        ++counts_.points;
        break;
      case ObjectKind::kPline:
      case ObjectKind::kPlineMultiple:
        ++counts_.lines;
        break;
      case ObjectKind::kRegion:
        ++counts_.regions;
        break;
      case ObjectKind::kMultipoint:
        ++counts_.multipoints;
        version_650_ = true;
        break;
      case ObjectKind::kCollection:
        ++counts_.collections;
        version_650_ = true;
        break;
    }
  }

  void Write(const feature::StyleResolver& styles, platform::CReplaceFile& mif,
             platform::CReplaceFile& mid) {
    LayOutColumns();
    WriteHeader(mif);
    placemarks_.Seek(0);
    parts_.Seek(0);
    coordinates_.Seek(0);
    parts_position_ = 0;
    coordinates_position_ = 0;
    for (uint64_t i = 0; i < placemark_count_; ++i) {
      ReadExact(placemarks_, reinterpret_cast<char*>(&writing_), sizeof writing_);
      style_url_.resize(writing_.style_url_size);
      ReadExact(placemarks_, style_url_.data(), style_url_.size());
      ReadRow();
      const feature::Style style = styles.Resolve(style_url_, writing_.inline_style);
      WriteObject(style, mif);
      WriteRow(mid);
    }
    Flush(mif, mif_out_);
    Flush(mid, mid_out_);
  }

  const WriterCounts& counts() const { return counts_; }

 private:
  static constexpr uint32_t kNoColumn = 0xFFFFFFFFu;

  uint32_t ColumnFor(const feature::Attribute& attribute) {
    if (attribute.kind != feature::AttributeKind::kData) {
      const uint32_t column = static_cast<uint32_t>(attribute.kind);
      if (columns_[column].values == 0) ++builtins_used_;
      return column;
    }
    const auto found = data_columns_.find(attribute.name);
    if (found != data_columns_.end()) return found->second;
    if (builtins_used_ + data_columns_.size() >= kMaxColumns) return kNoColumn;
    const uint32_t column = static_cast<uint32_t>(columns_.size());
    columns_.emplace_back().data_name = attribute.name;
    data_columns_.emplace(attribute.name, column);
    return column;
  }

  // The text of `utf8` in the output character set, '?' for what it cannot hold.
  void ToOutput(std::string_view utf8, std::string& out) {
    // Both target character sets keep ASCII as it is: numbers, codes and most English text
    // need no conversion.
    if (!transcoder_ || IsAscii(utf8)) {
      out.assign(utf8);
      return;
    }
    out.clear();
    const size_t replaced = transcoder_->replaced();
    transcoder_->Convert(utf8, true, out);
    counts_.replaced_chars += transcoder_->replaced() - replaced;
  }

  // Picks the columns that some placemark fills, at most kMaxColumns (a built-in kind that
  // first came after the limit was reached pushes the last fields out), and names them.
  void LayOutColumns() {
    positions_.assign(columns_.size(), kNoColumn);
    names_.clear();
    column_at_.clear();
    // A field named like a built-in column is renamed whether or not that column is written, so
    // that its name never passes for the built-in one and never depends on the other rows.
    std::unordered_set<std::string> used;
    for (const std::string_view builtin : kBuiltinNames) {
      text::UniqueName(std::string(builtin), charset_, used);
    }
    for (uint32_t column = 0; column < columns_.size(); ++column) {
      const Column& stats = columns_[column];
      if (stats.values == 0) continue;
      if (names_.size() == kMaxColumns) {
        counts_.dropped_fields += stats.values;
        continue;
      }
      positions_[column] = static_cast<uint32_t>(names_.size());
      if (column < kBuiltinColumns) {
        names_.emplace_back(kBuiltinNames[column]);
      } else {
        const bool keep_letters =
            charset_ == Charset::kWindowsSimpChinese || charset_ == Charset::kUtf8;
        std::string name;
        ToOutputQuietly(text::SanitizeName(stats.data_name, keep_letters), name);
        names_.push_back(
            text::UniqueName(text::FinishName(std::move(name), charset_), charset_, used));
      }
      column_at_.push_back(column);
    }
  }

  // As ToOutput, for names: a character lost there is not a lost value.
  void ToOutputQuietly(std::string_view utf8, std::string& out) {
    const uint64_t replaced = counts_.replaced_chars;
    ToOutput(utf8, out);
    counts_.replaced_chars = replaced;
  }

  void WriteHeader(platform::CReplaceFile& mif) {
    std::string& out = mif_out_;
    out += version_650_ ? "Version 650\r\n" : "Version 300\r\n";
    out += "Charset \"";
    out += CharsetName(charset_);
    out += "\"\r\nDelimiter \",\"\r\n";
    out += crs::MifCoordSys(system_);
    out += "\r\n";
    if (names_.empty()) {
      out += "Columns 1\r\n  blank Char(1)\r\n";
    } else {
      out += "Columns ";
      AppendNumber(names_.size(), out);
      out += "\r\n";
      for (size_t i = 0; i < names_.size(); ++i) {
        const Column& stats = columns_[column_at_[i]];
        out += "  ";
        out += names_[i];
        if (stats.all_integer) {
          out += " Integer\r\n";
        } else if (stats.all_decimal) {
          out += " Float\r\n";
        } else {
          out += " Char(";
          AppendNumber(stats.width, out);
          out += ")\r\n";
        }
      }
    }
    out += "Data\r\n";
    Flush(mif, out);
  }

  void ReadExact(CSpillFile& spill, char* data, size_t size) {
    while (size > 0) {
      const size_t got = spill.Read(data, size);
      if (got == 0) throw CFileException(CFileException::readError, report_path_);
      data += got;
      size -= got;
    }
  }

  // Reads the placemark's attributes into row_values_, by output column.
  void ReadRow() {
    row_values_.assign(names_.size(), std::string_view());
    row_text_.clear();
    row_places_.clear();
    for (uint32_t i = 0; i < writing_.attributes; ++i) {
      AttributeHeader entry;
      ReadExact(placemarks_, reinterpret_cast<char*>(&entry), sizeof entry);
      const size_t start = row_text_.size();
      row_text_.resize(start + entry.size);
      ReadExact(placemarks_, row_text_.data() + start, entry.size);
      if (positions_[entry.column] != kNoColumn) {
        row_places_.push_back({positions_[entry.column], start, entry.size});
      }
    }
    // Views only once row_text_ has stopped growing.
    for (const RowPlace& place : row_places_) {
      row_values_[place.position] = std::string_view(row_text_).substr(place.start, place.size);
    }
  }

  void WriteRow(platform::CReplaceFile& mid) {
    std::string& out = mid_out_;
    for (size_t i = 0; i < names_.size(); ++i) {
      if (i > 0) out += ',';
      const Column& stats = columns_[column_at_[i]];
      if (stats.all_integer || stats.all_decimal) {
        out += row_values_[i];
      } else {
        text::AppendQuoted(row_values_[i], out);
      }
    }
    out += "\r\n";
    if (out.size() >= kOutputBlock) Flush(mid, out);
  }

  void WriteObject(const feature::Style& style, platform::CReplaceFile& mif) {
    std::string& out = mif_out_;
    const uint64_t first_part = parts_position_;
    const auto& parts = writing_.shape_parts;
    switch (KindOf(writing_)) {
      case ObjectKind::kNone:
        out += "None\r\n";
        break;
      case ObjectKind::kPoint:
        out += "Point ";
        CopyParts(first_part, Shape::kPoint, false, mif);
        text::AppendSymbol(style, out);
        break;
      case ObjectKind::kMultipoint:
        WriteMultipoint(first_part, style, mif);
        break;
      case ObjectKind::kPline:
      case ObjectKind::kPlineMultiple:
        WriteLines(first_part, style, mif);
        break;
      case ObjectKind::kRegion:
        WriteRegion(first_part, style, mif);
        break;
      case ObjectKind::kCollection:
        out += "Collection ";
        AppendNumber((parts[0] > 0) + (parts[1] > 0) + (parts[2] > 0), out);
        out += "\r\n";
        if (parts[Index(Shape::kRing)] > 0) WriteRegion(first_part, style, mif);
        if (parts[Index(Shape::kLine)] > 0) WriteLines(first_part, style, mif);
        if (parts[Index(Shape::kPoint)] > 0) WriteMultipoint(first_part, style, mif);
        break;
    }
    SeekParts(first_part + writing_.parts * sizeof(PartRecord));
  }

  void WriteMultipoint(uint64_t first_part, const feature::Style& style,
                       platform::CReplaceFile& mif) {
    std::string& out = mif_out_;
    out += "Multipoint ";
    AppendNumber(writing_.shape_points[Index(Shape::kPoint)], out);
    out += "\r\n";
    CopyParts(first_part, Shape::kPoint, false, mif);
    text::AppendSymbol(style, out);
  }

  // One section as "Pline n", several as "Pline Multiple k".
  void WriteLines(uint64_t first_part, const feature::Style& style, platform::CReplaceFile& mif) {
    std::string& out = mif_out_;
    const uint64_t lines = writing_.shape_parts[Index(Shape::kLine)];
    out += "Pline ";
    if (lines > 1) {
      out += "Multiple ";
      AppendNumber(lines, out);
      out += "\r\n";
      CopyParts(first_part, Shape::kLine, true, mif);
    } else {
      AppendNumber(writing_.shape_points[Index(Shape::kLine)], out);
      out += "\r\n";
      CopyParts(first_part, Shape::kLine, false, mif);
    }
    text::AppendPen(style, false, out);
  }

  void WriteRegion(uint64_t first_part, const feature::Style& style, platform::CReplaceFile& mif) {
    std::string& out = mif_out_;
    out += "Region ";
    AppendNumber(writing_.shape_parts[Index(Shape::kRing)], out);
    out += "\r\n";
    CopyParts(first_part, Shape::kRing, true, mif);
    text::AppendPen(style, true, out);
    text::AppendBrush(style, out);
  }

  // Copies the point lines of the placemark's parts of `shape`, each behind its point count
  // with `counted`.
  void CopyParts(uint64_t first_part, Shape shape, bool counted, platform::CReplaceFile& mif) {
    SeekParts(first_part);
    for (uint64_t i = 0; i < writing_.parts; ++i) {
      PartRecord part;
      ReadExact(parts_, reinterpret_cast<char*>(&part), sizeof part);
      parts_position_ += sizeof part;
      if (part.shape != shape) continue;
      if (counted) {
        mif_out_ += "  ";
        AppendNumber(part.points, mif_out_);
        mif_out_ += "\r\n";
      }
      CopyText(part, mif);
    }
  }

  void CopyText(const PartRecord& part, platform::CReplaceFile& mif) {
    if (coordinates_position_ != part.text_offset) {
      coordinates_.Seek(part.text_offset);
      coordinates_position_ = part.text_offset;
    }
    uint64_t left = part.text_bytes;
    while (left > 0) {
      if (mif_out_.size() >= kOutputBlock) Flush(mif, mif_out_);
      const size_t start = mif_out_.size();
      const size_t want = static_cast<size_t>(std::min<uint64_t>(left, kOutputBlock));
      mif_out_.resize(start + want);
      ReadExact(coordinates_, mif_out_.data() + start, want);
      left -= want;
    }
    coordinates_position_ += part.text_bytes;
  }

  void SeekParts(uint64_t offset) {
    if (parts_position_ == offset) return;
    parts_.Seek(offset);
    parts_position_ = offset;
  }

  void Flush(platform::CReplaceFile& file, std::string& out) {
    if (out.empty()) return;
    file.WriteRaw(out);
    out.clear();
  }

  Charset charset_;
  platform::CString report_path_;
  crs::System system_;
  std::optional<crs::Transformer> transformer_;  // none: the texts are copied
  std::unique_ptr<platform::Transcoder> transcoder_;
  CSpillFile placemarks_;
  CSpillFile parts_;
  CSpillFile coordinates_;
  WriterCounts counts_;
  uint64_t placemark_count_ = 0;
  bool version_650_ = false;

  // The placemark and the part being added.
  PlacemarkHeader adding_;
  bool outer_kept_ = false;
  feature::PartKind part_kind_ = feature::PartKind::kPoint;
  uint64_t part_points_ = 0;
  uint64_t part_offset_ = 0;
  bool skip_part_ = false;
  uint32_t written_distinct_ = 0;  // transforming: distinct points written, up to 3
  std::string seen_points_[2];
  std::string point_line_;  // a point written on its own
  std::vector<char> points_buffer_;
  std::string record_;
  std::string value_;

  // Columns: the built-in kinds by AttributeKind, then Data fields by first appearance.
  std::vector<Column> columns_;
  std::unordered_map<std::string, uint32_t> data_columns_;
  size_t builtins_used_ = 0;
  std::vector<uint32_t> positions_;  // by column: its place in the output, or kNoColumn
  std::vector<std::string> names_;   // by place in the output
  std::vector<uint32_t> column_at_;  // by place in the output: the column

  // Writing: the placemark being written, as read back from the spill.
  PlacemarkHeader writing_;
  std::string style_url_;
  std::string row_text_;
  std::vector<std::string_view> row_values_;
  struct RowPlace {
    uint32_t position;
    size_t start;
    size_t size;
  };
  std::vector<RowPlace> row_places_;
  std::string mif_out_;
  std::string mid_out_;
  uint64_t parts_position_ = 0;
  uint64_t coordinates_position_ = 0;
};

MifWriter::MifWriter(Charset charset, const platform::CString& report_path,
                     const crs::System& system, crs::Source source)
    : impl_(std::make_unique<Impl>(charset, report_path, system, source)) {}
MifWriter::~MifWriter() = default;
void MifWriter::BeginPlacemark() { impl_->BeginPlacemark(); }
void MifWriter::BeginPart(feature::PartKind kind) { impl_->BeginPart(kind); }
void MifWriter::AddCoordinates(std::span<const feature::Coordinate> coordinates) {
  impl_->AddCoordinates(coordinates);
}
void MifWriter::EndPart(uint32_t distinct_points) { impl_->EndPart(distinct_points); }
void MifWriter::EndPlacemark(const feature::Placemark& placemark) {
  impl_->EndPlacemark(placemark);
}
void MifWriter::Write(const feature::StyleResolver& styles, platform::CReplaceFile& mif,
                      platform::CReplaceFile& mid) {
  impl_->Write(styles, mif, mid);
}
const WriterCounts& MifWriter::counts() const { return impl_->counts(); }

}  // namespace mif
