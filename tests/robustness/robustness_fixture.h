// What the robustness tests share: a private folder per test, helper verbs to write, read and
// list its files by names in the system code page, and a batch run of kml2mif's batch function
// that reports what it printed.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "cli/batch.h"
#include "crs/system.h"
#include "crs/transformer.h"
#include "platform/cstring.h"
#include "platform/file_exception.h"
#include "testing/temp_folder.h"

namespace robustness {

// A KML file as map programs write it, and what kml2mif makes of it.
inline constexpr char kKml[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<kml>\n<Placemark>\n<LineString>\n"
    "<coordinates>\n\t\t116.391,39.907,0 116.392,39.908,0 \n</coordinates>\n"
    "</LineString>\n</Placemark>\n</kml>\n";
inline constexpr char kMif[] =
    "VERSION 300\r\nDELIMITER \",\"\r\nCOLUMNS 1\r\nblank char(1)\r\nDATA\r\nPLINE 2\r\n"
    "\t\t116.391 39.907\r\n116.392 39.908\r\n";
inline constexpr char kMid[] = "\r\n\r\n";

struct BatchResult {
  int exit_code = -1;
  std::string out;  // one line per converted file
  std::string err;  // warnings and errors
};

class RobustnessTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

 public:  // also for the lambdas of table rows
  // The full path of `name` in the folder, as the program is given it.
  std::string PathOf(const std::string& name) const;
  void WriteFile(const std::string& name, const std::string& bytes) const;
  std::string ReadBytes(const std::string& name) const;
  bool Exists(const std::string& name) const;
  void Remove(const std::string& name) const;
  // Empties the folder (it stays).
  void Clear() const;
  // Empties the folder and puts three inputs a, b and c with `kml` in it, each with old
  // outputs ("old mid of a", ...) that must survive a failure.
  void PrepareBatch(const std::string& kml) const;
  // The names in the folder, and every file's bytes.
  std::set<std::string> Names() const;
  std::map<std::string, std::string> Snapshot() const;

  // Runs the batch of kml2mif over `names` (in the folder; a name starting with '/' is used as
  // it stands). `after_each` runs after each file that was converted, with its index.
  BatchResult RunBatch(const std::vector<std::string>& names, bool keep_going = false,
                       const std::function<void(size_t)>& after_each = nullptr) const;

  // The line kml2mif prints for a file error of `cause` naming the file `name`.
  std::string ErrorLine(platform::CFileException::Cause cause, const std::string& name) const;

  // When `err` is exactly the error line of `cause` for one of `names`, gives that name;
  // otherwise "".
  std::string NamedInError(const std::string& err, platform::CFileException::Cause cause,
                           const std::vector<std::string>& names) const;

  std::optional<test_support::TempFolder> temp_;
  std::filesystem::path folder_;  // temp_'s
  // RunBatch runs the full conversion instead of the first-line one, into this system, from
  // coordinates of this source.
  bool full_conversion_ = false;
  crs::System system_;
  crs::Source source_ = crs::Source::kWgs84;
};

}  // namespace robustness
