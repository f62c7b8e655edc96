// Decimal numbers as documents write them: the one grammar of numbers that the coordinate
// reader, the MIF writer and the one-line conversion's check of its output share. Each caller
// says in one line why it asks for the form it asks for.
#pragma once

#include <optional>
#include <string_view>

namespace feature {

// A decimal number: an optional sign, digits with at most one '.' (".5" and "5." count), and an
// optional exponent ('e' or 'E', an optional sign, digits). Nothing else, not even white space.
bool IsDecimalNumber(std::string_view text);

// A decimal number whose value is within the range of double ("1e309" is not).
bool IsFiniteNumber(std::string_view text);

// The value of a decimal number (a leading '+' is allowed); nullopt for any other text and for
// a number out of the range of double.
std::optional<double> ParseNumber(std::string_view text);

// The plainest decimal numbers: an optional '-', digits, and a '.' only between digits
// ("-116.5", "40"; not "+1", ".5", "5." or "1e3"): every reader takes them as they stand.
bool IsPlainDecimal(std::string_view text);

}  // namespace feature
