#include <array>
#include <cctype>
#include <string_view>

#include "mif/mif_writer.h"

namespace mif {
namespace {

struct CharsetEntry {
  Charset charset;
  std::string_view name;
};

constexpr std::array<CharsetEntry, 4> kCharsets = {{
    {Charset::kWindowsSimpChinese, "WindowsSimpChinese"},
    {Charset::kUtf8, "UTF-8"},
    {Charset::kWindowsLatin1, "WindowsLatin1"},
    {Charset::kNeutral, "Neutral"},
}};

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

}  // namespace

bool ParseCharset(std::string_view name, Charset* charset) {
  for (const CharsetEntry& entry : kCharsets) {
    if (EqualIgnoringCase(name, entry.name)) {
      *charset = entry.charset;
      return true;
    }
  }
  return false;
}

std::string_view CharsetName(Charset charset) {
  for (const CharsetEntry& entry : kCharsets) {
    if (entry.charset == charset) return entry.name;
  }
  return {};
}

}  // namespace mif
