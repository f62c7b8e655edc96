#include "fuzz/fuzz_support.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>

namespace fuzz {
namespace {

std::string Escape(std::string_view bytes) {
  std::string out;
  const size_t shown = std::min<size_t>(bytes.size(), 2000);
  for (size_t i = 0; i < shown; ++i) {
    const auto byte = static_cast<unsigned char>(bytes[i]);
    if (byte >= 0x20 && byte < 0x7F && byte != '\\') {
      out += static_cast<char>(byte);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", byte);
      out += hex;
    }
  }
  if (shown < bytes.size()) out += "... (" + std::to_string(bytes.size()) + " bytes)";
  return out;
}

bool InRange(unsigned char byte, unsigned char first, unsigned char last) {
  return byte >= first && byte <= last;
}

size_t Utf8Length(const unsigned char* text, size_t available) {
  const unsigned char lead = text[0];
  size_t length = 0;
  unsigned char second_first = 0x80, second_last = 0xBF;
  if (InRange(lead, 0xC2, 0xDF)) {
    length = 2;
  } else if (InRange(lead, 0xE0, 0xEF)) {
    length = 3;
    if (lead == 0xE0) second_first = 0xA0;
    if (lead == 0xED) second_last = 0x9F;
  } else if (InRange(lead, 0xF0, 0xF4)) {
    length = 4;
    if (lead == 0xF0) second_first = 0x90;
    if (lead == 0xF4) second_last = 0x8F;
  } else {
    return 1;
  }
  if (available < length) return 1;
  if (!InRange(text[1], second_first, second_last)) return 1;
  for (size_t i = 2; i < length; ++i) {
    if (!InRange(text[i], 0x80, 0xBF)) return 1;
  }
  return length;
}

size_t GbkLength(const unsigned char* text, size_t available) {
  if (available >= 2 && InRange(text[0], 0x81, 0xFE) &&
      (InRange(text[1], 0x40, 0x7E) || InRange(text[1], 0x80, 0xFE))) {
    return 2;
  }
  return 1;
}

bool IsBoundary(const std::vector<size_t>& boundaries, size_t offset) {
  return std::binary_search(boundaries.begin(), boundaries.end(), offset);
}

}  // namespace

void Fail(const char* what, std::string_view expected, std::string_view actual) {
  std::fprintf(stderr, "MISMATCH: %s\n  expected: %s\n  actual:   %s\n", what,
               Escape(expected).c_str(), Escape(actual).c_str());
  std::fflush(stderr);
  std::abort();
}

void CheckEqual(const char* what, long long expected, long long actual) {
  if (expected != actual) Fail(what, std::to_string(expected), std::to_string(actual));
}

void Check(const char* what, bool condition) {
  if (!condition) Fail(what, "true", "false");
}

uint8_t Input::Byte() {
  if (rest_.empty()) return 0;
  const auto byte = static_cast<uint8_t>(rest_.front());
  rest_.remove_prefix(1);
  return byte;
}

std::string_view Input::Bytes(size_t count) {
  const std::string_view taken = rest_.substr(0, count);
  rest_.remove_prefix(taken.size());
  return taken;
}

std::string InflatedContent(Input& input) {
  // The text reader reads 1 MiB at a time, and reads on while less than half of that is left.
  // Most inputs stay small, as they run thirty times faster. No filler is a line feed: a
  // million empty lines cost seconds to compare and find nothing new.
  static constexpr size_t kHalfBuffer = size_t{1} << 19;
  static constexpr size_t kBuffer = size_t{1} << 20;
  static constexpr char kFillers[] = {'x', ' ', '\t', ',', '0',    '1',   '\r',
                                      '<', 'c', 'e',  '>', '\xB0', '\xE4'};
  const uint8_t shape = input.Byte();
  const uint8_t filler = input.Byte();
  const uint8_t at = input.Byte();
  std::string content(input.Rest());
  size_t run = 0;
  switch (shape & 31) {
    case 29:
      run = kHalfBuffer;
      break;
    case 30:
      run = kBuffer;
      break;
    case 31:
      run = kBuffer + kHalfBuffer;
      break;
    default:
      return content;
  }
  run -= shape >> 5;  // 0 to 7 bytes short
  const size_t position = std::min<size_t>(at, content.size());
  content.insert(position, run, kFillers[filler % sizeof kFillers]);
  return content;
}

std::vector<ReferenceLine> ReferenceReadLines(std::string_view content) {
  const size_t end_of_input = content.find('\x1A');
  if (end_of_input != std::string_view::npos) content = content.substr(0, end_of_input);
  std::vector<ReferenceLine> lines;
  size_t start = 0;
  while (start < content.size()) {
    ReferenceLine line;
    line.start = start;
    const size_t line_feed = content.find('\n', start);
    if (line_feed == std::string_view::npos) {
      line.text = content.substr(start);
      start = content.size();
    } else {
      line.text = content.substr(start, line_feed - start);
      if (!line.text.empty() && line.text.back() == '\r') line.text.pop_back();
      line.ended = true;
      start = line_feed + 1;
    }
    lines.push_back(std::move(line));
  }
  return lines;
}

std::vector<size_t> CharacterBoundaries(std::string_view text, Encoding encoding) {
  std::vector<size_t> boundaries;
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  size_t offset = 0;
  while (offset < text.size()) {
    boundaries.push_back(offset);
    const size_t available = text.size() - offset;
    offset += encoding == Encoding::kGbk ? GbkLength(bytes + offset, available)
                                         : Utf8Length(bytes + offset, available);
  }
  boundaries.push_back(text.size());
  return boundaries;
}

std::vector<std::string_view> SplitCharacters(std::string_view text, Encoding encoding) {
  const std::vector<size_t> boundaries = CharacterBoundaries(text, encoding);
  std::vector<std::string_view> characters;
  for (size_t i = 0; i + 1 < boundaries.size(); ++i) {
    characters.push_back(text.substr(boundaries[i], boundaries[i + 1] - boundaries[i]));
  }
  return characters;
}

ptrdiff_t ReferenceFind(std::string_view text, std::string_view sub, size_t start,
                        Encoding encoding) {
  if (start > text.size()) return -1;
  if (sub.empty()) return static_cast<ptrdiff_t>(start);
  const std::vector<size_t> boundaries = CharacterBoundaries(text, encoding);
  for (const size_t offset : boundaries) {
    if (offset < start || offset + sub.size() > text.size()) continue;
    if (text.substr(offset, sub.size()) == sub && IsBoundary(boundaries, offset + sub.size())) {
      return static_cast<ptrdiff_t>(offset);
    }
  }
  return -1;
}

size_t ReferenceReplace(std::string& text, std::string_view old_text, std::string_view new_text,
                        Encoding encoding) {
  if (old_text.empty()) return 0;
  const std::vector<size_t> boundaries = CharacterBoundaries(text, encoding);
  std::string result;
  size_t count = 0;
  size_t next = 0;  // index into boundaries
  while (next + 1 < boundaries.size()) {
    const size_t offset = boundaries[next];
    const size_t match_end = offset + old_text.size();
    if (match_end <= text.size() &&
        std::string_view(text).substr(offset, old_text.size()) == old_text &&
        IsBoundary(boundaries, match_end)) {
      result += new_text;
      ++count;
      while (boundaries[next] < match_end) ++next;
    } else {
      result.append(text, offset, boundaries[next + 1] - offset);
      ++next;
    }
  }
  text = std::move(result);
  return count;
}

namespace {

std::set<std::string_view> CharacterSet(std::string_view targets, Encoding encoding) {
  const std::vector<std::string_view> characters = SplitCharacters(targets, encoding);
  return {characters.begin(), characters.end()};
}

}  // namespace

std::string ReferenceTrimRight(std::string_view text, std::string_view targets, Encoding encoding) {
  const std::set<std::string_view> set = CharacterSet(targets, encoding);
  std::vector<std::string_view> characters = SplitCharacters(text, encoding);
  while (!characters.empty() && set.count(characters.back()) != 0) characters.pop_back();
  std::string result;
  for (const std::string_view character : characters) result += character;
  return result;
}

std::string ReferenceTrimLeft(std::string_view text, std::string_view targets, Encoding encoding) {
  const std::set<std::string_view> set = CharacterSet(targets, encoding);
  const std::vector<std::string_view> characters = SplitCharacters(text, encoding);
  size_t first = 0;
  while (first < characters.size() && set.count(characters[first]) != 0) ++first;
  std::string result;
  for (size_t i = first; i < characters.size(); ++i) result += characters[i];
  return result;
}

namespace {

std::filesystem::path ScratchParent() {
  std::error_code error;
  std::filesystem::path folder = std::filesystem::temp_directory_path(error);
  return error ? std::filesystem::path(".") : folder;
}

}  // namespace

ScratchFile::ScratchFile(const char* tag)
    : folder_(std::string("fuzz-") + tag, ScratchParent()), path_(folder_.PathOf("scratch.kml")) {}

void ScratchFile::Write(std::string_view bytes) {
  test_support::WriteFileBytes(folder_.path() / "scratch.kml", bytes);
}

}  // namespace fuzz
