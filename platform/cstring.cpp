#include "platform/cstring.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/code_page.h"

namespace platform {
namespace {

// Walks a string character by character. Bytes below 0x40 are characters of their own in
// every supported code page, so the byte after one always starts a character: that is where a
// walk may begin without stepping from the start of the string.
class CharCursor {
 public:
  CharCursor(std::string_view text, const CodePage& page)
      : text_(reinterpret_cast<const unsigned char*>(text.data())),
        size_(text.size()),
        page_(page),
        single_byte_(page.kind() == CodePage::Kind::kSingleByte) {}

  // The first character boundary at or after `target`, walking on from `from`, a boundary.
  size_t Advance(size_t from, size_t target) const {
    if (single_byte_) return target;
    size_t pos = from;
    while (pos < target) {
      // At a boundary, bytes below 0x80 are characters of their own: skip them 8 at a time.
      uint64_t word;
      while (pos + sizeof word <= target) {
        std::memcpy(&word, text_ + pos, sizeof word);
        if ((word & 0x8080808080808080u) != 0) break;
        pos += sizeof word;
      }
      if (pos >= target) break;
      if (text_[pos] < 0x80) {
        ++pos;
      } else {
        pos += page_.CharLength(text_ + pos, size_ - pos);
      }
    }
    return pos;
  }

  // A character boundary at or before `pos`, found by looking back for a byte below 0x40.
  size_t SyncPoint(size_t pos) const {
    if (single_byte_) return pos;
    while (pos > 0 && text_[pos - 1] >= 0x40) --pos;
    return pos;
  }

  size_t Length(size_t pos) const {
    return single_byte_ ? 1 : page_.CharLength(text_ + pos, size_ - pos);
  }

 private:
  const unsigned char* text_;
  size_t size_;
  const CodePage& page_;
  bool single_byte_;
};

// The characters of a trim's target string.
class CharSet {
 public:
  CharSet(std::string_view targets, const CodePage& page) {
    size_t pos = 0;
    while (pos < targets.size()) {
      const size_t length = page.CharLength(targets.data() + pos, targets.size() - pos);
      if (length == 1) {
        single_[static_cast<unsigned char>(targets[pos])] = true;
      } else {
        multi_.push_back(targets.substr(pos, length));
      }
      pos += length;
    }
  }

  bool Contains(std::string_view character) const {
    if (character.size() == 1) return single_[static_cast<unsigned char>(character[0])];
    for (std::string_view target : multi_) {
      if (target == character) return true;
    }
    return false;
  }

  bool ContainsByte(unsigned char byte) const { return single_[byte]; }

 private:
  bool single_[256] = {};
  std::vector<std::string_view> multi_;
};

// Finds `sub` in `text` at or after `from` (a boundary) such that the match both starts and
// ends on a character boundary. `*boundary` is a boundary at or before `from`, and is kept
// up to date so that successive calls walk the string only once.
size_t FindOnBoundary(std::string_view text, std::string_view sub, size_t from,
                      const CharCursor& cursor, size_t* boundary) {
  size_t candidate = text.find(sub, from);
  while (candidate != std::string_view::npos) {
    const size_t start = cursor.Advance(*boundary, candidate);
    *boundary = start;
    if (start == candidate) {
      const size_t end = cursor.Advance(start, candidate + sub.size());
      if (end == candidate + sub.size()) return candidate;
      candidate = text.find(sub, candidate + 1);
    } else {
      candidate = text.find(sub, start);
    }
  }
  return std::string_view::npos;
}

}  // namespace

CString::CString(const char* text) : text_(text != nullptr ? text : "") {}

CString::CString(const char* text, size_t length) : text_(text, length) {}

ptrdiff_t CString::Find(std::string_view sub, size_t start) const {
  if (start > text_.size()) return -1;
  if (sub.empty()) return static_cast<ptrdiff_t>(start);
  const CharCursor cursor(text_, CodePage::System());
  size_t boundary = cursor.SyncPoint(start);
  const size_t from = cursor.Advance(boundary, start);
  boundary = from;
  const size_t found = FindOnBoundary(text_, sub, from, cursor, &boundary);
  return found == std::string_view::npos ? -1 : static_cast<ptrdiff_t>(found);
}

size_t CString::Replace(std::string_view old_text, std::string_view new_text) {
  if (old_text.empty() || text_.size() < old_text.size()) return 0;
  const std::string_view text(text_);
  const CharCursor cursor(text, CodePage::System());
  size_t boundary = 0;
  size_t found = FindOnBoundary(text, old_text, 0, cursor, &boundary);
  if (found == std::string_view::npos) return 0;

  std::string result;
  if (new_text.size() <= old_text.size()) result.reserve(text.size());
  size_t copied = 0;
  size_t count = 0;
  while (found != std::string_view::npos) {
    result.append(text.data() + copied, found - copied);
    result.append(new_text);
    copied = found + old_text.size();
    boundary = copied;
    ++count;
    found = FindOnBoundary(text, old_text, copied, cursor, &boundary);
  }
  result.append(text.data() + copied, text.size() - copied);
  text_.swap(result);
  return count;
}

CString& CString::TrimRight(std::string_view targets) {
  if (text_.empty() || targets.empty()) return *this;
  const CodePage& page = CodePage::System();
  const CharSet set(targets, page);
  const CharCursor cursor(text_, page);
  // The trailing run cannot reach back past a byte below 0x40 that is not a target, and the
  // byte after such a byte starts a character: walk forward from there.
  size_t pos = text_.size();
  while (pos > 0) {
    const unsigned char byte = static_cast<unsigned char>(text_[pos - 1]);
    if (byte < 0x40 && !set.ContainsByte(byte)) break;
    --pos;
  }
  size_t run_start = pos;
  while (pos < text_.size()) {
    const size_t length = cursor.Length(pos);
    pos += length;
    if (!set.Contains(std::string_view(text_).substr(pos - length, length))) run_start = pos;
  }
  text_.resize(run_start);
  return *this;
}

CString& CString::TrimLeft(std::string_view targets) {
  if (text_.empty() || targets.empty()) return *this;
  const CodePage& page = CodePage::System();
  const CharSet set(targets, page);
  const CharCursor cursor(text_, page);
  size_t pos = 0;
  while (pos < text_.size()) {
    const size_t length = cursor.Length(pos);
    if (!set.Contains(std::string_view(text_).substr(pos, length))) break;
    pos += length;
  }
  text_.erase(0, pos);
  return *this;
}

CString& CString::Trim(std::string_view targets) { return TrimRight(targets).TrimLeft(targets); }

CString CString::Left(size_t count) const { return CString(text_.substr(0, count)); }

void CString::Format(const char* format, ...) {
  char small[256];
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  const int needed = std::vsnprintf(small, sizeof small, format, args);
  va_end(args);
  if (needed < 0) {
    va_end(again);
    text_.clear();
    return;
  }
  if (static_cast<size_t>(needed) < sizeof small) {
    text_.assign(small, static_cast<size_t>(needed));
  } else {
    std::string buffer(static_cast<size_t>(needed) + 1, '\0');
    std::vsnprintf(buffer.data(), buffer.size(), format, again);
    buffer.resize(static_cast<size_t>(needed));
    text_.swap(buffer);
  }
  va_end(again);
}

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

}  // namespace platform
