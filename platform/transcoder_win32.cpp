#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "platform/transcoder_block.h"

namespace platform {
namespace {

// GB18030 is read with the system's code page 54936. Wine has none: there it is read with code
// page 936, which holds its one- and two-byte forms, and its four-byte forms are refused.
UINT Gb18030CodePage() {
  static const UINT code_page = IsValidCodePage(54936) ? 54936 : 936;
  return code_page;
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
    // The whole characters at the front; one cut off at the end waits for the next call.
    size_t whole = 0;
    while (whole < size) {
      // 0x80 is the euro sign in code page 936 only, and 0xFF is no character in either.
      if (bytes[whole] == 0x80 || bytes[whole] == 0xFF) {
        *invalid = true;
        break;
      }
      const size_t length = Gb18030CharLength(bytes + whole, size - whole);
      if (length == 0) break;
      whole += length;
    }
    const size_t done = MultiByteRun(Gb18030CodePage(),
                                     std::string_view(reinterpret_cast<const char*>(bytes), whole),
                                     wide_, Gb18030CharLength);
    if (done < whole) *invalid = true;
    return done;
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
  // Nothing in the program writes GB18030, and Wine lacks its code page.
  if (to == Charset::kGb18030) return nullptr;
  return std::make_unique<WindowsTranscoder>(from, to);
}

}  // namespace platform
