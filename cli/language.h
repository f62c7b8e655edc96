// The language of kml2mif's messages.
#pragma once

#include <string_view>

namespace cli {

enum class Language { kEnglish, kChinese };

// `english` or `chinese`, as `language` asks.
inline std::string_view Pick(Language language, std::string_view english,
                             std::string_view chinese) {
  return language == Language::kChinese ? chinese : english;
}

}  // namespace cli
