#include "input/text_decoder.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "platform/cstring.h"
#include "platform/file_exception.h"
#include "platform/transcoder.h"

namespace input {
namespace {

using platform::CFileException;
using platform::CString;

// Where the encoding is looked for: a BOM, a UTF-16 "<?" or the XML declaration.
constexpr size_t kHeadSize = 1024;
// Bytes handed to the transcoder at a time.
constexpr size_t kBlockSize = size_t{64} << 10;

bool IsXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The encoding named by an XML declaration at the very start of `head`, or nothing.
std::optional<std::string> DeclaredEncoding(std::string_view head) {
  if (head.size() < 6 || head.substr(0, 5) != "<?xml" || !IsXmlSpace(head[5])) return {};
  const size_t end = head.find("?>");
  if (end == std::string_view::npos) return {};
  std::string_view declaration = head.substr(0, end);
  for (size_t at = declaration.find("encoding"); at != std::string_view::npos;
       at = declaration.find("encoding", at + 1)) {
    if (!IsXmlSpace(declaration[at - 1])) continue;
    size_t i = at + 8;
    while (i < declaration.size() && IsXmlSpace(declaration[i])) ++i;
    if (i >= declaration.size() || declaration[i] != '=') continue;
    ++i;
    while (i < declaration.size() && IsXmlSpace(declaration[i])) ++i;
    if (i >= declaration.size() || (declaration[i] != '"' && declaration[i] != '\'')) continue;
    const size_t close = declaration.find(declaration[i], i + 1);
    if (close == std::string_view::npos) return {};
    return std::string(declaration.substr(i + 1, close - i - 1));
  }
  return {};
}

// The name as it may stand in a message: the document's bytes could be anything.
std::string Printable(std::string_view name) {
  std::string shown;
  for (char c : name.substr(0, 40)) {
    shown += (c >= 0x20 && c < 0x7F) ? c : '?';
  }
  if (name.size() > 40) shown += "...";
  return shown;
}

CString Quoted(std::string_view name) { return CString("（“") + CString(Printable(name)) + "”）"; }

// Reads the head of the document and keeps it, so that detecting the encoding takes nothing
// from what the layer above gets.
class DecodingSource : public ByteSource {
 public:
  DecodingSource(ByteSource& raw, const CString& path) : raw_(raw), path_(path) {
    head_.resize(kHeadSize);
    size_t filled = 0;
    while (filled < kHeadSize) {
      const size_t got = raw_.Read(head_.data() + filled, kHeadSize - filled);
      if (got == 0) {
        raw_ended_ = true;
        break;
      }
      filled += got;
    }
    head_.resize(filled);
    Detect();
  }

  size_t Read(char* buffer, size_t size) override {
    if (size == 0) return 0;
    if (!transcoder_) {
      // UTF-8 passes through as it is: the parser checks it.
      if (head_at_ < head_.size()) {
        const size_t count = std::min(size, head_.size() - head_at_);
        std::memcpy(buffer, head_.data() + head_at_, count);
        head_at_ += count;
        return count;
      }
      return raw_ended_ ? 0 : raw_.Read(buffer, size);
    }
    while (out_at_ == out_.size()) {
      if (finished_) return 0;
      Fill();
    }
    const size_t count = std::min(size, out_.size() - out_at_);
    std::memcpy(buffer, out_.data() + out_at_, count);
    lines_ += std::count(buffer, buffer + count, '\n');
    out_at_ += count;
    return count;
  }

  uint64_t FilePosition() const override { return raw_.FilePosition(); }
  uint64_t FileSize() const override { return raw_.FileSize(); }

 private:
  void Detect() {
    const std::string_view head(head_);
    std::string name = "UTF-8";
    if (head.substr(0, 3) == "\xEF\xBB\xBF") {
      head_at_ = 3;
    } else if (head.substr(0, 2) == "\xFF\xFE") {
      head_at_ = 2;
      name = "UTF-16LE";
    } else if (head.substr(0, 2) == "\xFE\xFF") {
      head_at_ = 2;
      name = "UTF-16BE";
    } else if (head.substr(0, 4) == std::string_view("<\0?\0", 4)) {
      name = "UTF-16LE";
    } else if (head.substr(0, 4) == std::string_view("\0<\0?", 4)) {
      name = "UTF-16BE";
    } else if (std::optional<std::string> declared = DeclaredEncoding(head)) {
      name = *declared;
    }
    for (std::string_view same : {"UTF-8", "UTF8", "US-ASCII", "ASCII"}) {
      if (platform::EqualsIgnoringAsciiCase(name, same)) return;
    }
    transcoder_ = platform::Transcoder::Open(name, "UTF-8");
    if (!transcoder_) {
      throw CFileException(CFileException::unknownEncoding, path_, Quoted(name),
                           CString("(\"" + std::string(Printable(name)) + "\")"));
    }
  }

  void Fill() {
    out_.clear();
    out_at_ = 0;
    bool ok;
    if (head_at_ < head_.size()) {
      ok = transcoder_->Convert(std::string_view(head_).substr(head_at_), raw_ended_, out_);
      head_at_ = head_.size();
      finished_ = raw_ended_;
    } else {
      in_.resize(kBlockSize);
      const size_t got = raw_ended_ ? 0 : raw_.Read(in_.data(), in_.size());
      raw_ended_ = got == 0;
      finished_ = raw_ended_;
      ok = transcoder_->Convert(std::string_view(in_.data(), got), raw_ended_, out_);
    }
    if (!ok) {
      // The text before the bad bytes was converted; its lines count too.
      const size_t line = lines_ + std::count(out_.begin(), out_.end(), '\n') + 1;
      CString detail("第 ");
      detail += std::to_string(line);
      detail += " 行。";
      throw CFileException(CFileException::badEncoding, path_, detail,
                           CString("(line " + std::to_string(line) + ")"));
    }
  }

  ByteSource& raw_;
  CString path_;
  std::string head_;
  size_t head_at_ = 0;
  bool raw_ended_ = false;
  std::unique_ptr<platform::Transcoder> transcoder_;
  std::string in_;
  std::string out_;
  size_t out_at_ = 0;
  bool finished_ = false;
  size_t lines_ = 0;
};

}  // namespace

std::unique_ptr<ByteSource> DecodeToUtf8(ByteSource& raw, const platform::CString& path) {
  return std::make_unique<DecodingSource>(raw, path);
}

}  // namespace input
