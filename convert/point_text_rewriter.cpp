#include "convert/point_text_rewriter.h"

#include <bit>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if KML_WIDE_LOOPS
#include <immintrin.h>
#endif

namespace convert {

namespace {

constexpr std::string_view kPoint = kPointEnd;

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

// After the loops of 64-byte blocks: a ",0 " that began at the end of the last block (bit i of
// `previous_ends`: one began at its byte i) still has its zero or blank ahead.
[[maybe_unused]] void FinishLastBlock(uint64_t previous_ends, const char*& read, char*& write) {
  if ((previous_ends >> 63) != 0) {
    *write++ = '\n';
    read += 2;
  } else if (((previous_ends >> 62) & 1) != 0) {
    read += 1;
  }
}

}  // namespace

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
  FinishLastBlock(previous_ends, read, write);
}

}  // namespace
#endif

PointTextRewriter::PointTextRewriter(LineEnd line_end, Loops loops)
    : point_end_(line_end == LineEnd::kCrLf ? "\r\n" : "\n"), loops_(ResolveScanLoops(loops)) {}

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
  FinishLastBlock(previous_ends, read, write);
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
