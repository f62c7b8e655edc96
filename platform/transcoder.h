// Transcoder: text from one character set to another with the system's converters (iconv on
// POSIX, MultiByteToWideChar/WideCharToMultiByte on Windows), as a stream.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace platform {

class Transcoder {
 public:
  // Encodings by name, as an XML declaration or the command line gives them (case ignored):
  // "UTF-8", "UTF-16LE", "UTF-16BE", "ISO-8859-1", "US-ASCII", "windows-1252", "GBK",
  // "GB2312", "GB18030", "CP936". Gives null when the system cannot convert between the two.
  static std::unique_ptr<Transcoder> Open(std::string_view from, std::string_view to);
  virtual ~Transcoder() = default;

  // Converts `input` and appends the result to `output`. A character cut off at the end of
  // `input` is kept back until the next call. With `last`, the input ends here.
  // A character that the target cannot hold becomes '?' and is counted in replaced(); bytes
  // that are invalid in the source give false (what came before them is in `output`).
  virtual bool Convert(std::string_view input, bool last, std::string& output) = 0;

  // Characters written as '?' so far.
  size_t replaced() const { return replaced_; }

 protected:
  size_t replaced_ = 0;
};

}  // namespace platform
