#include "feature/number.h"

#include <charconv>
#include <cstdint>
#include <limits>
#include <system_error>

namespace feature {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

struct NumberShape {
  bool valid = false;
  bool has_exponent = false;
};

NumberShape ShapeOf(std::string_view text) {
  const char* p = text.data();
  const char* const end = p + text.size();
  if (p != end && (*p == '+' || *p == '-')) ++p;
  const char* const integer = p;
  while (p != end && IsDigit(*p)) ++p;
  size_t digits = static_cast<size_t>(p - integer);
  if (p != end && *p == '.') {
    const char* const fraction = ++p;
    while (p != end && IsDigit(*p)) ++p;
    digits += static_cast<size_t>(p - fraction);
  }
  if (digits == 0) return {};
  if (p == end) return {true, false};
  if (*p != 'e' && *p != 'E') return {};
  ++p;
  if (p != end && (*p == '+' || *p == '-')) ++p;
  if (p == end || !IsDigit(*p)) return {};
  while (p != end && IsDigit(*p)) ++p;
  return {p == end, true};
}

// The power of ten of the first significant digit of a well-formed number, or nullopt when all
// its digits are zero. Exponents are clamped far beyond any double, so nothing overflows here.
std::optional<int64_t> DecimalMagnitude(std::string_view text) {
  size_t i = 0;
  if (text[i] == '+' || text[i] == '-') ++i;
  int64_t integer_digits = 0;  // significant digits before the point
  int64_t leading_zeros = 0;   // zeros after the point before the first significant digit
  bool significant = false;
  for (; i < text.size() && IsDigit(text[i]); ++i) {
    if (significant || text[i] != '0') {
      significant = true;
      ++integer_digits;
    }
  }
  if (i < text.size() && text[i] == '.') {
    for (++i; i < text.size() && IsDigit(text[i]); ++i) {
      if (significant) continue;
      if (text[i] == '0') {
        ++leading_zeros;
      } else {
        significant = true;
      }
    }
  }
  if (!significant) return std::nullopt;
  int64_t exponent = 0;
  if (i < text.size()) {
    ++i;  // 'e'
    bool negative = false;
    if (text[i] == '+' || text[i] == '-') negative = text[i++] == '-';
    for (; i < text.size(); ++i) {
      if (exponent < 1'000'000) exponent = exponent * 10 + (text[i] - '0');
    }
    if (negative) exponent = -exponent;
  }
  return (integer_digits > 0 ? integer_digits - 1 : -(leading_zeros + 1)) + exponent;
}

std::optional<double> Convert(std::string_view text) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

}  // namespace

bool IsFiniteNumber(std::string_view text) {
  const NumberShape shape = ShapeOf(text);
  if (!shape.valid) return false;
  // Only an exponent or hundreds of digits can leave the range of double.
  if (!shape.has_exponent && text.size() < 300) return true;
  const std::optional<int64_t> magnitude = DecimalMagnitude(text);
  constexpr int64_t kMaxMagnitude = std::numeric_limits<double>::max_exponent10;  // 308
  if (!magnitude || *magnitude < kMaxMagnitude) return true;
  return *magnitude == kMaxMagnitude && Convert(text).has_value();
}

bool IsDecimalNumber(std::string_view text) { return ShapeOf(text).valid; }

std::optional<double> ParseNumber(std::string_view text) {
  if (!ShapeOf(text).valid) return std::nullopt;
  return Convert(text);
}

bool IsPlainDecimal(std::string_view text) {
  const char* p = text.data();
  const char* const end = p + text.size();
  if (p != end && *p == '-') ++p;
  const char* const integer = p;
  while (p != end && IsDigit(*p)) ++p;
  if (p == integer) return false;
  if (p == end) return true;
  if (*p != '.') return false;
  const char* const fraction = ++p;
  while (p != end && IsDigit(*p)) ++p;
  return p == end && p != fraction;
}

}  // namespace feature
