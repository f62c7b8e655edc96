#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "platform/transcoder_block.h"

namespace platform {
namespace {

// GB18030 is read on the base of code page 936, which holds its one- and two-byte forms, with
// the differences written out here, so that every Windows reads it alike (Wine has no code page
// 54936) and as glibc does.

// Two-byte forms that GB18030 gives other characters than code page 936 (which has private-use
// characters or nothing there).
struct TwoByte {
  uint16_t code;
  char32_t character;
};
constexpr TwoByte kTwoByteDifferences[] = {
    {0xA2E3, 0x20AC},  {0xA6D9, 0xFE10}, {0xA6DA, 0xFE12},  {0xA6DB, 0xFE11},  {0xA6DC, 0xFE13},
    {0xA6DD, 0xFE14},  {0xA6DE, 0xFE15}, {0xA6DF, 0xFE16},  {0xA6EC, 0xFE17},  {0xA6ED, 0xFE18},
    {0xA6F3, 0xFE19},  {0xA8BC, 0x1E3F}, {0xA8BF, 0x01F9},  {0xA989, 0x303E},  {0xA98A, 0x2FF0},
    {0xA98B, 0x2FF1},  {0xA98C, 0x2FF2}, {0xA98D, 0x2FF3},  {0xA98E, 0x2FF4},  {0xA98F, 0x2FF5},
    {0xA990, 0x2FF6},  {0xA991, 0x2FF7}, {0xA992, 0x2FF8},  {0xA993, 0x2FF9},  {0xA994, 0x2FFA},
    {0xA995, 0x2FFB},  {0xFE50, 0x2E81}, {0xFE51, 0x20087}, {0xFE52, 0x20089}, {0xFE53, 0x200CC},
    {0xFE54, 0x2E84},  {0xFE55, 0x3473}, {0xFE56, 0x3447},  {0xFE57, 0x2E88},  {0xFE58, 0x2E8B},
    {0xFE59, 0x9FB4},  {0xFE5A, 0x359E}, {0xFE5B, 0x361A},  {0xFE5C, 0x360E},  {0xFE5D, 0x2E8C},
    {0xFE5E, 0x2E97},  {0xFE5F, 0x396E}, {0xFE60, 0x3918},  {0xFE61, 0x9FB5},  {0xFE62, 0x39CF},
    {0xFE63, 0x39DF},  {0xFE64, 0x3A73}, {0xFE65, 0x39D0},  {0xFE66, 0x9FB6},  {0xFE67, 0x9FB7},
    {0xFE68, 0x3B4E},  {0xFE69, 0x3C6E}, {0xFE6A, 0x3CE0},  {0xFE6B, 0x2EA7},  {0xFE6C, 0x215D7},
    {0xFE6D, 0x9FB8},  {0xFE6E, 0x2EAA}, {0xFE6F, 0x4056},  {0xFE70, 0x415F},  {0xFE71, 0x2EAE},
    {0xFE72, 0x4337},  {0xFE73, 0x2EB3}, {0xFE74, 0x2EB6},  {0xFE75, 0x2EB7},  {0xFE76, 0x2298F},
    {0xFE77, 0x43B1},  {0xFE78, 0x43AC}, {0xFE79, 0x2EBB},  {0xFE7A, 0x43DD},  {0xFE7B, 0x44D6},
    {0xFE7C, 0x4661},  {0xFE7D, 0x464C}, {0xFE7E, 0x9FB9},  {0xFE80, 0x4723},  {0xFE81, 0x4729},
    {0xFE82, 0x477C},  {0xFE83, 0x478D}, {0xFE84, 0x2ECA},  {0xFE85, 0x4947},  {0xFE86, 0x497A},
    {0xFE87, 0x497D},  {0xFE88, 0x4982}, {0xFE89, 0x4983},  {0xFE8A, 0x4985},  {0xFE8B, 0x4986},
    {0xFE8C, 0x499F},  {0xFE8D, 0x499B}, {0xFE8E, 0x49B7},  {0xFE8F, 0x49B6},  {0xFE90, 0x9FBA},
    {0xFE91, 0x241FE}, {0xFE92, 0x4CA3}, {0xFE93, 0x4C9F},  {0xFE94, 0x4CA0},  {0xFE95, 0x4CA1},
    {0xFE96, 0x4C77},  {0xFE97, 0x4CA2}, {0xFE98, 0x4D13},  {0xFE99, 0x4D14},  {0xFE9A, 0x4D15},
    {0xFE9B, 0x4D16},  {0xFE9C, 0x4D17}, {0xFE9D, 0x4D18},  {0xFE9E, 0x4D19},  {0xFE9F, 0x4DAE},
    {0xFEA0, 0x9FBB},
};

// Four-byte forms of the Basic Multilingual Plane: runs of consecutive characters, each from its
// first form's index (counted from 81 30 81 30) to the next run; 0 marks forms without one.
struct FourByteRun {
  uint32_t index;
  char16_t character;
};
constexpr FourByteRun kFourByteRuns[] = {
    {0, 0x0080},     {36, 0x00A5},    {38, 0x00A9},    {45, 0x00B2},    {50, 0x00B8},
    {81, 0x00D8},    {89, 0x00E2},    {95, 0x00EB},    {96, 0x00EE},    {100, 0x00F4},
    {103, 0x00F8},   {104, 0x00FB},   {105, 0x00FD},   {109, 0x0102},   {126, 0x0114},
    {133, 0x011C},   {148, 0x012C},   {172, 0x0145},   {175, 0x0149},   {179, 0x014E},
    {208, 0x016C},   {306, 0x01CF},   {307, 0x01D1},   {308, 0x01D3},   {309, 0x01D5},
    {310, 0x01D7},   {311, 0x01D9},   {312, 0x01DB},   {313, 0x01DD},   {341, 0x01FA},
    {428, 0x0252},   {443, 0x0262},   {544, 0x02C8},   {545, 0x02CC},   {558, 0x02DA},
    {741, 0x03A2},   {742, 0x03AA},   {749, 0x03C2},   {750, 0x03CA},   {805, 0x0402},
    {819, 0x0450},   {820, 0x0452},   {7457, 0xE7C7},  {7458, 0x1E40},  {7922, 0x2011},
    {7924, 0x2017},  {7925, 0x201A},  {7927, 0x201E},  {7934, 0x2027},  {7943, 0x2031},
    {7944, 0x2034},  {7945, 0x2036},  {7950, 0x203C},  {8062, 0x20AD},  {8148, 0x2104},
    {8149, 0x2106},  {8152, 0x210A},  {8164, 0x2117},  {8174, 0x2122},  {8236, 0x216C},
    {8240, 0x217A},  {8262, 0x2194},  {8264, 0x219A},  {8374, 0x2209},  {8380, 0x2210},
    {8381, 0x2212},  {8384, 0x2216},  {8388, 0x221B},  {8390, 0x2221},  {8392, 0x2224},
    {8393, 0x2226},  {8394, 0x222C},  {8396, 0x222F},  {8401, 0x2238},  {8406, 0x223E},
    {8416, 0x2249},  {8419, 0x224D},  {8424, 0x2253},  {8437, 0x2262},  {8439, 0x2268},
    {8445, 0x2270},  {8482, 0x2296},  {8485, 0x229A},  {8496, 0x22A6},  {8521, 0x22C0},
    {8603, 0x2313},  {8936, 0x246A},  {8946, 0x249C},  {9046, 0x254C},  {9050, 0x2574},
    {9063, 0x2590},  {9066, 0x2596},  {9076, 0x25A2},  {9092, 0x25B4},  {9100, 0x25BE},
    {9108, 0x25C8},  {9111, 0x25CC},  {9113, 0x25D0},  {9131, 0x25E6},  {9162, 0x2607},
    {9164, 0x260A},  {9218, 0x2641},  {9219, 0x2643},  {11329, 0x2E82}, {11331, 0x2E85},
    {11334, 0x2E89}, {11336, 0x2E8D}, {11346, 0x2E98}, {11361, 0x2EA8}, {11363, 0x2EAB},
    {11366, 0x2EAF}, {11370, 0x2EB4}, {11372, 0x2EB8}, {11375, 0x2EBC}, {11389, 0x2ECB},
    {11682, 0x2FFC}, {11686, 0x3004}, {11687, 0x3018}, {11692, 0x301F}, {11694, 0x302A},
    {11714, 0x303F}, {11716, 0x3094}, {11723, 0x309F}, {11725, 0x30F7}, {11730, 0x30FF},
    {11736, 0x312A}, {11982, 0x322A}, {11989, 0x3232}, {12102, 0x32A4}, {12336, 0x3390},
    {12348, 0x339F}, {12350, 0x33A2}, {12384, 0x33C5}, {12393, 0x33CF}, {12395, 0x33D3},
    {12397, 0x33D6}, {12510, 0x3448}, {12553, 0x3474}, {12851, 0x359F}, {12962, 0x360F},
    {12973, 0x361B}, {13738, 0x3919}, {13823, 0x396F}, {13919, 0x39D1}, {13933, 0x39E0},
    {14080, 0x3A74}, {14298, 0x3B4F}, {14585, 0x3C6F}, {14698, 0x3CE1}, {15583, 0x4057},
    {15847, 0x4160}, {16318, 0x4338}, {16434, 0x43AD}, {16438, 0x43B2}, {16481, 0x43DE},
    {16729, 0x44D7}, {17102, 0x464D}, {17122, 0x4662}, {17315, 0x4724}, {17320, 0x472A},
    {17402, 0x477D}, {17418, 0x478E}, {17859, 0x4948}, {17909, 0x497B}, {17911, 0x497E},
    {17915, 0x4984}, {17916, 0x4987}, {17936, 0x499C}, {17939, 0x49A0}, {17961, 0x49B8},
    {18664, 0x4C78}, {18703, 0x4CA4}, {18814, 0x4D1A}, {18962, 0x4DAF}, {19043, 0x9FA6},
    {19057, 0x0000}, {19065, 0x9FBC}, {33469, 0xE76C}, {33470, 0xE7C8}, {33471, 0xE7E7},
    {33484, 0xE815}, {33485, 0xE819}, {33490, 0xE81F}, {33497, 0xE827}, {33501, 0xE82D},
    {33505, 0xE833}, {33513, 0xE83C}, {33520, 0xE844}, {33536, 0xE856}, {33550, 0xE865},
    {37845, 0xF92D}, {37921, 0xF97A}, {37948, 0xF996}, {38029, 0xF9E8}, {38038, 0xF9F2},
    {38064, 0xFA10}, {38065, 0xFA12}, {38066, 0xFA15}, {38069, 0xFA19}, {38075, 0xFA22},
    {38076, 0xFA25}, {38078, 0xFA2A}, {39076, 0x0000}, {39086, 0xFE1A}, {39108, 0xFE32},
    {39109, 0xFE45}, {39113, 0xFE53}, {39114, 0xFE58}, {39115, 0xFE67}, {39116, 0xFE6C},
    {39265, 0xFF5F}, {39394, 0xFFE6},
};
constexpr uint32_t kFourByteBmpEnd = 39420;               // 84 31 A4 39 is the last
constexpr uint32_t kFourByteSupplementaryStart = 189000;  // 90 30 81 30 is U+10000

void AppendCodePoint(char32_t code, std::wstring& wide) {
  if (code < 0x10000) {
    wide.push_back(static_cast<wchar_t>(code));
  } else {
    code -= 0x10000;
    wide.push_back(static_cast<wchar_t>(0xD800 + (code >> 10)));
    wide.push_back(static_cast<wchar_t>(0xDC00 + (code & 0x3FF)));
  }
}

// The character of a four-byte form, or 0 when it has none.
char32_t FourByteCharacter(const unsigned char* form) {
  if (form[2] < 0x81 || form[2] > 0xFE || form[3] < 0x30 || form[3] > 0x39) return 0;
  const uint32_t index = ((uint32_t{form[0]} - 0x81) * 10 + (form[1] - 0x30)) * 1260 +
                         (uint32_t{form[2]} - 0x81) * 10 + (form[3] - 0x30);
  if (index < kFourByteBmpEnd) {
    const FourByteRun* run =
        std::upper_bound(std::begin(kFourByteRuns), std::end(kFourByteRuns), index,
                         [](uint32_t value, const FourByteRun& r) { return value < r.index; }) -
        1;
    if (run->character == 0) return 0;
    return run->character + (index - run->index);
  }
  if (index < kFourByteSupplementaryStart) return 0;
  const uint32_t code = 0x10000 + (index - kFourByteSupplementaryStart);
  return code <= 0x10FFFF ? code : 0;
}

const TwoByte* FindTwoByteDifference(uint16_t code) {
  const TwoByte* found =
      std::lower_bound(std::begin(kTwoByteDifferences), std::end(kTwoByteDifferences), code,
                       [](const TwoByte& entry, uint16_t value) { return entry.code < value; });
  if (found == std::end(kTwoByteDifferences) || found->code != code) return nullptr;
  return found;
}

// Converts `text` of `code_page` to UTF-16; gives how many bytes were whole and valid. The
// system says only that a run failed, so then the characters are tried one by one to find
// where; `char_length` steps through them.
size_t MultiByteRun(UINT code_page, std::string_view text, std::wstring& wide,
                    size_t (*char_length)(const unsigned char*, size_t)) {
  if (text.empty()) return 0;
  const size_t start = wide.size();
  wide.resize(start + text.size());
  const int count = MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, text.data(),
                                        static_cast<int>(text.size()), wide.data() + start,
                                        static_cast<int>(text.size()));
  if (count > 0) {
    wide.resize(start + count);
    return text.size();
  }
  wide.resize(start);
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  size_t at = 0;
  while (at < text.size()) {
    const size_t length = std::max<size_t>(1, char_length(bytes + at, text.size() - at));
    wchar_t unit[2];
    const int one = MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, text.data() + at,
                                        static_cast<int>(length), unit, 2);
    if (one <= 0) break;
    wide.append(unit, one);
    at += length;
  }
  return at;
}

size_t SingleByteLength(const unsigned char*, size_t) { return 1; }

// Which characters of the Basic Multilingual Plane `code_page` holds: those that go there and
// come back unchanged (no best-fit look-alikes).
std::vector<bool> BuildRepresentable(UINT code_page) {
  std::wstring all(0x10000, L'?');
  for (size_t c = 0; c < all.size(); ++c) {
    if (c < 0xD800 || c > 0xDFFF) all[c] = static_cast<wchar_t>(c);
  }
  std::string bytes(all.size() * 2, '\0');
  const int length =
      WideCharToMultiByte(code_page, WC_NO_BEST_FIT_CHARS, all.data(), static_cast<int>(all.size()),
                          bytes.data(), static_cast<int>(bytes.size()), nullptr, nullptr);
  std::wstring back(all.size() + 1, L'\0');
  const int units = MultiByteToWideChar(code_page, 0, bytes.data(), length, back.data(),
                                        static_cast<int>(back.size()));
  std::vector<bool> representable(all.size(), false);
  // Each character comes back as one unit, so positions line up.
  if (units != static_cast<int>(all.size())) return representable;
  for (size_t c = 0; c < all.size(); ++c) {
    representable[c] = back[c] == static_cast<wchar_t>(c) && (c < 0xD800 || c > 0xDFFF);
  }
  return representable;
}

const std::vector<bool>& Representable(UINT code_page) {
  if (code_page == 936) {
    static const std::vector<bool> table = [] {
      std::vector<bool> t = BuildRepresentable(936);
      // glibc's CP936 has no private-use characters; nor, then, has ours.
      for (size_t c = 0xE000; c <= 0xF8FF; ++c) t[c] = false;
      return t;
    }();
    return table;
  }
  static const std::vector<bool> table = [] {
    std::vector<bool> t = BuildRepresentable(1252);
    // The five bytes 1252 leaves undefined pass through Windows as C1 controls; they are no
    // characters of the set.
    for (char16_t c : {u'\x81', u'\x8D', u'\x8F', u'\x90', u'\x9D'}) t[c] = false;
    return t;
  }();
  return table;
}

bool IsUndefinedIn1252(unsigned char byte) {
  return byte == 0x81 || byte == 0x8D || byte == 0x8F || byte == 0x90 || byte == 0x9D;
}

// Text goes from the source set to UTF-16 and from there to the target.
class WindowsTranscoder : public BlockTranscoder {
 public:
  WindowsTranscoder(Charset from, Charset to) : from_(from), to_(to) {}

 protected:
  std::optional<size_t> ConvertBlock(std::string_view input, std::string& output) override {
    size_t at = 0;
    while (at < input.size()) {
      wide_.clear();
      bool invalid = false;
      const size_t taken = Decode(input.substr(at, kBlock), &invalid);
      Encode(output);
      at += taken;
      if (invalid) return std::nullopt;
      if (taken == 0) break;
    }
    return at;
  }

 private:
  static constexpr size_t kBlock = size_t{64} << 10;

  size_t Decode(std::string_view text, bool* invalid) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    size_t valid = text.size();
    switch (from_) {
      case Charset::kUtf8: {
        valid = Utf8ValidPrefix(text, invalid);
        wide_.resize(valid);
        const int units =
            valid == 0 ? 0
                       : MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(valid),
                                             wide_.data(), static_cast<int>(valid));
        wide_.resize(units);
        return valid;
      }
      case Charset::kUtf16Le:
      case Charset::kUtf16Be:
        return DecodeUtf16(bytes, text.size(), invalid);
      case Charset::kAscii:
      case Charset::kLatin1:
        for (size_t i = 0; i < text.size(); ++i) {
          if (from_ == Charset::kAscii && bytes[i] >= 0x80) {
            *invalid = true;
            return i;
          }
          wide_.push_back(bytes[i]);
        }
        return text.size();
      case Charset::kWindows1252:
        valid = std::find_if(bytes, bytes + text.size(), IsUndefinedIn1252) - bytes;
        *invalid = valid < text.size();
        return MultiByteRun(1252, text.substr(0, valid), wide_, SingleByteLength);
      case Charset::kGb18030:
      case Charset::kCp936:
        return DecodeGb18030(bytes, text.size(), invalid);
    }
    return 0;
  }

  size_t DecodeUtf16(const unsigned char* bytes, size_t size, bool* invalid) {
    const bool big_endian = from_ == Charset::kUtf16Be;
    auto unit_at = [&](size_t i) -> char16_t {
      return big_endian ? static_cast<char16_t>(bytes[i] << 8 | bytes[i + 1])
                        : static_cast<char16_t>(bytes[i + 1] << 8 | bytes[i]);
    };
    size_t i = 0;
    while (i + 2 <= size) {
      const char16_t unit = unit_at(i);
      if (unit >= 0xDC00 && unit <= 0xDFFF) break;
      if (unit >= 0xD800 && unit <= 0xDBFF) {
        if (i + 4 > size) return i;
        const char16_t low = unit_at(i + 2);
        if (low < 0xDC00 || low > 0xDFFF) break;
        wide_.push_back(static_cast<wchar_t>(unit));
        wide_.push_back(static_cast<wchar_t>(low));
        i += 4;
        continue;
      }
      wide_.push_back(static_cast<wchar_t>(unit));
      i += 2;
    }
    *invalid = i + 2 <= size;
    return i;
  }

  size_t DecodeGb18030(const unsigned char* bytes, size_t size, bool* invalid) {
    const auto* text = reinterpret_cast<const char*>(bytes);
    size_t run = 0;  // start of the forms code page 936 reads as GB18030 does
    size_t i = 0;
    auto flush = [&]() {
      const size_t done =
          MultiByteRun(936, std::string_view(text + run, i - run), wide_, Gb18030CharLength);
      if (run + done < i) {
        *invalid = true;
        i = run + done;
        return false;
      }
      return true;
    };
    while (i < size) {
      const size_t length = Gb18030CharLength(bytes + i, size - i);
      if (length == 0) break;
      if (length == 1) {
        // 0x80 is the euro sign in code page 936 only.
        if (bytes[i] == 0x80 || bytes[i] == 0xFF) {
          if (flush()) *invalid = true;
          return i;
        }
        ++i;
        continue;
      }
      const TwoByte* difference =
          length == 2 ? FindTwoByteDifference(static_cast<uint16_t>(bytes[i] << 8 | bytes[i + 1]))
                      : nullptr;
      if (length == 2 && difference == nullptr) {
        i += 2;
        continue;
      }
      if (!flush()) return i;
      const char32_t character =
          difference != nullptr ? difference->character : FourByteCharacter(bytes + i);
      if (character == 0) {
        *invalid = true;
        return i;
      }
      AppendCodePoint(character, wide_);
      i += length;
      run = i;
    }
    flush();
    return i;
  }

  void Encode(std::string& output) {
    switch (to_) {
      case Charset::kUtf8:
        AppendWide(CP_UTF8, wide_, 3, output);
        return;
      case Charset::kUtf16Le:
      case Charset::kUtf16Be:
        for (wchar_t unit : wide_) {
          const char high = static_cast<char>(unit >> 8);
          const char low = static_cast<char>(unit & 0xFF);
          output.push_back(to_ == Charset::kUtf16Be ? high : low);
          output.push_back(to_ == Charset::kUtf16Be ? low : high);
        }
        return;
      case Charset::kAscii:
      case Charset::kLatin1: {
        const wchar_t limit = to_ == Charset::kAscii ? 0x80 : 0x100;
        for (size_t i = 0; i < wide_.size(); ++i) {
          if (wide_[i] < limit) {
            output.push_back(static_cast<char>(wide_[i]));
            continue;
          }
          output.push_back('?');
          ++replaced_;
          if (IsHighSurrogate(wide_[i])) ++i;
        }
        return;
      }
      case Charset::kWindows1252:
      case Charset::kCp936:
      case Charset::kGb18030: {
        const UINT code_page = to_ == Charset::kWindows1252 ? 1252 : 936;
        const std::vector<bool>& representable = Representable(code_page);
        held_.clear();
        for (size_t i = 0; i < wide_.size(); ++i) {
          if (representable[wide_[i]]) {
            held_.push_back(wide_[i]);
            continue;
          }
          held_.push_back(L'?');
          ++replaced_;
          if (IsHighSurrogate(wide_[i])) ++i;
        }
        AppendWide(code_page, held_, 2, output);
        return;
      }
    }
  }

  static bool IsHighSurrogate(wchar_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }

  static void AppendWide(UINT code_page, const std::wstring& wide, size_t most_per_unit,
                         std::string& output) {
    if (wide.empty()) return;
    const size_t start = output.size();
    output.resize(start + wide.size() * most_per_unit);
    const int length = WideCharToMultiByte(
        code_page, 0, wide.data(), static_cast<int>(wide.size()), output.data() + start,
        static_cast<int>(wide.size() * most_per_unit), nullptr, nullptr);
    output.resize(start + std::max(length, 0));
  }

  Charset from_;
  Charset to_;
  std::wstring wide_;
  std::wstring held_;
};

}  // namespace

std::unique_ptr<Transcoder> OpenSystemTranscoder(Charset from, Charset to) {
  // Writing GB18030 would need the code page Wine lacks; nothing here writes it.
  if (to == Charset::kGb18030) return nullptr;
  return std::make_unique<WindowsTranscoder>(from, to);
}

}  // namespace platform
