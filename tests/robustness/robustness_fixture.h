// What the robustness tests share: a private folder per test, helper verbs to write, read and
// list its files by names in the system code page, and a batch run of kml2mif's batch function
// that reports what it printed. ConversionTest runs a suite for both conversions, on the inputs
// that each reads its own way (Subjects()).
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <string_view>
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

// What a parameterised suite converts: one of the two conversions and an input of it.
struct Subject {
  const char* name;       // a part of the test's name
  bool full;              // the full conversion; else --first-line
  const char* extension;  // of the input files
  std::string document;   // KML in UTF-8
  // The file's bytes for a KML document in UTF-8: the document itself, or made into the
  // subject's kind of file (a KMZ, another encoding).
  std::string (*file_of)(const std::string& document);
  // Into an automatic Gauss-Krüger zone from GCJ-02 coordinates, which reads the document twice.
  bool projected = false;
};

// The first-line conversion on a short and a long coordinate line; the full conversion on a
// document with styles, a StyleMap, folders, MultiGeometry and ExtendedData, as KML in UTF-8,
// as a KMZ and in GBK, and on a long line.
const std::vector<Subject>& Subjects();
// A subject by its name in test output.
void PrintTo(const Subject& subject, std::ostream* out);
// Those whose input is small (the long lines left out).
std::vector<Subject> SmallSubjects();
// Those of the given names.
std::vector<Subject> SubjectsNamed(std::initializer_list<std::string_view> names);
std::string SubjectName(const ::testing::TestParamInfo<Subject>& info);

// A document whose coordinate line of about `size` bytes gives outputs about as large, for
// either conversion.
std::string KmlOfSize(size_t size);

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
  // The names in the folder, and every file's bytes (those of its folders too, by their paths
  // in it).
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
  // RunBatch runs the full conversion instead of the first-line one.
  bool full_conversion_ = false;
  // RunBatch's output folder (-o), a name in the folder; empty: none.
  std::string output_folder_;
  // The full conversion writes into this system, from coordinates of this source.
  crs::System system_;
  crs::Source source_ = crs::Source::kWgs84;
};

class ConversionTest : public RobustnessTest, public ::testing::WithParamInterface<Subject> {
 protected:
  void SetUp() override;

 public:
  // The input file `stem` with the subject's extension ("b" gives "b.kmz").
  std::string Input(const std::string& stem) const;
  // The subject's input file.
  const std::string& InputBytes() const { return input_bytes_; }
  // Empties the folder and puts three inputs a, b and c of `bytes` in it, each with old
  // outputs ("old mid of a", ...) that must survive a failure.
  void PrepareBatch(const std::string& bytes) const;
  void PrepareBatch() const { PrepareBatch(InputBytes()); }
  // The names of that batch's inputs.
  std::vector<std::string> Batch() const { return {Input("a"), Input("b"), Input("c")}; }
  // The outputs of a clean conversion of `bytes`, by extension ("mif", "mid").
  std::map<std::string, std::string> ConvertedOutputs(const std::string& bytes);

 private:
  std::string input_bytes_;
};

}  // namespace robustness
