#include <array>
#include <cctype>
#include <string_view>

#include "mif/mif_writer.h"
#include "platform/cstring.h"

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

}  // namespace

bool ParseCharset(std::string_view name, Charset* charset) {
  for (const CharsetEntry& entry : kCharsets) {
    if (platform::EqualsIgnoringAsciiCase(name, entry.name)) {
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
