#include "mif/mif_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

#include "feature/number.h"
#include "platform/file_exception.h"

namespace mif::text {
namespace {

bool IsDigit(char ch) { return static_cast<unsigned char>(ch - '0') < 10; }
bool IsAsciiLetter(char ch) { return (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z'); }

void AppendNumber(std::string_view number, std::string& out) {
  // Most coordinates are written as "-12.345": those are copied as they are.
  if (feature::IsPlainDecimal(number)) {
    out += number;
    return;
  }
  if (!number.empty() && number[0] == '+') number.remove_prefix(1);
  const size_t exponent = number.find_first_of("eE");
  if (exponent != std::string_view::npos) {
    double value = 0;
    const auto parsed = std::from_chars(number.data(), number.data() + number.size(), value);
    if (parsed.ec == std::errc::result_out_of_range) {
      // Too small for a double is as good as zero at any map's scale.
      const bool tiny = exponent + 1 < number.size() && number[exponent + 1] == '-';
      out += tiny ? std::string_view("0") : number;
      return;
    }
    if (parsed.ec == std::errc()) {
      char buffer[400];
      const auto written =
          std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
      if (written.ec == std::errc()) {
        out.append(buffer, written.ptr);
        return;
      }
    }
    out += number;
    return;
  }
  // No exponent: a sign, digits and a '.' with digits missing on one side.
  if (!number.empty() && number[0] == '-') {
    out += '-';
    number.remove_prefix(1);
  }
  const size_t dot = number.find('.');
  const std::string_view whole = number.substr(0, dot);
  const std::string_view fraction =
      dot == std::string_view::npos ? std::string_view() : number.substr(dot + 1);
  out += whole.empty() ? std::string_view("0") : whole;
  if (!fraction.empty()) {
    out += '.';
    out += fraction;
  }
}

// The byte length of the character that starts with `lead`.
size_t CharLength(unsigned char lead, Charset charset) {
  switch (charset) {
    case Charset::kWindowsSimpChinese:
      return lead >= 0x81 && lead <= 0xFE ? 2 : 1;
    case Charset::kWindowsLatin1:
      return 1;
    case Charset::kUtf8:
    case Charset::kNeutral:
      break;
  }
  if (lead >= 0xF0) return 4;
  if (lead >= 0xE0) return 3;
  if (lead >= 0xC0) return 2;
  return 1;
}

// Decodes one UTF-8 character at `text[*at]`; an invalid sequence gives 0xFFFFFFFF and one byte.
uint32_t DecodeUtf8(std::string_view text, size_t* at) {
  const unsigned char lead = static_cast<unsigned char>(text[*at]);
  size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
  if (length == 0 || *at + length > text.size()) {
    ++*at;
    return 0xFFFFFFFFu;
  }
  uint32_t code = length == 1 ? lead : lead & (0x7Fu >> length);
  for (size_t i = 1; i < length; ++i) {
    const unsigned char next = static_cast<unsigned char>(text[*at + i]);
    if ((next & 0xC0) != 0x80) {
      ++*at;
      return 0xFFFFFFFFu;
    }
    code = (code << 6) | (next & 0x3F);
  }
  *at += length;
  return code;
}

// Letters beyond ASCII, told apart from the punctuation and symbols that share their blocks
// closely enough for column names: Chinese characters are what matters.
bool IsLetterBeyondAscii(uint32_t code) {
  if (code < 0xC0 || code == 0xD7 || code == 0xF7 || code > 0x10FFFF) return false;
  if (code >= 0x2000 && code <= 0x2BFF) return false;  // punctuation, symbols, arrows, boxes
  if (code >= 0x3000 && code <= 0x303F) return false;  // CJK punctuation
  if (code >= 0xE000 && code <= 0xF8FF) return false;  // private use
  if (code >= 0xFE10 && code <= 0xFE6F) return false;  // vertical and small forms
  if (code >= 0xFF00 && code <= 0xFF20) return false;  // full-width punctuation and digits
  if (code >= 0xFF3B && code <= 0xFF40) return false;
  if (code >= 0xFF5B && code <= 0xFF65) return false;
  if (code >= 0xFFF0 && code <= 0xFFFF) return false;
  return true;
}

std::string LowerAscii(std::string_view name, Charset charset) {
  std::string lower(name);
  for (size_t i = 0; i < lower.size();) {
    const size_t length = CharLength(static_cast<unsigned char>(lower[i]), charset);
    if (length == 1 && lower[i] >= 'A' && lower[i] <= 'Z')
      lower[i] = static_cast<char>(lower[i] + 32);
    i += length;
  }
  return lower;
}

uint32_t Alpha(uint32_t kml_color) { return kml_color >> 24; }

int Clamp(double value, int low, int high) {
  if (!std::isfinite(value)) return low;
  return static_cast<int>(
      std::clamp(std::round(value), static_cast<double>(low), static_cast<double>(high)));
}

void AppendClause(std::string_view name, std::initializer_list<uint64_t> values, std::string& out) {
  out += "    ";
  out += name;
  out += " (";
  bool first = true;
  for (const uint64_t value : values) {
    if (!first) out += ',';
    first = false;
    char buffer[24];
    out.append(buffer, std::to_chars(buffer, buffer + sizeof buffer, value).ptr);
  }
  out += ")\r\n";
}

}  // namespace

void AppendPoint(std::string_view x, std::string_view y, std::string& out) {
  if (feature::IsPlainDecimal(x) && feature::IsPlainDecimal(y)) {
    // One growth and two copies for the usual point.
    const size_t start = out.size();
    out.resize(start + x.size() + y.size() + 3);
    char* const at = out.data() + start;
    std::memcpy(at, x.data(), x.size());
    at[x.size()] = ' ';
    std::memcpy(at + x.size() + 1, y.data(), y.size());
    std::memcpy(at + x.size() + 1 + y.size(), "\r\n", 2);
    return;
  }
  AppendNumber(x, out);
  out += ' ';
  AppendNumber(y, out);
  out += "\r\n";
}

size_t CutLength(std::string_view text, size_t max, Charset charset) {
  if (text.size() <= max) return text.size();
  size_t at = 0;
  for (;;) {
    const size_t length = CharLength(static_cast<unsigned char>(text[at]), charset);
    if (at + length > max) return at;
    at += length;
  }
}

// Plain ones only: a Float column read back must give the text that was written.
bool IsDecimal(std::string_view value) { return feature::IsPlainDecimal(value); }

bool HasLeadingZero(std::string_view value) {
  const std::string_view digits = value.substr(!value.empty() && value[0] == '-' ? 1 : 0);
  return digits.size() > 1 && digits[0] == '0' && IsDigit(digits[1]);
}

bool IsInteger32(std::string_view value) {
  const bool negative = !value.empty() && value[0] == '-';
  const std::string_view digits = value.substr(negative ? 1 : 0);
  if (digits.empty() || digits.size() > 10) return false;
  uint64_t magnitude = 0;
  for (const char ch : digits) {
    if (!IsDigit(ch)) return false;
    magnitude = magnitude * 10 + static_cast<uint64_t>(ch - '0');
  }
  return magnitude <= (negative ? uint64_t{2147483648u} : uint64_t{2147483647u});
}

void NormalizeLineBreaks(std::string& text) {
  if (text.find('\r') == std::string::npos) return;
  size_t out = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      text[out++] = '\n';
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      text[out++] = text[i];
    }
  }
  text.resize(out);
}

void AppendQuoted(std::string_view value, std::string& out) {
  out += '"';
  for (size_t i = 0; i < value.size(); ++i) {
    const char ch = value[i];
    if (ch == '"') {
      out += "\"\"";
    } else if (ch == '\n' || ch == '\r') {
      out += "\\n";
      if (ch == '\r' && i + 1 < value.size() && value[i + 1] == '\n') ++i;
    } else {
      out += ch;
    }
  }
  out += '"';
}

std::string SanitizeName(std::string_view utf8, bool keep_letters) {
  std::string name;
  for (size_t at = 0; at < utf8.size();) {
    const size_t start = at;
    const uint32_t code = DecodeUtf8(utf8, &at);
    if (code < 0x80) {
      const char ch = static_cast<char>(code);
      name += IsAsciiLetter(ch) || IsDigit(ch) || ch == '_' ? ch : '_';
    } else if (keep_letters && IsLetterBeyondAscii(code)) {
      name += utf8.substr(start, at - start);
    } else {
      name += '_';
    }
  }
  return name;
}

std::string FinishName(std::string name, Charset charset) {
  for (size_t i = 0; i < name.size();) {
    const size_t length = CharLength(static_cast<unsigned char>(name[i]), charset);
    if (length == 1 && name[i] == '?') name[i] = '_';
    i += length;
  }
  if (name.empty()) return "Field";
  if (IsDigit(name[0])) name.insert(name.begin(), '_');
  name.resize(CutLength(name, kMaxNameBytes, charset));
  return name;
}

std::string UniqueName(const std::string& name, Charset charset,
                       std::unordered_set<std::string>& used) {
  std::string unique = name;
  for (unsigned number = 2; !used.insert(LowerAscii(unique, charset)).second; ++number) {
    char suffix[16] = {'_'};
    const size_t suffix_size =
        static_cast<size_t>(std::to_chars(suffix + 1, suffix + sizeof suffix, number).ptr - suffix);
    unique.assign(name, 0, CutLength(name, kMaxNameBytes - suffix_size, charset));
    unique.append(suffix, suffix_size);
  }
  return unique;
}

uint32_t MifColor(uint32_t kml_color) {
  const uint32_t red = kml_color & 0xFF;
  const uint32_t green = (kml_color >> 8) & 0xFF;
  const uint32_t blue = (kml_color >> 16) & 0xFF;
  return red * 65536 + green * 256 + blue;
}

void AppendPen(const feature::Style& style, bool region, std::string& out) {
  if ((region && style.poly_outline == false) ||
      (style.line_color && Alpha(*style.line_color) == 0)) {
    AppendClause("Pen", {1, 1, 0}, out);
  } else if (!style.line_color && !style.line_width) {
    AppendClause("Pen", {1, 2, 0}, out);
  } else {
    const int width = style.line_width ? Clamp(*style.line_width, 1, 7) : 1;
    const uint32_t color = style.line_color ? MifColor(*style.line_color) : 16777215;
    AppendClause("Pen", {static_cast<uint64_t>(width), 2, color}, out);
  }
}

void AppendBrush(const feature::Style& style, std::string& out) {
  if (!style.poly_color && !style.poly_fill && !style.poly_outline) {
    AppendClause("Brush", {2, 16777215, 16777215}, out);
  } else if (style.poly_fill == false || (style.poly_color && Alpha(*style.poly_color) == 0)) {
    AppendClause("Brush", {1, 0}, out);
  } else {
    AppendClause("Brush", {2, style.poly_color ? MifColor(*style.poly_color) : 16777215}, out);
  }
}

void AppendSymbol(const feature::Style& style, std::string& out) {
  const uint32_t color = style.icon_color ? MifColor(*style.icon_color) : 0;
  const int size = style.icon_scale ? Clamp(12 * *style.icon_scale, 1, 48) : 12;
  AppendClause("Symbol", {35, color, static_cast<uint64_t>(size)}, out);
}

void CheckObjectPoints(uint64_t points, const platform::CString& path) {
  if (points > kMaxObjectPoints) {
    throw platform::CFileException(platform::CFileException::tooManyPoints, path);
  }
}

}  // namespace mif::text
