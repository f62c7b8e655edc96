#include "kml/coordinates.h"

#include <array>
#include <bit>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "feature/number.h"

namespace kml {

using feature::Coordinate;

namespace {

enum : uint8_t { kOther = 0, kSpace = 1, kComma = 2 };

constexpr std::array<uint8_t, 256> MakeClasses(bool comma_separates) {
  std::array<uint8_t, 256> classes{};
  classes[' '] = classes['\t'] = classes['\r'] = classes['\n'] = kSpace;
  if (comma_separates) classes[','] = kComma;
  return classes;
}

constexpr std::array<uint8_t, 256> kCoordinateClasses = MakeClasses(true);
// A gx:coord separates its values by blanks only; a comma there is part of a (bad) value.
constexpr std::array<uint8_t, 256> kTrackClasses = MakeClasses(false);

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

CoordinateTokenizer::CoordinateTokenizer() : classes_(kCoordinateClasses.data()) {
  slots_.reserve(kBatchSize + 1);
}

void CoordinateTokenizer::Begin(Mode mode) {
  mode_ = mode;
  classes_ = mode == Mode::kCoordinates ? kCoordinateClasses.data() : kTrackClasses.data();
  state_ = State::kBetween;
}

size_t CoordinateTokenizer::Feed(std::string_view piece) {
  const char* const begin = piece.data();
  const char* const end = begin + piece.size();
  const char* p = begin;
  const uint8_t* const classes = classes_;
  const auto class_of = [classes](char c) { return classes[static_cast<uint8_t>(c)]; };
  while (p != end) {
    switch (state_) {
      case State::kBetween:
        while (p != end && class_of(*p) == kSpace) ++p;
        if (p == end) break;
        if (full()) return static_cast<size_t>(p - begin);
        if (mode_ == Mode::kCoordinates) {
          const char* const taken = TakePlainTuples(p, end);
          if (taken != p) {
            p = taken;
            break;
          }
          if (const char* const next = TakePlainTuple(p, end)) {
            p = next;
            break;
          }
        }
        BeginTuple();
        BeginValue();
        if (class_of(*p) == kComma) {
          EndValue();  // an empty first value
          state_ = State::kAfterComma;
          ++p;
        } else {
          state_ = State::kInValue;
        }
        break;
      case State::kInValue: {
        const char* const start = p;
        while (p != end && class_of(*p) == kOther) ++p;
        AppendToValue(start, p);
        if (p == end) break;
        EndValue();
        state_ = class_of(*p) == kComma ? State::kAfterComma : State::kAfterValue;
        ++p;
        break;
      }
      case State::kAfterValue:
        while (p != end && class_of(*p) == kSpace) ++p;
        if (p == end) break;
        if (class_of(*p) == kComma) {
          state_ = State::kAfterComma;
          ++p;
        } else if (mode_ == Mode::kTrackCoord) {
          BeginValue();
          state_ = State::kInValue;
        } else {
          // White space not next to a comma: the tuple has ended and the next one begins here.
          EndTuple();
          state_ = State::kBetween;
        }
        break;
      case State::kAfterComma:
        while (p != end && class_of(*p) == kSpace) ++p;
        if (p == end) break;
        BeginValue();
        if (class_of(*p) == kComma) {
          EndValue();  // an empty value between two commas
          ++p;
        } else {
          state_ = State::kInValue;
        }
        break;
    }
  }
  return piece.size();
}

// The end of the run of digits at `p`, eight bytes at a time where the piece allows.
static const char* SkipDigits(const char* p, const char* end) {
  if constexpr (std::endian::native == std::endian::little) {
    constexpr uint64_t kEach = 0x0101010101010101u;
    while (end - p >= 8) {
      uint64_t word;
      std::memcpy(&word, p, sizeof word);
      // A byte is a digit when, less '0', it is below 10: the high bit of each byte of
      // `other` marks one that is not.
      const uint64_t offset = word ^ (0x30 * kEach);
      const uint64_t other = (((offset & (0x7F * kEach)) + 0x76 * kEach) | offset) & (0x80 * kEach);
      if (other != 0) return p + (std::countr_zero(other) >> 3);
      p += 8;
    }
  }
  while (p != end && IsDigit(*p)) ++p;
  return p;
}

// A number without exponent ("-116.5", "40", "3.", "+.5") ends at the returned byte, or the
// text is not one. `plain` is cleared unless it is plain in Coordinate's sense. The grammar of
// feature/number.h, scanned in place: this path reads every tuple of a gigabyte track.
static const char* PlainNumberEnd(const char* p, const char* end, bool& plain) {
  const char* const start = p;
  if (p != end && (*p == '-' || *p == '+')) {
    if (*p == '+') plain = false;
    ++p;
  }
  const char* const digits = p;
  p = SkipDigits(p, end);
  size_t count = static_cast<size_t>(p - digits);
  if (count == 0) plain = false;
  if (p != end && *p == '.') {
    const char* const fraction = ++p;
    p = SkipDigits(p, end);
    if (p == fraction) plain = false;
    count += static_cast<size_t>(p - fraction);
  }
  if (count == 0 || static_cast<size_t>(p - start) > CoordinateTokenizer::kMaxNumberBytes) {
    return nullptr;
  }
  return p;
}

// Nearly every tuple of a real file is "x,y" or "x,y,z" of plain numbers followed by white
// space and the next tuple: those are taken in one pass. Anything else (an exponent, a tuple
// cut by the end of the piece, odd separators) is left to the state machine, which decides the
// same for these.
const char* CoordinateTokenizer::TakePlainTuple(const char* p, const char* end) {
  bool plain = true;
  const char* const x = p;
  const char* const x_end = PlainNumberEnd(x, end, plain);
  if (x_end == nullptr || x_end == end || *x_end != ',') return nullptr;
  const char* const y = x_end + 1;
  const char* const y_end = PlainNumberEnd(y, end, plain);
  if (y_end == nullptr || y_end == end) return nullptr;
  p = y_end;
  if (*p == ',') {
    bool altitude_plain = true;  // the altitude is not written
    p = PlainNumberEnd(p + 1, end, altitude_plain);
    if (p == nullptr || p == end) return nullptr;
  }
  // The tuple ends only where white space is followed by something that is not a comma.
  if (classes_[static_cast<uint8_t>(*p)] != kSpace) return nullptr;
  while (p != end && classes_[static_cast<uint8_t>(*p)] == kSpace) ++p;
  if (p == end || *p == ',') return nullptr;
  const auto x_size = static_cast<uint32_t>(x_end - x);
  const auto y_size = static_cast<uint32_t>(y_end - y);
  const auto offset = static_cast<uint32_t>(arena_.size());
  slots_.push_back({offset, x_size, offset + x_size, y_size, plain});
  arena_.append(x, x_size);
  arena_.append(y, y_size);
  return p;
}

namespace {

#if defined(__SSE2__)
// What each byte of a 64-byte window is, one bit per byte (bit i for byte i).
// The rarer bytes (sign, point, comma) are looked at where the digits end.
struct Window {
  uint64_t digit, space;
};

inline Window Classify(const char* p) {
  Window window{};
  for (int i = 0; i < 4; ++i) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i));
    const auto bits = [&](__m128i lanes) {
      return static_cast<uint64_t>(static_cast<uint16_t>(_mm_movemask_epi8(lanes))) << (16 * i);
    };
    const auto is = [&](char c) { return _mm_cmpeq_epi8(bytes, _mm_set1_epi8(c)); };
    // Signed comparisons: bytes over 0x7F are negative, so never digits.
    window.digit |= bits(_mm_and_si128(_mm_cmpgt_epi8(bytes, _mm_set1_epi8('0' - 1)),
                                       _mm_cmplt_epi8(bytes, _mm_set1_epi8('9' + 1))));
    window.space |=
        bits(_mm_or_si128(_mm_or_si128(is(' '), is('\n')), _mm_or_si128(is('\t'), is('\r'))));
  }
  return window;
}

// The end of the number without exponent that begins at byte `i` of the window, as
// PlainNumberEnd sees it, or -1 when there is none or it may go on past the window.
inline int NumberEnd(const char* p, const Window& window, int i, bool& plain) {
  if (i >= 64) return -1;
  if (p[i] == '-' || p[i] == '+') {
    if (p[i] == '+') plain = false;
    if (++i == 64) return -1;
  }
  uint64_t others = ~window.digit >> i;
  if (others == 0) return -1;
  const int integer_digits = std::countr_zero(others);
  i += integer_digits;
  int fraction_digits = 0;
  if (p[i] == '.') {
    if (++i == 64) return -1;
    others = ~window.digit >> i;
    if (others == 0) return -1;
    fraction_digits = std::countr_zero(others);
    i += fraction_digits;
    if (fraction_digits == 0) plain = false;
  }
  if (integer_digits == 0) plain = false;
  return integer_digits + fraction_digits == 0 ? -1 : i;
}
#endif

}  // namespace

// TakePlainTuple for a run of tuples, 64 bytes at a time: the bytes of a window are classified
// at once and its tuples read off the bits. Gives where the taken tuples end (`p` when none
// was taken); what does not fit in a window is left to TakePlainTuple and the state machine.
const char* CoordinateTokenizer::TakePlainTuples(const char* p, const char* end) {
#if defined(__SSE2__)
  while (end - p >= 64 && !full()) {
    const Window window = Classify(p);
    int at = 0;
    while (!full()) {
      bool plain = true;
      const int x_end = NumberEnd(p, window, at, plain);
      if (x_end < 0 || p[x_end] != ',') break;
      const int y = x_end + 1;
      const int y_end = NumberEnd(p, window, y, plain);
      if (y_end < 0) break;
      int tuple_end = y_end;
      if (p[tuple_end] == ',') {
        bool altitude_plain = true;  // the altitude is not written
        tuple_end = NumberEnd(p, window, tuple_end + 1, altitude_plain);
        if (tuple_end < 0) break;
      }
      // The tuple ends only where white space is followed by something that is not a comma.
      if (((window.space >> tuple_end) & 1) == 0) break;
      const uint64_t after = ~window.space >> tuple_end;
      if (after == 0) break;
      const int next = tuple_end + std::countr_zero(after);
      if (p[next] == ',') break;
      const auto x_size = static_cast<uint32_t>(x_end - at);
      const auto y_size = static_cast<uint32_t>(y_end - y);
      const auto offset = static_cast<uint32_t>(arena_.size());
      // x, the comma and y in one copy.
      slots_.push_back({offset, x_size, offset + x_size + 1, y_size, plain});
      arena_.append(p + at, x_size + 1 + y_size);
      at = next;
    }
    if (at == 0) break;
    p += at;
  }
#else
  (void)end;
#endif
  return p;
}

void CoordinateTokenizer::Finish() {
  switch (state_) {
    case State::kBetween:
      break;
    case State::kInValue:
      EndValue();
      EndTuple();
      break;
    case State::kAfterValue:
      EndTuple();
      break;
    case State::kAfterComma:
      BeginValue();
      EndValue();  // a trailing comma leaves an empty value
      EndTuple();
      break;
  }
  state_ = State::kBetween;
}

void CoordinateTokenizer::BeginTuple() {
  tuple_start_ = arena_.size();
  values_ = 0;
  tuple_bad_ = false;
  tuple_extra_ = false;
}

void CoordinateTokenizer::BeginValue() {
  value_start_ = arena_.size();
  value_too_long_ = false;
}

void CoordinateTokenizer::AppendToValue(const char* begin, const char* end) {
  if (tuple_bad_ || values_ >= 3 || value_too_long_) return;
  const size_t size = static_cast<size_t>(end - begin);
  if (arena_.size() - value_start_ + size > kMaxNumberBytes) {
    value_too_long_ = true;
    return;
  }
  arena_.append(begin, size);
}

void CoordinateTokenizer::EndValue() {
  const uint32_t index = values_++;
  if (tuple_bad_) return;
  if (index > 2) {
    tuple_extra_ = true;  // not kept (AppendToValue kept none of it)
    return;
  }
  const size_t size = arena_.size() - value_start_;
  // Within the range of double too: the distinct count and the writer read values as doubles.
  const bool number = !value_too_long_ &&
                      feature::IsFiniteNumber(std::string_view(arena_.data() + value_start_, size));
  if (index == 2) {
    tuple_extra_ = !number;
    arena_.resize(value_start_);  // the altitude is checked, not kept
    return;
  }
  if (!number) {
    tuple_bad_ = true;
    return;
  }
  if (index == 0) {
    current_.x_offset = static_cast<uint32_t>(value_start_);
    current_.x_size = static_cast<uint32_t>(size);
  } else {
    current_.y_offset = static_cast<uint32_t>(value_start_);
    current_.y_size = static_cast<uint32_t>(size);
  }
}

void CoordinateTokenizer::EndTuple() {
  if (!tuple_bad_ && values_ >= 2) {
    current_.plain = false;  // the writer looks again
    slots_.push_back(current_);
    if (tuple_extra_) ++extra_tuples_;
  } else {
    ++bad_tuples_;
    arena_.resize(tuple_start_);
  }
  values_ = 0;
  tuple_bad_ = false;
  tuple_extra_ = false;
}

std::span<const Coordinate> CoordinateTokenizer::TakeBatch() {
  batch_.resize(slots_.size());
  const char* const base = arena_.data();
  for (size_t i = 0; i < slots_.size(); ++i) {
    const Slot& slot = slots_[i];
    batch_[i] = {std::string_view(base + slot.x_offset, slot.x_size),
                 std::string_view(base + slot.y_offset, slot.y_size), slot.plain};
  }
  return batch_;
}

void CoordinateTokenizer::ClearBatch() {
  slots_.clear();
  batch_.clear();
  if (state_ == State::kBetween) {
    arena_.clear();
    return;
  }
  // A tuple cut by the end of a piece moves to the front of the arena.
  arena_.erase(0, tuple_start_);
  const auto shift = static_cast<uint32_t>(tuple_start_);
  value_start_ -= tuple_start_;
  current_.x_offset -= shift;
  current_.y_offset -= shift;
  tuple_start_ = 0;
}

void DistinctCounter::Add(std::span<const Coordinate> coordinates) {
  for (const Coordinate& coordinate : coordinates) {
    if (count_ >= 3) return;
    // The same text is the same point; only a different text needs the numbers compared.
    bool same = false;
    for (uint32_t i = 0; i < count_ && !same; ++i) {
      same = coordinate.x == seen_[i].x && coordinate.y == seen_[i].y;
    }
    if (same) continue;
    const double x = feature::ParseNumber(coordinate.x).value_or(0);
    const double y = feature::ParseNumber(coordinate.y).value_or(0);
    for (uint32_t i = 0; i < count_ && !same; ++i) {
      same = x == seen_[i].x_value && y == seen_[i].y_value;
    }
    if (same) continue;
    if (count_ < 2) {
      Seen& seen = seen_[count_];
      seen.x.assign(coordinate.x);
      seen.y.assign(coordinate.y);
      seen.x_value = x;
      seen.y_value = y;
    }
    ++count_;
  }
}

}  // namespace kml
