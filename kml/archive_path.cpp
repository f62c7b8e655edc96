#include "kml/archive_path.h"

#include <vector>

namespace kml {
namespace {

bool IsAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A scheme is a letter, then letters, digits, '+', '-' or '.', then ':'. A drive letter ("C:")
// reads as one too, and is as far out of the archive.
bool HasScheme(std::string_view reference) {
  if (reference.empty() || !IsAlpha(reference.front())) return false;
  for (const char c : reference) {
    if (c == ':') return true;
    if (!IsAlpha(c) && !(c >= '0' && c <= '9') && c != '+' && c != '-' && c != '.') return false;
  }
  return false;
}

// A '%' without two hexadecimal digits after it stands for itself, as lenient readers take it.
std::string PercentDecoded(std::string_view text) {
  std::string decoded;
  decoded.reserve(text.size());
  for (size_t at = 0; at < text.size(); ++at) {
    if (text[at] == '%' && text.size() - at > 2 && HexValue(text[at + 1]) >= 0 &&
        HexValue(text[at + 2]) >= 0) {
      decoded += static_cast<char>(HexValue(text[at + 1]) * 16 + HexValue(text[at + 2]));
      at += 2;
    } else {
      decoded += text[at];
    }
  }
  return decoded;
}

// Adds the segments of `path` to `segments`, "." and empty ones dropped and ".." taking the
// last away; false when ".." goes above the root.
bool AddSegments(std::string_view path, std::vector<std::string_view>& segments) {
  for (;;) {
    const size_t slash = path.find('/');
    const std::string_view segment = path.substr(0, slash);
    if (segment == "..") {
      if (segments.empty()) return false;
      segments.pop_back();
    } else if (!segment.empty() && segment != ".") {
      segments.push_back(segment);
    }
    if (slash == std::string_view::npos) return true;
    path.remove_prefix(slash + 1);
  }
}

}  // namespace

std::optional<std::string> ResolveEntry(std::string_view base, std::string_view reference) {
  reference = reference.substr(0, reference.find_first_of("?#"));
  if (reference.empty() || HasScheme(reference) || reference.front() == '/' ||
      reference.front() == '\\') {
    return std::nullopt;
  }
  const std::string path = PercentDecoded(reference);
  const size_t last_slash = path.rfind('/');
  const std::string_view name = std::string_view(path).substr(last_slash + 1);
  if (name.empty() || name == "." || name == "..") return std::nullopt;

  std::vector<std::string_view> segments;
  const size_t folder_end = base.rfind('/');
  if (folder_end != std::string_view::npos) AddSegments(base.substr(0, folder_end), segments);
  if (!AddSegments(path, segments)) return std::nullopt;
  std::string entry;
  for (const std::string_view segment : segments) {
    if (!entry.empty()) entry += '/';
    entry += segment;
  }
  return entry;
}

}  // namespace kml
