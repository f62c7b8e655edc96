// The coordinate text of a KML document, read as a stream: tuples of "lon,lat[,alt]" separated
// by white space, arriving in pieces of any size (a tuple may be cut anywhere). Of a tuple only
// lon and lat are kept; one with more values, or an altitude that is not a number, is kept and
// counted.
//
// This path carries gigabyte tracks, so the tokenizer is a state machine over bytes that
// allocates nothing per tuple: the numbers' texts are copied into one arena per batch and the
// batch is handed on as views into it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "feature/placemark.h"

namespace kml {

class CoordinateTokenizer {
 public:
  // A batch is handed on when it holds this many coordinates.
  static constexpr size_t kBatchSize = 4096;
  // Longer numbers are not read (their tuple is bad): what one tuple can make us hold is bounded.
  static constexpr size_t kMaxNumberBytes = 128;

  enum class Mode {
    kCoordinates,  // a <coordinates> text: "x,y[,z]" tuples separated by white space
    kTrackCoord,   // a gx:coord text: one tuple, "x y [z]" separated by white space
  };

  CoordinateTokenizer();

  // Starts a new text. Coordinates already in the batch stay there.
  void Begin(Mode mode);
  // Reads `piece` up to its end, or up to where the batch has become full. Gives the bytes read;
  // the caller hands the full batch on (TakeBatch, ClearBatch) and feeds the rest.
  size_t Feed(std::string_view piece);
  // The text has ended: its last tuple is complete.
  void Finish();

  bool full() const { return slots_.size() >= kBatchSize; }
  size_t size() const { return slots_.size(); }
  // The batch as views into the tokenizer's arena, valid until ClearBatch, Feed or Finish.
  std::span<const feature::Coordinate> TakeBatch();
  void ClearBatch();

  // Tuples skipped since construction: 1 value, or a first or second that is not a number.
  uint64_t bad_tuples() const { return bad_tuples_; }
  // Tuples kept since construction that hold more than lon, lat and an altitude that is a
  // number: 4+ values, or a third that is not a number.
  uint64_t extra_tuples() const { return extra_tuples_; }

 private:
  enum class State : uint8_t { kBetween, kInValue, kAfterValue, kAfterComma };
  struct Slot {
    uint32_t x_offset, x_size, y_offset, y_size;
    bool plain;  // Coordinate::plain
  };

  // Takes the well-formed tuple at `p` when it is complete within the piece and gives the
  // byte where the next one starts; nullptr leaves everything as it was.
  const char* TakePlainTuple(const char* p, const char* end);
  const char* TakePlainTuples(const char* p, const char* end);
  void BeginTuple();
  void BeginValue();
  void AppendToValue(const char* begin, const char* end);
  void EndValue();
  void EndTuple();

  const uint8_t* classes_;  // byte classes of the current mode
  Mode mode_ = Mode::kCoordinates;
  State state_ = State::kBetween;
  std::string arena_;
  std::vector<Slot> slots_;
  std::vector<feature::Coordinate> batch_;
  // The tuple being read.
  size_t tuple_start_ = 0;
  size_t value_start_ = 0;
  uint32_t values_ = 0;
  bool value_too_long_ = false;
  bool tuple_bad_ = false;
  bool tuple_extra_ = false;
  Slot current_{};
  uint64_t bad_tuples_ = 0;
  uint64_t extra_tuples_ = 0;
};

// Counts the distinct coordinates of a part, by numeric value ("1.0,2" equals "1,2.00"), up to
// 3: enough to tell a ring that encloses an area from one that does not.
class DistinctCounter {
 public:
  void Reset() { count_ = 0; }
  void Add(std::span<const feature::Coordinate> coordinates);
  uint32_t count() const { return count_; }

 private:
  struct Seen {
    std::string x, y;
    double x_value = 0, y_value = 0;
  };
  uint32_t count_ = 0;
  Seen seen_[2];
};

}  // namespace kml
