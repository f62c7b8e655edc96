// The texts of kml2mif: the line per converted file, warnings and file errors, in English or
// Chinese. Texts are UTF-8 around the paths, which are kept as the program holds them; the
// console turns them into what the terminal shows.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "cli/language.h"
#include "convert/first_line.h"
#include "convert/full.h"
#include "platform/cstring.h"
#include "platform/file_exception.h"

namespace cli {

// A path as the reports quote it: "a.kml" in English, “a.kml” in Chinese.
std::string Quoted(const platform::CString& path, Language language);

// The line for a file the full conversion has converted: its outputs, the objects of each kind
// written and what was skipped or changed, only the counts that are not zero. Ends in "\n".
std::string FormatFullSummary(const convert::FullSummary& summary, const platform::CString& input,
                              Language language);

// Warnings for such a file (each a sentence without the program's name or a line end): a
// document that is not KML, or one without placemarks, gives an empty table.
std::vector<std::string> FullWarnings(const convert::FullSummary& summary,
                                      const platform::CString& input, Language language);

// The line for a file the first-line conversion has converted. Ends in "\n".
std::string FormatFirstLineSummary(const convert::FirstLineSummary& summary,
                                   const platform::CString& input, Language language);

// Warnings for such a file: no coordinate list, or a point text that no MIF reader can take
// (no point although a coordinate list was found, lines that are not pairs of numbers), which
// the full conversion would have read.
std::vector<std::string> FirstLineWarnings(const convert::FirstLineSummary& summary,
                                           const platform::CString& input, Language language);

// The file error as one sentence in `language`. `convert_literal` turns the Chinese texts of
// the platform layer into UTF-8 (null where they are UTF-8 already).
std::string FileErrorMessage(const platform::CFileException& error, Language language,
                             std::string (*convert_literal)(std::string_view));

}  // namespace cli
