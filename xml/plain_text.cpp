// The run of a coordinate text that the reader hands on around the parser: plain ASCII that
// nothing in the parser could report differently. Processor-specific, so kept apart.
#include <bit>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "xml/xml_reader.h"

namespace xml {

const char* XmlReader::PlainTextEnd(const char* text, const char* end, uint64_t& line_breaks,
                                    bool& after_cr, const char*& last_line) {
  const char* p = text;
  last_line = text;
  for (;;) {
#if defined(__SSE2__)
    const char* const block_start = p;
    while (end - p >= 16) {
      const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
      // Control bytes, and every byte over 0x7F (negative as a signed byte), stop the run here
      // and are looked at one by one below, as are DEL and the three that may begin markup.
      __m128i stop = _mm_cmplt_epi8(bytes, _mm_set1_epi8(' '));
      stop = _mm_or_si128(stop, _mm_cmpeq_epi8(bytes, _mm_set1_epi8('<')));
      stop = _mm_or_si128(stop, _mm_cmpeq_epi8(bytes, _mm_set1_epi8('&')));
      stop = _mm_or_si128(stop, _mm_cmpeq_epi8(bytes, _mm_set1_epi8(']')));
      stop = _mm_or_si128(stop, _mm_cmpeq_epi8(bytes, _mm_set1_epi8(0x7F)));
      const auto mask = static_cast<unsigned>(_mm_movemask_epi8(stop));
      if (mask != 0) {
        p += std::countr_zero(mask);
        break;
      }
      p += 16;
    }
    if (p != block_start) after_cr = false;
#endif
    if (p == end) return p;
    const auto byte = static_cast<unsigned char>(*p);
    if (byte == '\n') {
      if (!after_cr) ++line_breaks;
      after_cr = false;
      last_line = p + 1;
    } else if (byte == '\r') {
      ++line_breaks;
      after_cr = true;
      last_line = p + 1;
    } else if (byte == '\t' ||
               (byte >= ' ' && byte < 0x7F && byte != '<' && byte != '&' && byte != ']')) {
      after_cr = false;
    } else {
      return p;
    }
    ++p;
  }
}

}  // namespace xml
