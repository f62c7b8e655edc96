// Fuzz target: CString Find, Replace, Trim and Left under GBK and UTF-8 against plain
// character-by-character references; none of them may match inside or split a character.
//
// Input: a flag byte (code page, Find start), three length bytes (pattern, replacement, trim
// set), then the pattern, the replacement, the trim set and, for the rest, the text.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/fuzz_support.h"
#include "platform/code_page.h"
#include "platform/cstring.h"

namespace {

using fuzz::Encoding;
using platform::CString;

// The references keep whole characters by construction, so agreeing with them means no
// character of the text was matched into or split.
void CheckFind(const std::string& text, std::string_view sub, size_t start, Encoding encoding) {
  const CString string(text);
  fuzz::CheckEqual("Find", fuzz::ReferenceFind(text, sub, start, encoding),
                   string.Find(sub, start));
  if (sub.size() == 1) {
    fuzz::CheckEqual("Find(char)", fuzz::ReferenceFind(text, sub, start, encoding),
                     string.Find(sub[0], start));
  }
}

void CheckReplace(const std::string& text, std::string_view old_text, std::string_view new_text,
                  Encoding encoding) {
  std::string expected = text;
  const size_t expected_count = fuzz::ReferenceReplace(expected, old_text, new_text, encoding);
  CString string(text);
  const size_t count = string.Replace(old_text, new_text);
  fuzz::CheckEqual("Replace: count", static_cast<long long>(expected_count),
                   static_cast<long long>(count));
  fuzz::CheckEqual("Replace: text", expected, string.view());
}

void CheckTrim(const std::string& text, std::string_view targets, Encoding encoding) {
  const std::string right = fuzz::ReferenceTrimRight(text, targets, encoding);
  const std::string left = fuzz::ReferenceTrimLeft(text, targets, encoding);
  const std::string both = fuzz::ReferenceTrimLeft(right, targets, encoding);
  CString string(text);
  fuzz::CheckEqual("TrimRight", right, string.TrimRight(targets).view());
  string = CString(text);
  fuzz::CheckEqual("TrimLeft", left, string.TrimLeft(targets).view());
  string = CString(text);
  fuzz::CheckEqual("Trim", both, string.Trim(targets).view());
}

void CheckLeft(const std::string& text, size_t count) {
  fuzz::CheckEqual("Left", std::string_view(text).substr(0, count),
                   CString(text).Left(count).view());
}

// The code page's own character lengths agree with the reference's.
void CheckCharacters(const std::string& text, const platform::CodePage& page, Encoding encoding) {
  size_t offset = 0;
  for (const std::string_view character : fuzz::SplitCharacters(text, encoding)) {
    fuzz::CheckEqual(
        "CodePage::CharLength", static_cast<long long>(character.size()),
        static_cast<long long>(page.CharLength(text.data() + offset, text.size() - offset)));
    offset += character.size();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Input input(data, size);
  const uint8_t flags = input.Byte();
  const size_t pattern_length = input.Byte() % 8;
  const size_t replacement_length = input.Byte() % 8;
  const size_t targets_length = input.Byte() % 16;
  const std::string pattern(input.Bytes(pattern_length));
  const std::string replacement(input.Bytes(replacement_length));
  const std::string targets(input.Bytes(targets_length));
  const std::string text(input.Rest());

  const Encoding encoding = (flags & 1) != 0 ? Encoding::kUtf8 : Encoding::kGbk;
  const platform::CodePage page =
      encoding == Encoding::kUtf8 ? platform::CodePage::Utf8() : platform::CodePage::Gbk();
  platform::ScopedCodePage scoped(page);

  CheckCharacters(text, page, encoding);
  const size_t start = (flags >> 1) % (text.size() + 2);  // also one past the end
  CheckFind(text, pattern, start, encoding);
  CheckFind(text, pattern, 0, encoding);
  CheckReplace(text, pattern, replacement, encoding);
  CheckTrim(text, targets, encoding);
  CheckLeft(text, flags);
  return 0;
}
