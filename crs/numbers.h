// The number texts of transformed coordinates: reading the decimal texts of a KML document and
// writing metres and degrees for a MIF file.
//
// Both directions are exact and locale-independent: a text is read as the double nearest to its
// decimal value, and a double is written as its exact binary value rounded to the stated number
// of decimals, ties to even (what printf's "%.3f" and std::to_chars do), so that the same point
// gives the same bytes on every platform. Neither allocates; both run per coordinate.
#pragma once

#include <cstddef>
#include <string_view>

namespace crs {

// The most characters FormatMetres or FormatDegrees writes for any finite double.
inline constexpr size_t kMaxNumberChars = 330;

// Reads a decimal number: an optional sign ('+' or '-'), digits with at most one '.' (".5" and
// "5." count), an optional exponent ("1e-3"). Gives the nearest double (ties to even). False for
// any other text (white space, "inf", "nan", hexadecimal) and for a magnitude beyond double's
// range; a magnitude below its smallest number reads as zero.
bool ParseDecimal(std::string_view text, double* value);

// Writes `value` in metres with three decimals ("-12.300") and gives the end of the text.
// A value that rounds to zero is written "0.000", without a sign.
// REQUIRES: `value` is finite; `out` holds kMaxNumberChars.
char* FormatMetres(double value, char* out);

// Writes `value` in degrees rounded to nine decimals, trailing zeros and a trailing '.' dropped
// ("116.5", "-5", "0.000000001"; a value that rounds to zero is "0"), and gives the end.
// REQUIRES: `value` is finite; `out` holds kMaxNumberChars.
char* FormatDegrees(double value, char* out);

}  // namespace crs
