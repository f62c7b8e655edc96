#include "crs/numbers.h"

#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <optional>
#include <random>
#include <string>

namespace crs {
namespace {

std::string Metres(double value) {
  char buffer[kMaxNumberChars];
  return std::string(buffer, FormatMetres(value, buffer));
}

std::string Degrees(double value) {
  char buffer[kMaxNumberChars];
  return std::string(buffer, FormatDegrees(value, buffer));
}

std::optional<double> Parse(std::string_view text) {
  double value = 0;
  if (!ParseDecimal(text, &value)) return std::nullopt;
  return value;
}

// What std::to_chars writes (exact binary value, ties to even), with the sign of a zero result
// dropped and, for degrees, trailing zeros too: the behaviour the fast path must match.
std::string Reference(double value, int decimals) {
  char buffer[kMaxNumberChars];
  std::string text(
      buffer,
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals).ptr);
  if (decimals == 9) {
    while (text.back() == '0') text.pop_back();
    if (text.back() == '.') text.pop_back();
  }
  if (text.find_first_not_of("-0.") == std::string::npos && text[0] == '-') text.erase(0, 1);
  return text;
}

TEST(FormatTest, Table) {
  struct Case {
    double value;
    const char* metres;
    const char* degrees;
  };
  const Case cases[] = {
      {0.0, "0.000", "0"},
      {-0.0, "0.000", "0"},
      {-0.0004, "0.000", "-0.0004"},
      {-4e-10, "0.000", "0"},
      {0.0625, "0.062", "0.0625"},  // 62.5 mm exactly: ties go to even
      {0.1875, "0.188", "0.1875"},  // 187.5 mm exactly
      {2.5, "2.500", "2.5"},
      {-5, "-5.000", "-5"},
      {0.0005, "0.001", "0.0005"},  // a little above 0.0005 in binary
      {116.391234, "116.391", "116.391234"},
      {39.99999999951, "40.000", "40"},  // carries into the integer part
      {-179.9999999996, "-180.000", "-180"},
      {1e-9, "0.000", "0.000000001"},
      {4.9999999999e-10, "0.000", "0"},
      {39500000.12351, "39500000.124", "39500000.123510003"},
      {4503599627.370496, "4503599627.370", "4503599627.370495796"},  // beyond 2^52 / 10^9
      {1e15, "1000000000000000.000", "1000000000000000"},
      {-1.5e20, "-150000000000000000000.000", "-150000000000000000000"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(Metres(c.value), c.metres);
    EXPECT_EQ(Degrees(c.value), c.degrees);
  }
}

// Random values of every magnitude the writer meets, and exact ties (multiples of 2^-k whose
// decimals end in 5 just past the last written place), against std::to_chars.
TEST(FormatTest, MatchesToCharsRounding) {
  std::mt19937_64 random(15);
  std::uniform_real_distribution<double> unit(-1, 1);
  std::uniform_int_distribution<int> exponent(-13, 16);
  std::uniform_int_distribution<int64_t> integer(-(int64_t{1} << 40), int64_t{1} << 40);
  for (int i = 0; i < 300000; ++i) {
    double value = unit(random) * std::pow(10.0, exponent(random));
    if (i % 3 == 1) value = std::ldexp(static_cast<double>(integer(random)), -(i % 24));
    if (i % 3 == 2) value = std::nextafter(value, i % 2 ? 1e300 : -1e300);
    ASSERT_EQ(Metres(value), Reference(value, 3)) << value;
    if (std::fabs(value) < 1e7) {
      ASSERT_EQ(Degrees(value), Reference(value, 9)) << value;
    }
  }
}

TEST(ParseTest, Table) {
  struct Case {
    const char* text;
    std::optional<double> value;
  };
  const Case cases[] = {
      {"116.391234", 116.391234},
      {"-5", -5.0},
      {"1e-3", 0.001},
      {"+5", 5.0},
      {".5", 0.5},
      {"5.", 5.0},
      {"-.25E+2", -25.0},
      {"0.1", 0.1},
      {"39.915000000000000000000000001", 39.915},
      // Halfway between two doubles exactly, and just above: ties to even.
      {"9007199254740993", 9007199254740992.0},
      {"1.00000000000000011102230246251565404236316680908203125", 1.0},
      {"1.00000000000000011102230246251565404236316680908203126", 1.0000000000000002},
      {"2.2250738585072011e-308", 2.2250738585072009e-308},
      {"1e-400", 0.0},
      {"0.000000000000000000000000000000000000000000000000000000000000000000000000000000000000000"
       "00000000000000000000000000000000000000000000000000000000000000000000000000000000000000000"
       "00000000000000000000000000000000000000000000000000000000000000000000000000000000000000000"
       "000000000000000000000000000000000000000000000000000000000000001",
       0.0},
      {"1e400", std::nullopt},
      {"-1e309", std::nullopt},
      {"", std::nullopt},
      {" 1", std::nullopt},
      {"1 ", std::nullopt},
      {"inf", std::nullopt},
      {"-nan", std::nullopt},
      {"0x10", std::nullopt},
      {"1e", std::nullopt},
      {"1e+", std::nullopt},
      {"e5", std::nullopt},
      {".", std::nullopt},
      {"-", std::nullopt},
      {"+-1", std::nullopt},
      {"1.2.3", std::nullopt},
      {"1,5", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const std::optional<double> parsed = Parse(c.text);
    ASSERT_EQ(parsed.has_value(), c.value.has_value());
    if (parsed) {
      EXPECT_EQ(*parsed, *c.value);
    }
  }
  EXPECT_TRUE(std::signbit(*Parse("-0")));
  EXPECT_TRUE(std::signbit(*Parse("-1e-400")));
}

// Shortest texts read back to the same double; long decimal texts give the nearest double, as
// glibc's strtod does (Windows' strtod is no reference: it is not always exact).
TEST(ParseTest, ExactAgainstStrtod) {
  std::mt19937_64 random(15);
  std::uniform_int_distribution<uint64_t> bits;
  std::uniform_int_distribution<int> digit(0, 9);
  std::uniform_int_distribution<size_t> length(1, 30);
  for (int i = 0; i < 200000; ++i) {
    const double value = std::bit_cast<double>(bits(random));
    if (!std::isfinite(value)) continue;
    char buffer[64];
    const std::string shortest(buffer, std::to_chars(buffer, buffer + sizeof buffer, value).ptr);
    ASSERT_EQ(Parse(shortest), value) << shortest;
#ifndef _WIN32
    std::string digits;
    for (size_t n = length(random); n > 0; --n) digits += static_cast<char>('0' + digit(random));
    const size_t point = length(random) % (digits.size() + 1);
    std::string text = i % 2 ? "-" : "";
    text.append(digits, 0, point).append(".").append(digits, point);
    ASSERT_EQ(Parse(text), std::strtod(text.c_str(), nullptr)) << text;
#endif
  }
}

}  // namespace
}  // namespace crs
