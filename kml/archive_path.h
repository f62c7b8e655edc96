// ResolveEntry: where a reference in a document of an archive (a KMZ) leads within the archive.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kml {

// The path of the entry that `reference` (a NetworkLink's href, the document part of a
// styleUrl) names when it is written in the entry `base`: resolved against base's folder, "."
// and ".." taken, percent-encoding decoded, a "?query" or "#fragment" dropped. Nothing for a
// reference that leads out of the archive or to no document: with a scheme ("http:", "file:",
// "C:"), absolute ("/x", "\x"), above the archive's root, naming a folder, or empty.
std::optional<std::string> ResolveEntry(std::string_view base, std::string_view reference);

}  // namespace kml
