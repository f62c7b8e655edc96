// Character stepping through narrow strings in the system's code page.
//
// Strings in this program are bytes in the system's narrow code page: UTF-8 off Windows; on
// Windows the ANSI code page (936, GBK, on the systems the desktop program is made for), or
// UTF-8 in a program that has called UseUtf8Strings (kml2mif.exe). Searches, replaces
// and trims step through a string by characters so that they never split one. A multi-byte
// character is only recognised when it is well formed (a lead byte followed by valid trail
// bytes); any other byte is a character of its own. Bytes below 0x40 are therefore always
// characters of their own in every supported code page, so ASCII tags, digits, commas and
// blanks are always found, whatever bytes stand in front of them.
#pragma once

#include <cstddef>

namespace platform {

class CodePage {
 public:
  enum class Kind { kSingleByte, kDoubleByte, kUtf8 };

  // Code page 936 (GBK): lead bytes 0x81-0xFE, trail bytes 0x40-0x7E and 0x80-0xFE.
  static CodePage Gbk();
  static CodePage Utf8();
  static CodePage SingleByte();
  // A double-byte code page with the given lead-byte ranges (pairs of first and last byte,
  // terminated by a 0, 0 pair, as the platform reports them). Trail bytes 0x40-0x7E, 0x80-0xFE.
  static CodePage DoubleByte(const unsigned char* lead_ranges);

  // The code page of the narrow strings: UTF-8 off Windows and after UseUtf8Strings, else the
  // ANSI code page; a ScopedCodePage in force overrides it.
  static const CodePage& System();

  Kind kind() const { return kind_; }

  // Length in bytes (1 to 4) of the character that starts at text[0].
  // REQUIRES: available >= 1. Looks at no more than `available` bytes; a character cut off by
  // the end of the buffer counts as a lone byte, so callers that stream must keep up to
  // kMaxCharLength - 1 bytes back until more input arrives or the input ends.
  size_t CharLength(const unsigned char* text, size_t available) const;
  size_t CharLength(const char* text, size_t available) const {
    return CharLength(reinterpret_cast<const unsigned char*>(text), available);
  }

  static constexpr size_t kMaxCharLength = 4;

 private:
  Kind kind_ = Kind::kSingleByte;
  bool lead_[256] = {};
};

// Makes UTF-8 the code page of the narrow strings of this process, paths among them, whatever
// the ANSI code page on Windows, so that they hold any character: for a program that reads its
// arguments as UTF-16 (kml2mif.exe). The desktop program never calls it and keeps the ANSI code
// page. Call it before any string is made. Off Windows narrow strings are UTF-8 already.
void UseUtf8Strings();
bool UsesUtf8Strings();

// Makes `page` the system code page for the lifetime of this object (tests only).
class ScopedCodePage {
 public:
  explicit ScopedCodePage(const CodePage& page);
  ~ScopedCodePage();
  ScopedCodePage(const ScopedCodePage&) = delete;
  ScopedCodePage& operator=(const ScopedCodePage&) = delete;

 private:
  const CodePage* previous_;
  CodePage page_;
};

}  // namespace platform
