// CString: the narrow string of the program: bytes in the system code page (see code_page.h).
//
// Lengths and positions count bytes. Find, Replace and Trim step through characters of
// CodePage::System(), so they never match inside or split a multi-byte character.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

// Whether `a` and `b` are the same but for the case of ASCII letters (names of character sets,
// of zip entries, of locales).
bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b);

class CString {
 public:
  CString() = default;
  CString(const char* text);  // NOLINT(google-explicit-constructor): literals convert as in MFC
  CString(const char* text, size_t length);
  explicit CString(std::string text) : text_(std::move(text)) {}
  explicit CString(std::string_view text) : text_(text) {}

  size_t GetLength() const { return text_.size(); }
  bool IsEmpty() const { return text_.empty(); }
  // Zero-terminated; valid until the string changes. NUL bytes may stand inside.
  const char* GetString() const { return text_.c_str(); }
  const std::string& str() const { return text_; }
  std::string_view view() const { return text_; }
  char operator[](size_t index) const { return text_[index]; }

  // Byte position of the first occurrence of `sub` that starts on a character boundary at or
  // after `start`, or -1. An empty `sub` is found at `start` (if start <= length).
  ptrdiff_t Find(std::string_view sub, size_t start = 0) const;
  ptrdiff_t Find(char ch, size_t start = 0) const { return Find(std::string_view(&ch, 1), start); }

  // Replaces every occurrence of `old_text` (left to right, on character boundaries, no
  // overlap) by `new_text`; gives the number of replacements. An empty `old_text` replaces
  // nothing. Linear in the length of the string.
  size_t Replace(std::string_view old_text, std::string_view new_text);

  // Remove trailing, then leading characters as long as they are among the characters of
  // `targets` (a set, not a string to match). Give *this.
  CString& TrimRight(std::string_view targets);
  CString& TrimLeft(std::string_view targets);
  CString& Trim(std::string_view targets);

  // The first `count` bytes (all of the string if it is shorter).
  CString Left(size_t count) const;

  // printf-style formatting into *this ("%d" writes a signed decimal).
  void Format(const char* format, ...)
#if defined(__GNUC__)
      __attribute__((format(printf, 2, 3)))
#endif
      ;

  CString& operator+=(const CString& other) {
    text_ += other.text_;
    return *this;
  }
  CString& operator+=(std::string_view other) {
    text_ += other;
    return *this;
  }
  CString& operator+=(const char* other) {
    text_ += other;
    return *this;
  }
  CString& operator+=(char ch) {
    text_ += ch;
    return *this;
  }
  friend CString operator+(CString left, const CString& right) { return left += right; }
  friend CString operator+(CString left, const char* right) { return left += right; }
  friend CString operator+(const char* left, const CString& right) {
    return CString(left) += right;
  }
  friend bool operator==(const CString& a, const CString& b) { return a.text_ == b.text_; }

 private:
  std::string text_;
};

}  // namespace platform
