// Where the folder part of a path ends, as the programs hold paths: narrow strings with "\\",
// "/" or a drive's ":" between folder and name on Windows, "/" elsewhere. The one place that
// knows the separators of both systems.
#pragma once

#include <string_view>

namespace platform {

#if defined(_WIN32)
inline constexpr std::string_view kFolderEnds = "\\/:";
#else
inline constexpr std::string_view kFolderEnds = "/";
#endif

inline bool IsFolderEnd(char byte) { return kFolderEnds.find(byte) != std::string_view::npos; }

// A path cut after its last folder end: `folder` keeps that end ("" for a bare name), `name` is
// the rest. Looks at bytes, not characters: kml2mif holds its paths in UTF-8, where these bytes
// are never part of a longer character.
struct PathParts {
  std::string_view folder;
  std::string_view name;
};
inline PathParts SplitPath(std::string_view path) {
  const size_t end = path.find_last_of(kFolderEnds);
  if (end == std::string_view::npos) return {{}, path};
  return {path.substr(0, end + 1), path.substr(end + 1)};
}

}  // namespace platform
