#include "feature/number.h"

#include <gtest/gtest.h>

#include <string>

namespace feature {
namespace {

TEST(Numbers, FiniteDecimalNumbersOnly) {
  const struct {
    const char* text;
    bool number;
  } cases[] = {
      {"0", true},         {"-0", true},       {"+.5", true},       {"5.", true},
      {"1e308", true},     {"1e309", false},   {"-1.8e308", false}, {"0.0001e312", true},
      {"0e99999", true},   {"1e-99999", true}, {"", false},         {".", false},
      {" 1", false},       {"1 ", false},      {"1e5.5", false},    {"1..2", false},
      {"Infinity", false}, {"1_000", false},
  };
  for (const auto& row : cases) {
    EXPECT_EQ(IsFiniteNumber(row.text), row.number) << row.text;
  }
  EXPECT_FALSE(IsFiniteNumber(std::string(400, '9')));
  EXPECT_TRUE(IsFiniteNumber("0." + std::string(400, '9')));
  EXPECT_EQ(ParseNumber("+2.5"), 2.5);
  EXPECT_EQ(ParseNumber("inf"), std::nullopt);
}

}  // namespace
}  // namespace feature
