// The small texts of a MIF/MID pair, made without any state: point lines, column names and
// types, MID fields, style clauses. Internal to the writer; separate so that each rule can be
// checked on its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>

#include "feature/placemark.h"
#include "mif/mif_writer.h"
#include "platform/cstring.h"

namespace mif::text {

inline constexpr size_t kMaxCharWidth = 254;              // the widest Char column
inline constexpr size_t kMaxNameBytes = 31;               // the longest column name
inline constexpr uint64_t kMaxObjectPoints = 2147483647;  // a Pline's or a Region's node count

// Appends the point line "x y" + CR LF. The numbers keep their text where readers take it as
// it is; a leading '+' is dropped, ".5" becomes "0.5", "5." becomes "5", and exponents are
// written out in fixed notation. REQUIRES: both are finite decimal numbers, as the reader
// checks them.
void AppendPoint(std::string_view x, std::string_view y, std::string& out);

// The length of the longest start of `text` of at most `max` bytes that ends between two
// characters of `charset`.
size_t CutLength(std::string_view text, size_t max, Charset charset);

// A decimal integer that fits in 32 bits ("-12", "2147483647").
bool IsInteger32(std::string_view value);
// A plain decimal number ("-12", "3.25"): what a Float column reads back as it was written.
bool IsDecimal(std::string_view value);
// Digits after a leading 0 ("007", "-01.5"): a number column would drop the zeros.
bool HasLeadingZero(std::string_view value);

// Turns every line break (CR LF, CR or LF) into LF.
void NormalizeLineBreaks(std::string& text);

// Appends `value` as a MID Char field: in double quotes, a quote doubled, a line break as the
// two characters \n.
void AppendQuoted(std::string_view value, std::string& out);

// A column name in UTF-8 with every character MapInfo does not take in a name made '_': only
// ASCII letters, digits and '_', and, with `keep_letters`, letters beyond ASCII (Chinese).
std::string SanitizeName(std::string_view utf8, bool keep_letters);

// Makes a name in the output character set valid: '?' (a character the set cannot hold) made
// '_', a leading digit behind a '_', "Field" for nothing, at most kMaxNameBytes.
std::string FinishName(std::string name, Charset charset);

// `name`, or `name` with "_2", "_3"... (kept within kMaxNameBytes), whichever is not yet in
// `used` (names lower-cased in ASCII); the result is added to `used`.
std::string UniqueName(const std::string& name, Charset charset,
                       std::unordered_set<std::string>& used);

// A KML colour (aabbggrr) as a MIF colour (R * 65536 + G * 256 + B).
uint32_t MifColor(uint32_t kml_color);

// The style clauses of an object, indented, each with CR LF.
void AppendPen(const feature::Style& style, bool region, std::string& out);
void AppendBrush(const feature::Style& style, std::string& out);
void AppendSymbol(const feature::Style& style, std::string& out);

// Throws CFileException(tooManyPoints, path) when `points` exceed kMaxObjectPoints.
void CheckObjectPoints(uint64_t points, const platform::CString& path);

}  // namespace mif::text
