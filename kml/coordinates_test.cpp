#include "kml/coordinates.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kml {

using feature::Coordinate;

namespace {

struct Tokenized {
  std::string tuples;  // "x y|x y|..."
  uint64_t bad = 0;
  uint64_t extra = 0;  // kept tuples with values beyond x, y and a numeric altitude
  bool operator==(const Tokenized&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Tokenized& tokenized) {
  return out << "\"" << tokenized.tuples << "\" bad " << tokenized.bad << " extra "
             << tokenized.extra;
}

// Feeds the pieces as the reader does, handing each full batch on; `eager` also hands on what
// there is after every piece, so that the batch is cleared while a tuple is cut.
Tokenized Tokenize(const std::vector<std::string_view>& pieces,
                   CoordinateTokenizer::Mode mode = CoordinateTokenizer::Mode::kCoordinates,
                   size_t* batches = nullptr, bool eager = false) {
  CoordinateTokenizer tokenizer;
  Tokenized result;
  const auto take = [&] {
    for (const Coordinate& coordinate : tokenizer.TakeBatch()) {
      if (!result.tuples.empty()) result.tuples += '|';
      result.tuples.append(coordinate.x).append(" ").append(coordinate.y);
    }
    EXPECT_LE(tokenizer.size(), CoordinateTokenizer::kBatchSize);
    if (batches != nullptr && tokenizer.size() != 0) ++*batches;
    tokenizer.ClearBatch();
  };
  tokenizer.Begin(mode);
  for (std::string_view piece : pieces) {
    while (!piece.empty()) {
      piece.remove_prefix(tokenizer.Feed(piece));
      if (tokenizer.full()) take();
    }
    if (eager) take();
  }
  tokenizer.Finish();
  take();
  result.bad = tokenizer.bad_tuples();
  result.extra = tokenizer.extra_tuples();
  return result;
}

struct TupleCase {
  const char* text;
  Tokenized expected;
};

const TupleCase kCoordinateCases[] = {
    {"", {"", 0}},
    {" \t\r\n ", {"", 0}},
    {"1,2", {"1 2", 0}},
    {"1,2,3 4,5,6", {"1 2|4 5", 0}},
    {" \t\r\n116.39,39.9,0\n\n\t-1.5,-2.5,0\r\n", {"116.39 39.9|-1.5 -2.5", 0}},
    {"1 , 2 ,3", {"1 2", 0}},
    {"1,2 , 3 4,5", {"1 2|4 5", 0}},
    {"1,\n2", {"1 2", 0}},
    {".5,5.", {".5 5.", 0}},
    {"+1.5e3,-2E-2,+0", {"+1.5e3 -2E-2", 0}},
    {"1e-999,2", {"1e-999 2", 0}},  // underflows to zero: finite
    {"1e999,2", {"", 1}},
    {"1.7976931348623157e308,1", {"1.7976931348623157e308 1", 0}},
    {"1.8e308,1", {"", 1}},
    {"1", {"", 1}},
    // Values beyond x, y and a numeric altitude are not kept, and their tuple is counted.
    {"1,2,3,4", {"1 2", 0, 1}},
    {"116.4,39.9,0,20 1,2", {"116.4 39.9|1 2", 0, 1}},
    {"1,2,3,4 5,6", {"1 2|5 6", 0, 1}},
    {"1,2,3,x,y,z,7 8,9", {"1 2|8 9", 0, 1}},
    {"1,2,3 , 4 5,6,7,8", {"1 2|5 6", 0, 2}},
    {"1,2,,", {"1 2", 0, 1}},
    {"x,2,3,4 1,y,3,4", {"", 2}},
    {"a,b 1,2", {"1 2", 1}},
    {"1,2 x 3,4", {"1 2|3 4", 1}},
    {"1.2.3,4", {"", 1}},
    {"1,,2", {"", 1}},
    {"1,2,", {"1 2", 0, 1}},
    {",1,2", {"", 1}},
    {"1,2,z", {"1 2", 0, 1}},  // an altitude that is not a number is not kept either
    {"-,2 .,2 e5,1 1e,2 1e+,2 --1,2", {"", 6}},
    {"nan,1 inf,1 0x1,2 1f,2", {"", 4}},
    {"1,2 1,2", {"1 2|1 2", 0}},
    // Runs of plain tuples, with the odd ones among them that need the slow reading.
    {"1,2 3,4,5 -6,+7 8.,.9\t1,2", {"1 2|3 4|-6 +7|8. .9|1 2", 0}},
    {"1,2 ,3 4,5 6,7", {"1 2|4 5|6 7", 0}},
    {"1,2,3 ,4 5,6 7,8", {"1 2|5 6|7 8", 0, 1}},
    {"1,2 3,4e1 5,6 7,8,9,0 1,2 3,", {"1 2|3 4e1|5 6|7 8|1 2", 1, 1}},
    {"1,2 3,4a 5,6 1,-  7,8 9,.", {"1 2|5 6|7 8", 3}},
    {"1,2 3, 4 5 ,6 7,8", {"1 2|3 4|5 6|7 8", 0}},
    {"1,2,3,4 5,6 1,2,- 7,8", {"1 2|5 6|1 2|7 8", 0, 2}},
    // Digits next to the bytes that border them, inside and beyond an eight-byte word.
    {"123456789/,1 2,3 12345678,87654321 9,9", {"2 3|12345678 87654321|9 9", 1}},
    {"1,23456789:012 4,5 0.1234567,9876543210.0 1,1", {"4 5|0.1234567 9876543210.0|1 1", 1}},
    {"1.2345678\xC2\xB0,2 3,4 5,6", {"3 4|5 6", 1}},
};

TEST(CoordinateTokenizer, ReadsTuplesWhereverThePiecesAreCut) {
  for (const TupleCase& row : kCoordinateCases) {
    const std::string_view text = row.text;
    SCOPED_TRACE(text);
    EXPECT_EQ(Tokenize({text}), row.expected);
    std::vector<std::string_view> bytes;
    for (size_t i = 0; i < text.size(); ++i) bytes.push_back(text.substr(i, 1));
    EXPECT_EQ(Tokenize(bytes), row.expected) << "byte by byte";
    // Followed by enough white space, every tuple is read 64 bytes at a time.
    for (const char pad : {' ', '\n'}) {
      const std::string padded = std::string(row.text) + std::string(80, pad);
      EXPECT_EQ(Tokenize({padded}), row.expected) << "padded";
      // A comma at either end would join the copies' tuples.
      const size_t first = text.find_first_not_of(" \t\r\n");
      const size_t last = text.find_last_not_of(" \t\r\n");
      if (first != std::string_view::npos && (text[first] == ',' || text[last] == ',')) continue;
      const std::string repeated = padded + padded + padded;
      Tokenized three = row.expected;
      if (!three.tuples.empty()) three.tuples += '|' + three.tuples + '|' + three.tuples;
      three.bad *= 3;
      three.extra *= 3;
      EXPECT_EQ(Tokenize({repeated}), three) << "three times, padded";
    }
    for (size_t cut = 0; cut <= text.size(); ++cut) {
      EXPECT_EQ(Tokenize({text.substr(0, cut), text.substr(cut)}), row.expected) << "cut " << cut;
      EXPECT_EQ(Tokenize({text.substr(0, cut), text.substr(cut)},
                         CoordinateTokenizer::Mode::kCoordinates, nullptr, true),
                row.expected)
          << "cut " << cut << ", batch cleared there";
    }
  }
}

// A coordinate is marked plain (to be written without another look) only when both numbers are
// an optional '-', digits and a '.' between digits: the altitude does not matter. Short texts
// are read a tuple at a time, padded ones 64 bytes at a time.
TEST(CoordinateTokenizer, MarksOnlyPlainDecimalsPlain) {
  struct Row {
    const char* text;
    const char* plain;  // one letter per tuple: p plain, n not
  };
  const Row rows[] = {
      // The last tuple of a text ends only with the text: it is read the careful way.
      {"1,2 -116.391289,39.907668,0 0.5,-0.25,+1", "ppn"},
      {"+1,2 1,+2 .5,1 1,5. 1e2,3 1,2E-1 -.5,1", "nnnnnnn"},
      {"1,2,3 1 , 2 4,5", "pnn"},  // blanks around the comma: read the careful way
      {"-0,0 00012,3 1,2,.5 7,8,9. 1,2", "ppppn"},
  };
  for (const Row& row : rows) {
    for (const size_t pad : {0, 80}) {
      const std::string text = std::string(row.text) + std::string(pad, ' ');
      SCOPED_TRACE(text);
      CoordinateTokenizer tokenizer;
      tokenizer.Begin(CoordinateTokenizer::Mode::kCoordinates);
      EXPECT_EQ(tokenizer.Feed(text), text.size());
      tokenizer.Finish();
      std::string plain;
      for (const Coordinate& coordinate : tokenizer.TakeBatch()) {
        plain += coordinate.plain ? 'p' : 'n';
      }
      EXPECT_EQ(plain, row.plain);
    }
  }
}

TEST(CoordinateTokenizer, ReadsTrackCoordsSeparatedByBlanks) {
  const TupleCase cases[] = {
      {"1 2 3", {"1 2", 0}},    {" 1\t2 ", {"1 2", 0}},
      {"1", {"", 1}},           {"1 2 3 4", {"1 2", 0, 1}},
      {"1,2 3", {"", 1}},       {"", {"", 0}},
      {"1 2 x", {"1 2", 0, 1}}, {"1.5 -2e1", {"1.5 -2e1", 0}},
  };
  for (const TupleCase& row : cases) {
    const std::string_view text = row.text;
    SCOPED_TRACE(text);
    for (size_t cut = 0; cut <= text.size(); ++cut) {
      EXPECT_EQ(
          Tokenize({text.substr(0, cut), text.substr(cut)}, CoordinateTokenizer::Mode::kTrackCoord),
          row.expected)
          << "cut " << cut;
    }
  }
}

TEST(CoordinateTokenizer, LongNumbersAreBadTuplesNotUnboundedText) {
  const std::string longest(CoordinateTokenizer::kMaxNumberBytes, '1');
  EXPECT_EQ(Tokenize({longest + ",2"}), (Tokenized{longest + " 2", 0}));
  const std::string huge(100'000, '1');
  EXPECT_EQ(Tokenize({huge + "1,2 3,4"}), (Tokenized{"3 4", 1}));
  EXPECT_EQ(Tokenize({"1,2 " + longest + ",3 4," + longest + "1 5,6"}),
            (Tokenized{"1 2|" + longest + " 3|5 6", 1}));
}

TEST(CoordinateTokenizer, HandsOnFullBatchesAndKeepsEveryTuple) {
  std::string text, expected;
  const int count = 2 * static_cast<int>(CoordinateTokenizer::kBatchSize) + 17;
  for (int i = 0; i < count; ++i) {
    text += std::to_string(i) + "," + std::to_string(-i) + ",0 ";
    if (!expected.empty()) expected += '|';
    expected += std::to_string(i) + " " + std::to_string(-i);
  }
  for (const size_t piece : {size_t{7}, text.size()}) {
    std::vector<std::string_view> pieces;
    for (size_t i = 0; i < text.size(); i += piece) {
      pieces.push_back(std::string_view(text).substr(i, piece));
    }
    size_t batches = 0;
    EXPECT_EQ(Tokenize(pieces, CoordinateTokenizer::Mode::kCoordinates, &batches),
              (Tokenized{expected, 0}));
    EXPECT_EQ(batches, 3u);
  }
}

TEST(DistinctCounter, CountsByNumericValueUpToThree) {
  const struct {
    const char* text;
    uint32_t distinct;
  } cases[] = {
      {"", 0},
      {"1,2 1,2 1,2", 1},
      {"1,2 1.0,2.00 +1,2e0", 1},
      {"0,0 -0,0", 1},
      {"1,2 1,3", 2},
      {"1,2 3,4 1,2 3.0,4", 2},
      {"1,2 3,4 5,6", 3},
      {"1,2 3,4 5,6 7,8 9,9", 3},
  };
  for (const auto& row : cases) {
    CoordinateTokenizer tokenizer;
    tokenizer.Begin(CoordinateTokenizer::Mode::kCoordinates);
    tokenizer.Feed(row.text);
    tokenizer.Finish();
    DistinctCounter counter;
    // One coordinate at a time, as if each came in a batch of its own.
    for (const Coordinate& coordinate : tokenizer.TakeBatch()) counter.Add({&coordinate, 1});
    EXPECT_EQ(counter.count(), row.distinct) << row.text;
  }
}

}  // namespace
}  // namespace kml
