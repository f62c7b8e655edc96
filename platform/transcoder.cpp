#include "platform/transcoder.h"

#include <array>
#include <cctype>

#include "platform/cstring.h"
#include "platform/transcoder_block.h"

namespace platform {
namespace {

struct CharsetName {
  std::string_view name;
  Charset decode;
  Charset encode;
};

constexpr std::array<CharsetName, 15> kNames = {{
    {"UTF-8", Charset::kUtf8, Charset::kUtf8},
    {"UTF8", Charset::kUtf8, Charset::kUtf8},
    {"UTF-16LE", Charset::kUtf16Le, Charset::kUtf16Le},
    {"UTF-16BE", Charset::kUtf16Be, Charset::kUtf16Be},
    {"ISO-8859-1", Charset::kLatin1, Charset::kLatin1},
    {"latin1", Charset::kLatin1, Charset::kLatin1},
    {"US-ASCII", Charset::kAscii, Charset::kAscii},
    {"ASCII", Charset::kAscii, Charset::kAscii},
    {"windows-1252", Charset::kWindows1252, Charset::kWindows1252},
    {"CP1252", Charset::kWindows1252, Charset::kWindows1252},
    {"GBK", Charset::kGb18030, Charset::kCp936},
    {"GB2312", Charset::kGb18030, Charset::kCp936},
    {"CP936", Charset::kGb18030, Charset::kCp936},
    {"EUC-CN", Charset::kGb18030, Charset::kCp936},
    {"GB18030", Charset::kGb18030, Charset::kGb18030},
}};

const CharsetName* FindName(std::string_view name) {
  for (const CharsetName& entry : kNames) {
    if (EqualsIgnoringAsciiCase(entry.name, name)) return &entry;
  }
  return nullptr;
}

bool InRange(unsigned char byte, unsigned char low, unsigned char high) {
  return byte >= low && byte <= high;
}

}  // namespace

std::optional<Charset> CharsetToDecode(std::string_view name) {
  const CharsetName* entry = FindName(name);
  if (entry == nullptr) return std::nullopt;
  return entry->decode;
}

std::optional<Charset> CharsetToEncode(std::string_view name) {
  const CharsetName* entry = FindName(name);
  if (entry == nullptr) return std::nullopt;
  return entry->encode;
}

size_t Utf8ValidPrefix(std::string_view text, bool* invalid) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  const size_t size = text.size();
  *invalid = false;
  size_t i = 0;
  while (i < size) {
    const unsigned char lead = bytes[i];
    if (lead < 0x80) {
      ++i;
      continue;
    }
    size_t length;
    unsigned char second_low = 0x80;
    unsigned char second_high = 0xBF;
    if (InRange(lead, 0xC2, 0xDF)) {
      length = 2;
    } else if (InRange(lead, 0xE0, 0xEF)) {
      length = 3;
      if (lead == 0xE0) second_low = 0xA0;   // overlong
      if (lead == 0xED) second_high = 0x9F;  // surrogates
    } else if (InRange(lead, 0xF0, 0xF4)) {
      length = 4;
      if (lead == 0xF0) second_low = 0x90;   // overlong
      if (lead == 0xF4) second_high = 0x8F;  // above U+10FFFF
    } else {
      *invalid = true;
      return i;
    }
    // Each byte is checked as far as it is there, so that a cut-off character is told from a
    // wrong one as early as possible.
    for (size_t k = 1; k < length; ++k) {
      if (i + k >= size) return i;
      const unsigned char low = k == 1 ? second_low : 0x80;
      const unsigned char high = k == 1 ? second_high : 0xBF;
      if (!InRange(bytes[i + k], low, high)) {
        *invalid = true;
        return i;
      }
    }
    i += length;
  }
  return i;
}

size_t Gb18030CharLength(const unsigned char* text, size_t available) {
  if (!InRange(text[0], 0x81, 0xFE)) return 1;
  if (available < 2) return 0;
  if (!InRange(text[1], 0x30, 0x39)) return 2;
  return available < 4 ? 0 : 4;
}

bool BlockTranscoder::Convert(std::string_view input, bool last, std::string& output) {
  std::string_view text = input;
  if (!pending_.empty()) {
    joined_.assign(pending_);
    joined_.append(input);
    text = joined_;
  }
  const std::optional<size_t> taken = ConvertBlock(text, output);
  if (!taken) return false;
  pending_.assign(text.substr(*taken));
  // No character of these sets is longer than four bytes: more left over is not a character
  // cut off but bytes that never make one.
  if (pending_.size() >= 4 || (last && !pending_.empty())) return false;
  return true;
}

std::unique_ptr<Transcoder> Transcoder::Open(std::string_view from, std::string_view to) {
  const std::optional<Charset> source = CharsetToDecode(from);
  const std::optional<Charset> target = CharsetToEncode(to);
  if (!source || !target) return nullptr;
  return OpenSystemTranscoder(*source, *target);
}

}  // namespace platform
