#include "convert/coordinate_scanner.h"

#include <algorithm>
#include <array>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if KML_WIDE_LOOPS
#include <immintrin.h>
#endif

#include "platform/file_exception.h"

namespace convert {

using platform::CodePage;
using platform::CStdioFile;
using platform::CString;

namespace {

constexpr std::string_view kTag = kOpeningTag;
constexpr std::string_view kTrimSet = kClosingTagSet;
constexpr std::string_view kPoint = kPointEnd;

constexpr std::array<bool, 256> MakeTrimSetTable() {
  std::array<bool, 256> table = {};
  for (const char ch : kTrimSet) table[static_cast<unsigned char>(ch)] = true;
  return table;
}
constexpr std::array<bool, 256> kInTrimSet = MakeTrimSetTable();

bool InTrimSet(char byte) { return kInTrimSet[static_cast<unsigned char>(byte)]; }

// Bytes below 0x40 are never part of a multi-byte character, so one starts right after them.
bool IsLoneByte(char byte) { return static_cast<unsigned char>(byte) < 0x40; }

#if defined(__SSE2__)
// Occurrences of ",0 " from text[*at] on, 16 bytes at a time, while 18 bytes are left; ORs into
// *has_angle whether those bytes hold a "<". Advances *at past the bytes it looked at.
uint64_t CountSse2(const char* text, size_t size, size_t* at, bool* has_angle) {
  // Counting in a byte per lane, summed before a lane can overflow.
  const __m128i comma = _mm_set1_epi8(',');
  const __m128i zero = _mm_set1_epi8('0');
  const __m128i blank = _mm_set1_epi8(' ');
  const __m128i angle = _mm_set1_epi8('<');
  __m128i angles = _mm_setzero_si128();
  uint64_t count = 0;
  size_t next_at = *at;
  while (size - next_at >= 16 + 2) {
    __m128i lanes = _mm_setzero_si128();
    const size_t rounds = std::min<size_t>((size - next_at - 2) / 16, 255);
    for (size_t round = 0; round < rounds; ++round, next_at += 16) {
      const char* const bytes_at = text + next_at;
      const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes_at));
      const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes_at + 1));
      const __m128i after = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes_at + 2));
      const __m128i ends =
          _mm_and_si128(_mm_cmpeq_epi8(bytes, comma),
                        _mm_and_si128(_mm_cmpeq_epi8(next, zero), _mm_cmpeq_epi8(after, blank)));
      lanes = _mm_sub_epi8(lanes, ends);
      angles = _mm_or_si128(angles, _mm_cmpeq_epi8(bytes, angle));
    }
    const __m128i sums = _mm_sad_epu8(lanes, _mm_setzero_si128());
    count += static_cast<uint64_t>(_mm_cvtsi128_si32(sums)) +
             static_cast<uint64_t>(_mm_cvtsi128_si32(_mm_srli_si128(sums, 8)));
  }
  *has_angle = *has_angle || _mm_movemask_epi8(angles) != 0;
  *at = next_at;
  return count;
}
#endif

#if KML_WIDE_LOOPS
// CountSse2 64 bytes at a time, with a bit per byte.
KML_TARGET("avx512f,avx512bw,popcnt")
uint64_t CountAvx512(const char* text, size_t size, size_t* at, bool* has_angle) {
  const __m512i comma = _mm512_set1_epi8(',');
  const __m512i zero = _mm512_set1_epi8('0');
  const __m512i blank = _mm512_set1_epi8(' ');
  const __m512i angle = _mm512_set1_epi8('<');
  __mmask64 angles = 0;
  uint64_t count = 0;
  size_t next_at = *at;
  for (; size - next_at >= 64 + 2; next_at += 64) {
    const char* const bytes_at = text + next_at;
    const __m512i bytes = _mm512_loadu_si512(bytes_at);
    __mmask64 ends = _mm512_cmpeq_epi8_mask(bytes, comma);
    ends = _mm512_mask_cmpeq_epi8_mask(ends, _mm512_loadu_si512(bytes_at + 1), zero);
    ends = _mm512_mask_cmpeq_epi8_mask(ends, _mm512_loadu_si512(bytes_at + 2), blank);
    count += static_cast<uint64_t>(__builtin_popcountll(ends));
    angles |= _mm512_cmpeq_epi8_mask(bytes, angle);
  }
  *has_angle = *has_angle || angles != 0;
  *at = next_at;
  return count;
}
#endif

// Occurrences of ",0 " wholly inside `text`; sets *has_angle when `text` holds a "<".
uint64_t CountWithin(const char* text, size_t size, bool* has_angle, ScanLoops loops) {
  uint64_t count = 0;
  size_t at = 0;
  *has_angle = false;
  switch (loops) {
#if KML_WIDE_LOOPS
    case ScanLoops::kAvx512:
      count += CountAvx512(text, size, &at, has_angle);
      break;
#endif
#if defined(__SSE2__)
    case ScanLoops::kSse2:
      count += CountSse2(text, size, &at, has_angle);
      break;
#endif
    default:
      break;
  }
  if (!*has_angle && at < size) *has_angle = std::memchr(text + at, '<', size - at) != nullptr;
  // Branch-free so that the compiler can do it many bytes at a time.
  const auto* bytes = reinterpret_cast<const unsigned char*>(text);
  for (; at + 2 < size; ++at) {
    count +=
        static_cast<uint64_t>((bytes[at] == ',') & (bytes[at + 1] == '0') & (bytes[at + 2] == ' '));
  }
  return count;
}

// How many bytes at the end of `before` + `after` begin ",0 " and must wait for more bytes:
// 1 for ",", 2 for ",0", else 0. `before_prefix` is that number for `before` alone.
size_t PointEndPrefix(size_t before_prefix, std::string_view after) {
  const size_t size = after.size();
  if (size == 0) return before_prefix;
  if (after[size - 1] == ',') return 1;
  if (after[size - 1] != '0') return 0;
  const bool comma_before = size >= 2 ? after[size - 2] == ',' : before_prefix == 1;
  return comma_before ? 2 : 0;
}

}  // namespace

ScannedCoordinates ScanCoordinates(CStdioFile& input, const CString& path) {
  CoordinateLineScanner scanner;
  scanner.BeginLine(input.GetPosition());
  std::string_view piece;
  for (;;) {
    const CStdioFile::PieceEnd end = input.ReadLinePiece(piece);
    if (scanner.Feed(piece, end)) break;
    if (end != CStdioFile::PieceEnd::kMore) scanner.BeginLine(input.GetPosition());
  }
  return scanner.Result(path);
}

CoordinateLineScanner::CoordinateLineScanner(const CodePage& page, ScanLoops loops)
    : page_(page), loops_(ResolveScanLoops(loops)) {}

void CoordinateLineScanner::BeginLine(uint64_t line_start) {
  line_start_ = line_start;
  line_length_ = 0;
  measuring_ = opening_tag_seen_;
  line_has_tag_ = false;
  tag_carry_.clear();
  point_end_prefix_ = 0;
  point_ends_ = 0;
  in_head_ = true;
  text_begin_ = 0;
  text_end_ = 0;
  boundary_ = 0;
  boundary_carry_.clear();
}

bool CoordinateLineScanner::Feed(std::string_view piece, CStdioFile::PieceEnd end) {
  const bool line_ended = end != CStdioFile::PieceEnd::kMore;
  bool may_hold_tag = true;
  if (measuring_) {
    may_hold_tag = CountPointEnds(piece);
    if (in_head_) MeasureHead(piece);
    MeasureTail(piece, line_ended);
  }
  if (!line_has_tag_) {
    SearchOpeningTag(piece, may_hold_tag);
    if (line_has_tag_) measuring_ = false;
  }
  line_length_ += piece.size();
  if (!line_ended) return false;

  // An empty piece at the end of the input after a line end is no line.
  const bool is_line = end == CStdioFile::PieceEnd::kLineEnd || line_length_ > 0;
  if (is_line) {
    if (line_has_tag_) {
      opening_tag_seen_ = true;
    } else if (opening_tag_seen_) {
      found_ = true;
      return true;
    }
  }
  return end == CStdioFile::PieceEnd::kInputEnd;
}

ScannedCoordinates CoordinateLineScanner::Result(const CString& path) const {
  ScannedCoordinates scanned;
  if (!found_) return scanned;
  scanned.found = true;
  scanned.line_start = line_start_;
  scanned.text_end = text_end_;
  scanned.text_begin = std::min(in_head_ ? line_length_ : text_begin_, text_end_);
  scanned.points = ToPointCount(point_ends_, path);
  return scanned;
}

void CoordinateLineScanner::SearchOpeningTag(std::string_view piece, bool may_hold_tag) {
  const size_t keep = kTag.size() - 1;
  if (!tag_carry_.empty()) {
    // A tag that began in an earlier piece ends within the first `keep` bytes of this one.
    char joined[2 * (sizeof(kOpeningTag) - 1)];
    const size_t taken = std::min(piece.size(), keep);
    std::memcpy(joined, tag_carry_.data(), tag_carry_.size());
    // An empty piece may have no data at all, and memcpy must not be given a null pointer.
    if (taken > 0) std::memcpy(joined + tag_carry_.size(), piece.data(), taken);
    if (std::string_view(joined, tag_carry_.size() + taken).find(kTag) != std::string_view::npos) {
      line_has_tag_ = true;
      return;
    }
  }
  if (may_hold_tag && piece.find(kTag) != std::string_view::npos) {
    line_has_tag_ = true;
    return;
  }
  if (piece.size() >= keep) {
    tag_carry_.assign(piece.substr(piece.size() - keep));
  } else {
    tag_carry_ += piece;
    if (tag_carry_.size() > keep) tag_carry_.erase(0, tag_carry_.size() - keep);
  }
}

bool CoordinateLineScanner::CountPointEnds(std::string_view piece) {
  if (piece.empty()) return false;
  if (point_end_prefix_ > 0) {
    // The line so far ends with "," or ",0": does this piece complete it?
    const std::string_view rest = kPoint.substr(point_end_prefix_);
    if (piece.substr(0, rest.size()) == rest) ++point_ends_;
  }
  bool has_angle = false;
  point_ends_ += CountWithin(piece.data(), piece.size(), &has_angle, loops_);
  point_end_prefix_ = PointEndPrefix(point_end_prefix_, piece);
  return has_angle;
}

void CoordinateLineScanner::MeasureHead(std::string_view piece) {
  // The characters of the set are single bytes, so the head is a run of such bytes.
  for (size_t at = 0; at < piece.size(); ++at) {
    if (!InTrimSet(piece[at])) {
      text_begin_ = line_length_ + at;
      in_head_ = false;
      return;
    }
  }
}

void CoordinateLineScanner::StepCharacter(const char* text, size_t available, uint64_t offset,
                                          size_t* length) {
  *length = page_.CharLength(text, available);
  if (*length > 1 || !InTrimSet(text[0])) text_end_ = offset + *length;
}

// Keeps text_end_ at the end of the last character outside the set. Only the characters around
// the last byte outside the set are stepped through: they start at the last byte below 0x40
// before it (or at the piece's first boundary), and every byte after it belongs to the set.
void CoordinateLineScanner::MeasureTail(std::string_view piece, bool line_ended) {
  const char* data = piece.data();
  const size_t size = piece.size();
  const uint64_t piece_start = line_length_;
  constexpr size_t kMaxLength = CodePage::kMaxCharLength;

  size_t start = 0;
  if (!boundary_carry_.empty()) {
    // The characters that began in earlier pieces: the carry and at most the next few bytes.
    const size_t carried = boundary_carry_.size();
    char joined[2 * kMaxLength];
    const size_t taken = std::min(size, sizeof(joined) - carried);
    std::memcpy(joined, boundary_carry_.data(), carried);
    if (taken > 0) std::memcpy(joined + carried, data, taken);
    const size_t joined_size = carried + taken;
    const bool nothing_follows = line_ended && taken == size;
    size_t at = 0;
    while (at < carried) {
      const size_t available = joined_size - at;
      if (available < kMaxLength && !nothing_follows) {
        // Only when this piece is short: all of it is in `joined`.
        boundary_carry_.assign(joined + at, available);
        boundary_ += at;
        return;
      }
      size_t length = 0;
      StepCharacter(joined + at, available, boundary_ + at, &length);
      at += length;
    }
    boundary_carry_.clear();
    start = at - carried;
  }
  if (start >= size) {
    boundary_ = piece_start + size;
    return;
  }

  size_t last = size;  // the last byte outside the set
  for (size_t at = size; at > start; --at) {
    if (!InTrimSet(data[at - 1])) {
      last = at - 1;
      break;
    }
  }
  if (last == size) {
    boundary_ = piece_start + size;
    return;
  }
  size_t at = last;
  while (at > start && !IsLoneByte(data[at])) --at;
  while (at <= last) {
    const size_t available = size - at;
    if (available < kMaxLength && !line_ended) {
      boundary_carry_.assign(data + at, available);
      boundary_ = piece_start + at;
      return;
    }
    size_t length = 0;
    StepCharacter(data + at, available, piece_start + at, &length);
    at += length;
  }
  // Only bytes of the set follow, each a character of its own.
  boundary_ = piece_start + size;
}

}  // namespace convert
