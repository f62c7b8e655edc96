// What the fuzz targets share: plain reference implementations of the text-mode line reader and
// of the code-page-stepping string operations, written for clarity rather than speed, a reader
// of the fuzzer's bytes, and a scratch file that hands bytes to the file layer.
//
// A target that finds the program disagreeing with a reference prints both results and aborts,
// so libFuzzer keeps the input and the replay test fails.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/cstring.h"
#include "testing/temp_folder.h"

namespace fuzz {

// Prints `what`, the expected and the actual bytes (escaped) to stderr, then aborts.
[[noreturn]] void Fail(const char* what, std::string_view expected, std::string_view actual);

inline void CheckEqual(const char* what, std::string_view expected, std::string_view actual) {
  if (expected != actual) Fail(what, expected, actual);
}
void CheckEqual(const char* what, long long expected, long long actual);
void Check(const char* what, bool condition);

// Reads the fuzzer's bytes front to back; past the end every byte is 0.
class Input {
 public:
  Input(const uint8_t* data, size_t size) : rest_(reinterpret_cast<const char*>(data), size) {}
  uint8_t Byte();
  std::string_view Bytes(size_t count);  // fewer if the input is shorter
  std::string_view Rest() { return Bytes(rest_.size()); }

 private:
  std::string_view rest_;
};

// The file a target reads: the rest of `input`, with a run of one filler byte inserted, so that
// short fuzz inputs reach across the buffer boundaries of the readers. Three header bytes choose
// the run's length (mostly none; else half the reader's buffer, the buffer, or one and a half,
// less 0 to 7 bytes), the filler and where it goes.
std::string InflatedContent(Input& input);

// One line as the text-mode reader must give it, and the offset in the file of its first byte.
struct ReferenceLine {
  std::string text;
  uint64_t start = 0;
  bool ended = false;  // by a line end (not by the end of the input)
};

// Text mode: LF or CR LF ends a line, a lone CR stays in the line, the byte 0x1A ends the input,
// a last line without a line end is still a line.
std::vector<ReferenceLine> ReferenceReadLines(std::string_view content);

// The characters of `text`, each as the bytes it is made of.
// GBK: a lead byte 0x81-0xFE and a trail byte 0x40-0x7E or 0x80-0xFE make one character.
// UTF-8: a well-formed sequence of two to four bytes makes one character (no overlong forms,
// no surrogates, nothing above U+10FFFF). Any other byte is a character of its own.
enum class Encoding { kGbk, kUtf8 };
std::vector<std::string_view> SplitCharacters(std::string_view text, Encoding encoding);

// The byte offsets at which the characters of `text` start, and its length at the end.
std::vector<size_t> CharacterBoundaries(std::string_view text, Encoding encoding);

// Find, Replace and Trim stepping character by character; a match must start and end on a
// character boundary of the text. An empty `sub` is found at `start` itself.
ptrdiff_t ReferenceFind(std::string_view text, std::string_view sub, size_t start,
                        Encoding encoding);
size_t ReferenceReplace(std::string& text, std::string_view old_text, std::string_view new_text,
                        Encoding encoding);
std::string ReferenceTrimRight(std::string_view text, std::string_view targets, Encoding encoding);
std::string ReferenceTrimLeft(std::string_view text, std::string_view targets, Encoding encoding);

// A file in a folder of its own in the temporary folder (what is written beside it goes too),
// removed at exit.
class ScratchFile {
 public:
  explicit ScratchFile(const char* tag);

  // Replaces the file's content with `bytes`.
  void Write(std::string_view bytes);
  const platform::CString& path() const { return path_; }

 private:
  test_support::TempFolder folder_;
  platform::CString path_;
};

}  // namespace fuzz
