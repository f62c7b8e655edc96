// MifWriter: placemarks into a MapInfo Interchange pair (.mif and .mid).
//
// Placemarks are added as they are read; what the header needs (the column schema, the
// version, every object's point counts) is only known at the end, so the objects are kept in
// spill files on the way and written out by Write. Knows nothing of XML: it takes the plain
// features of feature/placemark.h, and resolves their styles through a feature::StyleResolver.
//
// Coordinates are written in the system asked for (crs/): in WGS 84 from WGS 84 their texts
// are copied as the document wrote them; otherwise each point is transformed as it is added
// (crs::Transformer::FormatPoint), and a point the transformation refuses is skipped and
// counted, as the reader skips a tuple it cannot read.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "crs/system.h"
#include "crs/transformer.h"
#include "feature/placemark.h"
#include "feature/style_resolver.h"
#include "platform/cstring.h"
#include "platform/replace_file.h"

namespace mif {

// The character set of the text in the outputs (the MIF header's Charset).
enum class Charset {
  kWindowsSimpChinese,  // GBK (code page 936)
  kUtf8,                // "UTF-8", for MapInfo Pro 15.2 and later
  kWindowsLatin1,       // code page 1252
  kNeutral,             // text passed through as UTF-8
};
// "WindowsSimpChinese", "UTF-8", "WindowsLatin1", "Neutral" (case ignored) and false for others.
bool ParseCharset(std::string_view name, Charset* charset);
std::string_view CharsetName(Charset charset);

// What was written, for the file's summary line.
struct WriterCounts {
  uint64_t points = 0;           // Point objects
  uint64_t lines = 0;            // Pline objects (single and multiple sections)
  uint64_t regions = 0;          // Region objects
  uint64_t multipoints = 0;      // Multipoint objects
  uint64_t collections = 0;      // Collection objects
  uint64_t no_geometry = 0;      // placemarks written as "none"
  uint64_t dropped_parts = 0;    // lines without points, rings of fewer than 3 distinct points
  uint64_t one_point_lines = 0;  // lines of a single point, written as points
  uint64_t replaced_chars = 0;   // characters the charset cannot hold, written as '?'
  uint64_t cut_values = 0;       // values cut to 254 bytes
  uint64_t dropped_fields = 0;   // ExtendedData values whose field is beyond the column limit
  uint64_t refused_points = 0;   // points the transformation refuses (crs/transformer.h): skipped
  uint64_t outside_zone = 0;     // points written more than half a zone beyond their zone
};

class MifWriter {
 public:
  // At most this many columns (MapInfo's limit); later fields are dropped and counted.
  static constexpr size_t kMaxColumns = 250;

  // `report_path` names the output in errors of the spill files. The coordinates are written in
  // `system` (the header's CoordSys says so), read as coming from `source`.
  // REQUIRES: !system.needs_zone() (crs::FixZone first).
  MifWriter(Charset charset, const platform::CString& report_path,
            const crs::System& system = crs::System(), crs::Source source = crs::Source::kWgs84);
  ~MifWriter();
  MifWriter(const MifWriter&) = delete;
  MifWriter& operator=(const MifWriter&) = delete;

  // One placemark: BeginPlacemark, then for each part BeginPart, AddCoordinates (any number of
  // batches) and EndPart, then EndPlacemark. Throws CFileException from the spill files.
  void BeginPlacemark();
  void BeginPart(feature::PartKind kind);
  void AddCoordinates(std::span<const feature::Coordinate> coordinates);
  // `distinct_points`: distinct coordinates of the part, counted up to 3. (When transforming,
  // the writer counts the distinct points it writes instead.)
  void EndPart(uint32_t distinct_points);
  void EndPlacemark(const feature::Placemark& placemark);

  // Writes the MIF (header, then every object with its style resolved in `styles`) and the MID
  // (one row per object). Text mode is not used: line ends are written as CR LF.
  void Write(const feature::StyleResolver& styles, platform::CReplaceFile& mif,
             platform::CReplaceFile& mid);

  const WriterCounts& counts() const;

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace mif
