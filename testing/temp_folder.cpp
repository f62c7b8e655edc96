#include "testing/temp_folder.h"

#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <system_error>

namespace test_support {

namespace fs = std::filesystem;

TempFolder::TempFolder(std::string_view tag, const fs::path& parent) {
  // Random, so that test programs running at the same time (parallel tests, several builds)
  // never meet.
  std::random_device random;
  for (int attempt = 0;; ++attempt) {
    const unsigned long long unique = (static_cast<unsigned long long>(random()) << 32) ^ random();
    path_ = parent / ("kml2mif-" + std::string(tag) + "-" + std::to_string(unique));
    if (fs::create_directories(path_)) return;
    if (attempt == 100) throw std::runtime_error("cannot make a folder in " + parent.string());
  }
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
  // Step by step with error codes: the iterator's ++ would throw, and a destructor must not.
  std::error_code error;
  for (fs::recursive_directory_iterator it(path_, error), end; !error && it != end;
       it.increment(error)) {
    if (it->is_directory(ignored)) {
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    }
  }
  fs::remove_all(path_, ignored);
}

std::string TempFolder::PathOf(std::string_view name) const { return (path_ / name).string(); }

std::string TempFolder::Write(std::string_view name, std::string_view bytes) const {
  WriteFileBytes(path_ / name, bytes);
  return PathOf(name);
}

std::string TempFolder::Read(std::string_view name) const { return ReadFileBytes(path_ / name); }

bool TempFolder::Exists(std::string_view name) const {
  std::error_code ignored;
  return fs::exists(path_ / name, ignored);
}

std::set<std::string> TempFolder::Names() const {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(path_)) {
    names.insert(entry.path().filename().string());
  }
  return names;
}

void TempFolder::Clear() const {
  for (const auto& entry : fs::directory_iterator(path_)) fs::remove_all(entry.path());
}

std::string ReadFileBytes(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const fs::path& path, std::string_view bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  file.close();
  if (!file) throw std::runtime_error("cannot write " + path.string());
}

}  // namespace test_support
