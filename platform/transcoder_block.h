// What the system transcoders share: the character sets by name, UTF-8 and GB18030 character
// boundaries, and the keeping back of a character cut off between two Convert calls.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/transcoder.h"

namespace platform {

enum class Charset { kUtf8, kUtf16Le, kUtf16Be, kLatin1, kAscii, kWindows1252, kGb18030, kCp936 };

// The character set a name stands for when text is read from it: the GBK family is read as
// GB18030, which holds all of it. Case is ignored; empty for an unknown name.
std::optional<Charset> CharsetToDecode(std::string_view name);
// The same when text is written in it: the GBK family is written as code page 936.
std::optional<Charset> CharsetToEncode(std::string_view name);

// Length of the longest front part of `text` made of whole, valid UTF-8 characters (no
// surrogates, nothing above U+10FFFF, no overlong forms). `*invalid` tells whether what follows
// is invalid rather than a character cut off by the end of `text`.
size_t Utf8ValidPrefix(std::string_view text, bool* invalid);

// Length in bytes of the character starting at `text[0]` in GB18030 by its form alone (1, 2 or
// 4), or 0 when `available` bytes do not hold all of it. Bytes 0x80 and 0xFF count as 1.
// REQUIRES: available >= 1.
size_t Gb18030CharLength(const unsigned char* text, size_t available);

// A Transcoder that converts whole characters and keeps back the start of one cut off at the
// end of the input until the next call.
class BlockTranscoder : public Transcoder {
 public:
  bool Convert(std::string_view input, bool last, std::string& output) final;

 protected:
  // Converts the whole characters at the front of `input` and appends them to `output`; gives
  // how many bytes it took, or nothing for invalid bytes (after appending what came before
  // them). A character cut off at the end is left for the next call, even with `last`.
  virtual std::optional<size_t> ConvertBlock(std::string_view input, std::string& output) = 0;

 private:
  std::string pending_;
  std::string joined_;
};

// The platform's transcoder between two character sets, or null when it cannot convert.
std::unique_ptr<Transcoder> OpenSystemTranscoder(Charset from, Charset to);

}  // namespace platform
