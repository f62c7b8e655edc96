#include "kml/coordinates.h"

#include <array>
#include <bit>
#include <cstdlib>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "feature/number.h"
#include "platform/copy_small.h"

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

// A kept coordinate holds at most two numbers and the comma between them; the tuple being read
// at most three numbers. One coordinate more than a batch: Finish may complete a tuple after the
// batch filled.
constexpr size_t kArenaBytes =
    (CoordinateTokenizer::kBatchSize + 1) * (2 * CoordinateTokenizer::kMaxNumberBytes + 1) +
    3 * CoordinateTokenizer::kMaxNumberBytes;

}  // namespace

CoordinateTokenizer::CoordinateTokenizer()
    : classes_(kCoordinateClasses.data()), arena_(new char[kArenaBytes]) {
  batch_.resize(kBatchSize + 1);
}

const char* CoordinateTokenizer::Keep(const char* bytes, size_t size) {
  // Cannot happen (see kArenaBytes); views into moved memory would be worse than stopping.
  if (size > kArenaBytes - arena_size_) std::abort();
  char* const kept = arena_.get() + arena_size_;
  platform::CopySmall(kept, bytes, size);
  arena_size_ += size;
  return kept;
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
  const auto x_size = static_cast<size_t>(x_end - x);
  const auto y_size = static_cast<size_t>(y_end - y);
  const char* const x_kept = Keep(x, x_size);
  const char* const y_kept = Keep(y, y_size);
  batch_[batch_size_++] = {std::string_view(x_kept, x_size), std::string_view(y_kept, y_size),
                           plain};
  return p;
}

namespace {

#if defined(__SSE2__)
// What each byte of a 64-byte window is, one bit per byte (bit i for byte i).
struct Window {
  uint64_t digit, space, comma, point, minus;
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
    window.comma |= bits(is(','));
    window.point |= bits(is('.'));
    window.minus |= bits(is('-'));
  }
  return window;
}

// The bytes of the window where a plain decimal (an optional '-', digits, and at most one '.',
// between digits) cannot be, when numbers are read as runs of digits, points and minus signs:
// a point without a digit on each side, the second point of a number, a minus that follows
// such a byte or is not followed by a digit.
inline uint64_t NotPlain(const Window& window) {
  const uint64_t digit = window.digit;
  const uint64_t number = digit | window.point | window.minus;
  // Adding its first bit to a run of digits that follows a point carries to the byte after the
  // run: a point there is a second one.
  const uint64_t runs_after_point = digit & ~(digit << 1) & (window.point << 1);
  const uint64_t after_those_runs = (digit + runs_after_point) & ~digit;
  return (window.point & ~((digit << 1) & (digit >> 1))) | (window.point & after_those_runs) |
         (window.minus & ((number << 1) | ~(digit >> 1)));
}

// The byte after each run of `bits` that begins at a bit of `starts`. REQUIRES: `starts` holds
// only first bits of runs of `bits`.
inline uint64_t AfterRuns(uint64_t bits, uint64_t starts) { return (bits + starts) & ~bits; }

// Where the tuples of a window are, when all but its last tuple are "x,y" or "x,y,z" of plain
// decimals, each followed by white space and the next tuple: one bit per tuple at its first
// byte, at its comma and after its y. Checked all at once on the window's bits. `end` is where
// the last tuple begins (it may go on past the window); 0 when anything else is there.
struct WholeTuples {
  uint64_t starts, commas, y_ends;
  int end;
};

inline WholeTuples FindWholeTuples(const Window& window) {
  const uint64_t number = window.digit | window.point | window.minus;
  const uint64_t space = window.space;
  const uint64_t comma = window.comma;
  // The window begins at a tuple; the others begin after white space.
  const uint64_t starts = (number & (space << 1)) | 1;
  const int end = 63 - std::countl_zero(starts);
  const uint64_t x_ends = AfterRuns(number, starts);
  const uint64_t y_ends = AfterRuns(number, (x_ends & comma) << 1);
  const uint64_t z_ends = AfterRuns(number, (y_ends & comma) << 1);
  const uint64_t bad = ~(number | comma | space) | NotPlain(window) |
                       (comma & ~((number << 1) & (number >> 1))) |
                       (space & ~(space << 1) & ~(number << 1)) | (x_ends & ~comma) |
                       (y_ends & ~(comma | space)) | (z_ends & ~space);
  const uint64_t region = (uint64_t{1} << end) - 1;
  if (end == 0 || (bad & region) != 0) return {0, 0, 0, 0};
  return {starts & region, x_ends & region, y_ends & region, end};
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
    if (WholeTuples whole = FindWholeTuples(window); whole.end != 0) {
      while (whole.starts != 0 && !full()) {
        const int x = std::countr_zero(whole.starts);
        const int x_end = std::countr_zero(whole.commas);
        const int y_end = std::countr_zero(whole.y_ends);
        whole.starts &= whole.starts - 1;
        whole.commas &= whole.commas - 1;
        whole.y_ends &= whole.y_ends - 1;
        batch_[batch_size_++] = {
            std::string_view(p + x, static_cast<size_t>(x_end - x)),
            std::string_view(p + x_end + 1, static_cast<size_t>(y_end - x_end - 1)), true};
      }
      piece_views_ = true;
      // A full batch leaves the next tuple for later.
      p += whole.starts != 0 ? std::countr_zero(whole.starts) : whole.end;
      continue;
    }
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
      const auto x_size = static_cast<size_t>(x_end - at);
      const auto y_size = static_cast<size_t>(y_end - y);
      const char* const kept = Keep(p + at, x_size + 1 + y_size);
      batch_[batch_size_++] = {std::string_view(kept, x_size),
                               std::string_view(kept + x_size + 1, y_size), plain};
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
  tuple_start_ = arena_size_;
  values_ = 0;
  tuple_bad_ = false;
  tuple_extra_ = false;
}

void CoordinateTokenizer::BeginValue() {
  value_start_ = arena_size_;
  value_too_long_ = false;
}

void CoordinateTokenizer::AppendToValue(const char* begin, const char* end) {
  if (tuple_bad_ || values_ >= 3 || value_too_long_) return;
  const size_t size = static_cast<size_t>(end - begin);
  if (arena_size_ - value_start_ + size > kMaxNumberBytes) {
    value_too_long_ = true;
    return;
  }
  Keep(begin, size);
}

void CoordinateTokenizer::EndValue() {
  const uint32_t index = values_++;
  if (tuple_bad_) return;
  if (index > 2) {
    tuple_extra_ = true;  // not kept (AppendToValue kept none of it)
    return;
  }
  const size_t size = arena_size_ - value_start_;
  // Within the range of double too: the distinct count and the writer read values as doubles.
  const bool number = !value_too_long_ &&
                      feature::IsFiniteNumber(std::string_view(arena_.get() + value_start_, size));
  if (index == 2) {
    tuple_extra_ = !number;
    arena_size_ = value_start_;  // the altitude is checked, not kept
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
    const char* const base = arena_.get();
    // Not plain: the writer looks again.
    batch_[batch_size_++] = {std::string_view(base + current_.x_offset, current_.x_size),
                             std::string_view(base + current_.y_offset, current_.y_size), false};
    if (tuple_extra_) ++extra_tuples_;
  } else {
    ++bad_tuples_;
    arena_size_ = tuple_start_;
  }
  values_ = 0;
  tuple_bad_ = false;
  tuple_extra_ = false;
}

std::span<const Coordinate> CoordinateTokenizer::TakeBatch() {
  return std::span<const Coordinate>(batch_).first(batch_size_);
}

void CoordinateTokenizer::ClearBatch() {
  batch_size_ = 0;
  piece_views_ = false;
  if (state_ == State::kBetween) {
    arena_size_ = 0;
    return;
  }
  // A tuple cut by the end of a piece moves to the front of the arena.
  std::memmove(arena_.get(), arena_.get() + tuple_start_, arena_size_ - tuple_start_);
  arena_size_ -= tuple_start_;
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
