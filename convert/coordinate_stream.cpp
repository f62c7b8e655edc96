#include "convert/coordinate_stream.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
// The AVX-512 loops are built for x86-64 with GCC or Clang, and chosen at run time.
#if defined(__x86_64__) && defined(__GNUC__)
#define KML_WIDE_LOOPS 1
#include <immintrin.h>
#define KML_TARGET(features) __attribute__((target(features)))
#else
#define KML_WIDE_LOOPS 0
#endif

#include "platform/file_exception.h"

namespace convert {

using platform::CFileException;
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

static_assert(std::endian::native == std::endian::little, "words are read little-endian");

uint64_t LoadWord(const char* bytes) {
  uint64_t word;
  std::memcpy(&word, bytes, sizeof(word));
  return word;
}

void StoreWord(char* bytes, uint64_t word) { std::memcpy(bytes, &word, sizeof(word)); }

// The high bit of each byte of `word` that equals `byte`, and no other bit.
uint64_t EqualBytes(uint64_t word, char byte) {
  constexpr uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Full;
  const uint64_t differ = word ^ (0x0101010101010101ull * static_cast<unsigned char>(byte));
  return ~(((differ & kLow7) + kLow7) | differ | kLow7);
}

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

// Whether the loops are built in and this processor has every instruction that they use.
bool Runs(ScanLoops loops) {
  switch (loops) {
    case ScanLoops::kPortable:
      return true;
    case ScanLoops::kSse2:
#if defined(__SSE2__)
      return true;
#else
      return false;
#endif
    case ScanLoops::kAvx512:
#if KML_WIDE_LOOPS
      __builtin_cpu_init();
      return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
             __builtin_cpu_supports("avx512vbmi2") && __builtin_cpu_supports("popcnt");
#else
      return false;
#endif
    case ScanLoops::kFastest:
      break;
  }
  return false;
}

ScanLoops Resolve(ScanLoops loops) {
  // Looked up once: the choice holds for the whole run and costs nothing per scan.
  static const ScanLoops fastest = [] {
    if (const char* name = std::getenv(kScanLoopsVariable)) {
      if (const std::optional<ScanLoops> chosen = ScanLoopsNamed(name)) return *chosen;
    }
    return AvailableScanLoops().back();
  }();
  return loops == ScanLoops::kFastest ? fastest : loops;
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

std::optional<ScanLoops> ScanLoopsNamed(std::string_view name) {
  constexpr std::pair<std::string_view, ScanLoops> kNames[] = {
      {"portable", ScanLoops::kPortable},
      {"sse2", ScanLoops::kSse2},
      {"avx512", ScanLoops::kAvx512},
  };
  for (const auto& [each_name, loops] : kNames) {
    if (name == each_name && Runs(loops)) return loops;
  }
  return std::nullopt;
}

std::vector<ScanLoops> AvailableScanLoops() {
  std::vector<ScanLoops> loops;
  for (const ScanLoops each : {ScanLoops::kPortable, ScanLoops::kSse2, ScanLoops::kAvx512}) {
    if (Runs(each)) loops.push_back(each);
  }
  return loops;
}

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
    : page_(page), loops_(Resolve(loops)) {}

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

#if KML_WIDE_LOOPS
namespace {

// RewriteBlocksCrLf with AVX-512: each block of 64 bytes is changed in one register, and the
// dropped blanks are squeezed out of it by one compress.
KML_TARGET("avx512f,avx512bw,avx512vbmi2,popcnt")
void RewriteBlocksCrLfAvx512(const char*& read, const char* end, char*& write) {
  constexpr size_t kBlock = 64;
  const __m512i comma = _mm512_set1_epi8(',');
  const __m512i zero = _mm512_set1_epi8('0');
  const __m512i blank = _mm512_set1_epi8(' ');
  const __m512i cr = _mm512_set1_epi8('\r');
  const __m512i lf = _mm512_set1_epi8('\n');
  uint64_t previous_ends = 0;  // bit i: a ",0 " begins at byte i of the previous block
  while (end - read >= static_cast<ptrdiff_t>(kBlock + 2)) {
    const __m512i bytes = _mm512_loadu_si512(read);
    const __mmask64 commas = _mm512_cmpeq_epi8_mask(bytes, comma);
    __mmask64 ends = _mm512_mask_cmpeq_epi8_mask(commas, _mm512_loadu_si512(read + 1), zero);
    ends = _mm512_mask_cmpeq_epi8_mask(ends, _mm512_loadu_si512(read + 2), blank);
    const uint64_t zeros = (ends << 1) | (previous_ends >> 63);
    const uint64_t kept = ~((ends << 2) | (previous_ends >> 62));
    __m512i text = _mm512_mask_blend_epi8(commas, bytes, blank);
    text = _mm512_mask_blend_epi8(ends, text, cr);
    text = _mm512_mask_blend_epi8(zeros, text, lf);
    _mm512_storeu_si512(write, _mm512_maskz_compress_epi8(kept, text));
    write += __builtin_popcountll(kept);
    previous_ends = ends;
    read += kBlock;
  }
  // A ",0 " that began at the end of the last block: its zero or blank is still ahead.
  if ((previous_ends >> 63) != 0) {
    *write++ = '\n';
    read += 2;
  } else if (((previous_ends >> 62) & 1) != 0) {
    read += 1;
  }
}

}  // namespace
#endif

PointTextRewriter::PointTextRewriter(LineEnd line_end, Loops loops)
    : point_end_(line_end == LineEnd::kCrLf ? "\r\n" : "\n"), loops_(Resolve(loops)) {}

size_t PointTextRewriter::Rewrite(std::string_view piece, char* out) {
  char* write = out;
  size_t at = 0;
  if (held_ > 0) {
    // The text so far ends with "," or ",0".
    if (piece.empty()) return 0;
    if (held_ == 1 && piece[0] == '0') {
      if (piece.size() == 1) {
        held_ = 2;
        return 0;
      }
      at = piece[1] == ' ' ? 2 : 0;
    } else if (held_ == 2) {
      at = piece[0] == ' ' ? 1 : 0;
    }
    const std::string_view held = at > 0 ? point_end_ : held_ == 1 ? " " : " 0";
    std::memcpy(write, held.data(), held.size());
    write += held.size();
    held_ = 0;
  }

  const char* read = piece.data() + at;
  const char* const end = piece.data() + piece.size();
  if (point_end_.size() == 2) {
    switch (loops_) {
#if KML_WIDE_LOOPS
      case Loops::kAvx512:
        RewriteBlocksCrLfAvx512(read, end, write);
        break;
#endif
#if defined(__SSE2__)
      case Loops::kSse2:
        RewriteBlocksCrLf(read, end, write);
        break;
#endif
      default:
        break;
    }
    RewriteWordsCrLf(read, end, write);
  } else {
    RewriteWordsLf(read, end, write);
  }
  while (read < end) {
    const size_t left = static_cast<size_t>(end - read);
    if (*read != ',') {
      *write++ = *read++;
    } else if (left >= 3 && read[1] == '0' && read[2] == ' ') {
      std::memcpy(write, point_end_.data(), point_end_.size());
      write += point_end_.size();
      read += 3;
    } else if (left == 1 || (left == 2 && read[1] == '0')) {
      held_ = left;
      break;
    } else {
      *write++ = ' ';
      ++read;
    }
  }
  return static_cast<size_t>(write - out);
}

size_t PointTextRewriter::Finish(char* out) {
  const std::string_view held = held_ == 0 ? "" : held_ == 1 ? " " : " 0";
  std::memcpy(out, held.data(), held.size());
  held_ = 0;
  return held.size();
}

void PointTextRewriter::Rewrite(std::string_view piece, std::string& out) {
  const size_t old_size = out.size();
  out.resize(old_size + Room(piece.size()));
  out.resize(old_size + Rewrite(piece, out.data() + old_size));
}

void PointTextRewriter::Finish(std::string& out) {
  const size_t old_size = out.size();
  out.resize(old_size + Room(0));
  out.resize(old_size + Finish(out.data() + old_size));
}

// Eight bytes at a time: commas become blanks, and the first ",0 " in the word ends it.
// Stops with fewer than ten bytes left, on a character boundary.
void PointTextRewriter::RewriteWordsLf(const char*& read, const char* end, char*& write) {
  while (end - read >= static_cast<ptrdiff_t>(sizeof(uint64_t) + 2)) {
    const uint64_t word = LoadWord(read);
    const uint64_t commas = EqualBytes(word, ',');
    const uint64_t point_ends =
        commas & EqualBytes(LoadWord(read + 1), '0') & EqualBytes(LoadWord(read + 2), ' ');
    StoreWord(write, word ^ ((commas >> 7) * (',' ^ ' ')));
    // Without branches, which would be mispredicted at every other word: with no ",0 " in the
    // word, `kept` is 8 and the line end lands past the word, where the next store overwrites it.
    const size_t kept = static_cast<size_t>(std::countr_zero(point_ends)) / 8;
    const size_t found = point_ends != 0 ? 1 : 0;
    write[kept] = '\n';
    write += kept + found;
    read += kept + found * kPoint.size();
  }
}

#if defined(__SSE2__)
namespace {

// Copies `size` bytes (at most 64) as 32 or 64, the bytes after them being of no account.
void CopyRun(char* to, const char* from, size_t size) {
  for (size_t at = 0; at < 32; at += 16) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to + at),
                     _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + at)));
  }
  if (size <= 32) return;
  for (size_t at = 32; at < 64; at += 16) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to + at),
                     _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + at)));
  }
}

}  // namespace

// RewriteWordsCrLf 64 bytes at a time: the bytes are changed 16 at a time in a block, and the
// block is copied out in runs between the blanks that are dropped.
void PointTextRewriter::RewriteBlocksCrLf(const char*& read, const char* end, char*& write) {
  constexpr size_t kBlock = 64;
  const __m128i comma = _mm_set1_epi8(',');
  const __m128i zero = _mm_set1_epi8('0');
  const __m128i blank = _mm_set1_epi8(' ');
  const __m128i comma_to_blank = _mm_set1_epi8(',' ^ ' ');
  const __m128i blank_to_cr = _mm_set1_epi8(' ' ^ '\r');
  const __m128i zero_to_lf = _mm_set1_epi8('0' ^ '\n');
  // The changed block, and room to copy 64 bytes from anywhere in it.
  alignas(16) char text[2 * kBlock] = {};
  __m128i previous_vector_ends = _mm_setzero_si128();
  uint64_t previous_ends = 0;  // bit i: a ",0 " begins at byte i of the previous block
  while (end - read >= static_cast<ptrdiff_t>(kBlock + 2)) {
    uint64_t ends = 0;
    for (size_t at = 0; at < kBlock; at += 16) {
      const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(read + at));
      const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(read + at + 1));
      const __m128i after = _mm_loadu_si128(reinterpret_cast<const __m128i*>(read + at + 2));
      const __m128i commas = _mm_cmpeq_epi8(bytes, comma);
      const __m128i vector_ends = _mm_and_si128(
          commas, _mm_and_si128(_mm_cmpeq_epi8(next, zero), _mm_cmpeq_epi8(after, blank)));
      const __m128i zeros =
          _mm_or_si128(_mm_slli_si128(vector_ends, 1), _mm_srli_si128(previous_vector_ends, 15));
      __m128i changed = _mm_xor_si128(bytes, _mm_and_si128(commas, comma_to_blank));
      changed = _mm_xor_si128(changed, _mm_and_si128(vector_ends, blank_to_cr));
      changed = _mm_xor_si128(changed, _mm_and_si128(zeros, zero_to_lf));
      _mm_store_si128(reinterpret_cast<__m128i*>(text + at), changed);
      ends |= static_cast<uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(vector_ends))) << at;
      previous_vector_ends = vector_ends;
    }
    const uint64_t blanks = (ends << 2) | (previous_ends >> 62);
    // Runs up to the first three dropped blanks without a branch on how many there are (a
    // tuple of some 20 bytes gives about three per block): with none left, a run reaches to the
    // end of the block and the next ones are empty.
    size_t from = 0;
    uint64_t rest = blanks;
    for (int run = 0; run < 3; ++run) {
      const size_t dropped = static_cast<size_t>(std::countr_zero(rest));  // 64 when none
      CopyRun(write, text + from, dropped - from);
      write += dropped - from;
      from = dropped + (rest != 0 ? 1 : 0);
      rest &= rest - 1;
    }
    for (; rest != 0; rest &= rest - 1) {
      const size_t dropped = static_cast<size_t>(std::countr_zero(rest));
      CopyRun(write, text + from, dropped - from);
      write += dropped - from;
      from = dropped + 1;
    }
    CopyRun(write, text + from, kBlock - from);
    write += kBlock - from;
    previous_ends = ends;
    read += kBlock;
  }
  // A ",0 " that began at the end of the last block: its zero or blank is still ahead.
  if ((previous_ends >> 63) != 0) {
    *write++ = '\n';
    read += 2;
  } else if (((previous_ends >> 62) & 1) != 0) {
    read += 1;
  }
}
#endif

// Eight bytes at a time, the input always advancing by a whole word so that no step waits for
// the one before: ",0 " becomes "\r\n" by changing the comma and the zero in place and dropping
// the blank, which may stand in the next word.
void PointTextRewriter::RewriteWordsCrLf(const char*& read, const char* end, char*& write) {
  constexpr uint64_t kCommaToBlank = ',' ^ ' ';
  constexpr uint64_t kBlankToCr = ' ' ^ '\r';
  constexpr uint64_t kZeroToLf = '0' ^ '\n';
  uint64_t previous_ends = 0;
  while (end - read >= static_cast<ptrdiff_t>(sizeof(uint64_t) + 2)) {
    const uint64_t word = LoadWord(read);
    const uint64_t commas = EqualBytes(word, ',');
    const uint64_t point_ends =
        commas & EqualBytes(LoadWord(read + 1), '0') & EqualBytes(LoadWord(read + 2), ' ');
    const uint64_t zeros = (point_ends << 8) | (previous_ends >> 56);
    const uint64_t blanks = (point_ends << 16) | (previous_ends >> 48);
    uint64_t text = word ^ ((commas >> 7) * kCommaToBlank) ^ ((point_ends >> 7) * kBlankToCr) ^
                    ((zeros >> 7) * kZeroToLf);
    if ((blanks & (blanks - 1)) == 0) {
      // At most one blank to drop: the bytes above it move down by one.
      const uint64_t below = ((blanks & (~blanks + 1)) >> 7) - 1;
      text = (text & below) | ((text >> 8) & ~below);
      StoreWord(write, text);
      write += sizeof(uint64_t) - (blanks != 0 ? 1 : 0);
    } else {
      // Tuples shorter than eight bytes: drop the blanks from the highest down.
      size_t dropped = 0;
      for (uint64_t rest = blanks; rest != 0; ++dropped) {
        const int bit = 63 - std::countl_zero(rest);
        const uint64_t below = (uint64_t{1} << (bit - 7)) - 1;
        text = (text & below) | ((text >> 8) & ~below);
        rest &= ~(uint64_t{1} << bit);
      }
      StoreWord(write, text);
      write += sizeof(uint64_t) - dropped;
    }
    previous_ends = point_ends;
    read += sizeof(uint64_t);
  }
  // A ",0 " that began in the last word: its zero or blank is still ahead.
  if ((previous_ends >> 63) != 0) {
    *write++ = '\n';
    read += 2;
  } else if (((previous_ends >> 55) & 1) != 0) {
    read += 1;
  }
}

}  // namespace convert
