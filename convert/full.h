// ConvertFull: the full conversion of a KML or KMZ file into a MapInfo Interchange pair: every
// placemark with its geometry, attributes and style, in the character set asked for. It drives
// the stages, bytes (input/) → XML events (xml/) → placemarks (kml/) → MIF and MID (mif/), and
// binds the writer to the reader's style table. The outputs are named, checked and replaced as
// a pair by OutputPair (output_pair.h), as for the one-line conversion.
//
// The points are written in the coordinate system asked for (crs/). For the automatic zones
// (cgcs2000-gk3, cgcs2000-gk6) a first pass reads the document for the range of its WGS 84
// longitudes (after the web map's shift is undone), so that the zone is known before the first
// point is transformed: every point then goes through one transformation, the same as with its
// zone's own code.
#pragma once

#include <cstdint>

#include "crs/system.h"
#include "crs/transformer.h"
#include "mif/mif_writer.h"
#include "platform/cstring.h"

namespace convert {

struct FullOptions {
  mif::Charset charset = mif::Charset::kWindowsSimpChinese;
  // Called now and then with the bytes of the input read so far and its size (may be null).
  void (*progress)(uint64_t done, uint64_t total, void* context) = nullptr;
  void* progress_context = nullptr;
  // Not empty: the outputs go to this folder under their own names (see MakeOutputPath).
  platform::CString output_folder;
  // The coordinate system written, and where the KML's coordinates come from.
  crs::System system;
  crs::Source source = crs::Source::kWgs84;
};

struct FullSummary {
  platform::CString mid_path;
  platform::CString mif_path;
  uint64_t placemarks = 0;
  mif::WriterCounts written;
  uint64_t overlays = 0;       // skipped
  uint64_t network_links = 0;  // skipped
  uint64_t bad_tuples = 0;     // skipped
  uint64_t extra_tuples = 0;   // tuples with extra values, x and y kept
  uint64_t dropped_styles = 0;
  bool kml_root = false;  // false: the file is XML but not KML (an empty table is written)
  int zone = 0;           // the Gauss-Krueger zone written; 0 for longitude/latitude
  // Placemarks that are no features of the document: skipped.
  uint64_t outside_placemarks = 0;
};

// Converts the KML or KMZ file at `path` into MakeOutputPath(path, options.output_folder,
// "mif") and (..., "mid").
// Throws CFileException naming the file: every error of OutputPair, and badXml (with line and
// column), badZip, noKmlInZip, encryptedZip, unknownEncoding, badEncoding, read and write
// errors; then neither output has changed.
FullSummary ConvertFull(const platform::CString& path, const FullOptions& options);

}  // namespace convert
