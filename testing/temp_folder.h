// TempFolder: a folder of its own for one test, and the file verbs that tests use on it.
//
// The folder is made under the system's temporary folder (or a given one) with a name that no
// other process running at the same time uses (parallel tests, several builds), and it goes,
// with everything in it, when the object does; permissions a test took away are given back
// first. Failures to make or fill the folder throw std::filesystem::filesystem_error or
// std::runtime_error: a test that cannot set up stops there.
#pragma once

#include <filesystem>
#include <set>
#include <string>
#include <string_view>

namespace test_support {

class TempFolder {
 public:
  // A new empty folder named "kml2mif-<tag>-<unique>" in `parent`.
  explicit TempFolder(std::string_view tag,
                      const std::filesystem::path& parent = std::filesystem::temp_directory_path());
  // Removes the folder and what it holds; never throws.
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // The path of `name` in the folder, as the system writes it ((path() / name).string()).
  std::string PathOf(std::string_view name) const;

  // Writes `bytes` as the whole of file `name`; gives its path as PathOf does.
  std::string Write(std::string_view name, std::string_view bytes) const;
  // The bytes of file `name` ("" when there is none).
  std::string Read(std::string_view name) const;
  bool Exists(std::string_view name) const;
  // The names of what the folder holds.
  std::set<std::string> Names() const;
  // Removes what the folder holds; the folder stays.
  void Clear() const;

 private:
  std::filesystem::path path_;
};

// The bytes of the file at `path` ("" when it cannot be read), and the whole file written.
std::string ReadFileBytes(const std::filesystem::path& path);
void WriteFileBytes(const std::filesystem::path& path, std::string_view bytes);

}  // namespace test_support
