#include "crs/numbers.h"

#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <system_error>

namespace crs {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Whether `text` has the shape ParseDecimal takes (std::from_chars alone would also take "inf",
// "nan" and a number after white space).
bool IsDecimal(std::string_view text) {
  size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  size_t digits = 0;
  for (; i < text.size() && IsDigit(text[i]); ++i) ++digits;
  if (i < text.size() && text[i] == '.') {
    for (++i; i < text.size() && IsDigit(text[i]); ++i) ++digits;
  }
  if (digits == 0) return false;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    size_t exponent_digits = 0;
    for (; i < text.size() && IsDigit(text[i]); ++i) ++exponent_digits;
    if (exponent_digits == 0) return false;
  }
  return i == text.size();
}

// 10^0 to 10^22: each is exact in a double.
constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                   1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                   1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// Reads the common text at once: digits with at most one '.', at most 15 of them significant and
// 22 after the point, no exponent. Its digits as an integer and the power of ten are then exact
// doubles, so one division, correctly rounded, gives the nearest double, as the full reading
// does. Only where doubles are computed in their own precision: the x87 unit would round twice.
// False for any other text, which the full reading takes.
bool ParseShortDecimal(std::string_view text, double* value) {
#if FLT_EVAL_METHOD == 0
  const char* p = text.data();
  const char* const end = p + text.size();
  const bool negative = p < end && *p == '-';
  if (p < end && (*p == '+' || *p == '-')) ++p;
  const char* const first = p;
  uint64_t mantissa = 0;  // exact while there are at most 19 digits
  while (p < end && IsDigit(*p)) mantissa = mantissa * 10 + static_cast<uint64_t>(*p++ - '0');
  const char* const point = p;
  ptrdiff_t decimals = 0;
  if (p < end && *p == '.') {
    const char* const fraction = ++p;
    while (p < end && IsDigit(*p)) mantissa = mantissa * 10 + static_cast<uint64_t>(*p++ - '0');
    decimals = p - fraction;
  }
  const ptrdiff_t digits = (point - first) + decimals;
  if (p != end || digits == 0 || digits > 19 || decimals > 22) return false;
  if (digits > 15) {
    // Leading zeros are not significant.
    ptrdiff_t significant = digits;
    for (const char* q = first; q < end && (*q == '0' || *q == '.'); ++q) {
      if (*q == '0') --significant;
    }
    if (significant > 15) return false;
  }
  const double magnitude = static_cast<double>(mantissa) / kPowersOfTen[decimals];
  *value = negative ? -magnitude : magnitude;
  return true;
#else
  (void)text;
  (void)value;
  return false;
#endif
}

// The power of ten of the first significant digit of a text of IsDecimal's shape that has a
// digit other than 0 (only the error path of ParseDecimal needs it).
int64_t Magnitude(std::string_view text) {
  int64_t integer_digits = 0;
  int64_t index = 0;
  int64_t first = 0;
  bool found = false;
  bool after_point = false;
  size_t i = (text[0] == '+' || text[0] == '-') ? 1 : 0;
  for (; i < text.size() && text[i] != 'e' && text[i] != 'E'; ++i) {
    if (text[i] == '.') {
      after_point = true;
      continue;
    }
    if (!after_point) ++integer_digits;
    if (!found && text[i] != '0') {
      first = index;
      found = true;
    }
    ++index;
  }
  int64_t exponent = 0;
  bool negative = false;
  if (i < text.size()) {
    ++i;
    if (text[i] == '+' || text[i] == '-') negative = text[i++] == '-';
    for (; i < text.size(); ++i) {
      if (exponent < 1'000'000) exponent = exponent * 10 + (text[i] - '0');
    }
  }
  return integer_digits - 1 - first + (negative ? -exponent : exponent);
}

// 10^decimals for the decimals written; each is exact in a double.
constexpr double kScale3 = 1e3;
constexpr double kScale9 = 1e9;

// Rounds |value| * scale to the nearest integer, ties to even, on the exact product: the fused
// multiply-add gives the product's rounding error, which decides the cases where the rounded
// product lies exactly halfway. REQUIRES: |value| * scale < 2^52, where every half-integer is a
// double and the product's error cannot carry it across one.
uint64_t RoundScaled(double magnitude, double scale) {
  const double product = magnitude * scale;
  const double error = std::fma(magnitude, scale, -product);
  const double floor = std::floor(product);
  const double fraction = product - floor;  // exact: both are within 1 of each other
  uint64_t result = static_cast<uint64_t>(floor);
  if (fraction > 0.5 || (fraction == 0.5 && (error > 0 || (error == 0 && (result & 1) != 0)))) {
    ++result;
  }
  return result;
}

char* WriteUnsigned(uint64_t value, char* out) { return std::to_chars(out, out + 20, value).ptr; }

// Writes value rounded to `decimals` (3 or 9) places; the digits after the point are all
// written. Values beyond the fast path's range go through std::to_chars, which rounds the same.
char* WriteFixed(double value, int decimals, double scale, uint64_t scale_int, char* out) {
  const double magnitude = std::fabs(value);
  constexpr double kLimit = 4503599627370496.0;  // 2^52
  if (!(magnitude * scale < kLimit)) {
    return std::to_chars(out, out + kMaxNumberChars, value, std::chars_format::fixed, decimals).ptr;
  }
  const uint64_t scaled = RoundScaled(magnitude, scale);
  if (std::signbit(value) && scaled != 0) *out++ = '-';
  out = WriteUnsigned(scaled / scale_int, out);
  *out++ = '.';
  uint64_t fraction = scaled % scale_int;
  for (int i = decimals - 1; i >= 0; --i) {
    out[i] = static_cast<char>('0' + fraction % 10);
    fraction /= 10;
  }
  return out + decimals;
}

}  // namespace

bool ParseDecimal(std::string_view text, double* value) {
  if (ParseShortDecimal(text, value)) return true;
  if (!IsDecimal(text)) return false;
  std::string_view digits = text;
  const bool negative = !digits.empty() && digits[0] == '-';
  if (!digits.empty() && (digits[0] == '+' || digits[0] == '-')) digits.remove_prefix(1);
  double parsed = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), parsed);
  if (end != digits.data() + digits.size()) return false;
  if (error == std::errc::result_out_of_range) {
    // Too large is refused; too small is zero, as it is for strtod.
    if (Magnitude(text) > 0) return false;
    parsed = 0;
  } else if (error != std::errc()) {
    return false;
  }
  *value = negative ? -parsed : parsed;
  return true;
}

char* FormatMetres(double value, char* out) {
  char* const end = WriteFixed(value, 3, kScale3, 1000, out);
  if (end - out == 6 && std::memcmp(out, "-0.000", 6) == 0) {
    std::memcpy(out, "0.000", 5);
    return out + 5;
  }
  return end;
}

char* FormatDegrees(double value, char* out) {
  char* end = WriteFixed(value, 9, kScale9, 1'000'000'000, out);
  while (end[-1] == '0') --end;
  if (end[-1] == '.') --end;
  if (end - out == 2 && out[0] == '-' && out[1] == '0') {
    out[0] = '0';
    end = out + 1;
  }
  return end;
}

}  // namespace crs
