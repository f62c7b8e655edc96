#include "tests/robustness/robustness_fixture.h"

#include <fstream>
#include <iterator>

#include "cli/console.h"
#include "cli/report.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace robustness {
namespace {

namespace fs = std::filesystem;

// Names are narrow strings in the system code page, as the program sees them.
#if defined(_WIN32)
fs::path Native(const std::string& name) {
  std::wstring wide(name.size(), L'\0');
  const int length = MultiByteToWideChar(CP_ACP, 0, name.data(), static_cast<int>(name.size()),
                                         wide.data(), static_cast<int>(wide.size()));
  wide.resize(static_cast<size_t>(length));
  return fs::path(wide);
}

std::string Narrow(const fs::path& path) {
  const std::wstring& wide = path.native();
  const int length = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()),
                                         nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), narrow.data(), length,
                      nullptr, nullptr);
  return narrow;
}
#else
fs::path Native(const std::string& name) { return fs::path(name); }
std::string Narrow(const fs::path& path) { return path.string(); }
#endif

class HookedConsole : public cli::Console {
 public:
  HookedConsole(BatchResult* result, const std::function<void(size_t)>& after_each)
      : result_(result), after_each_(after_each) {}
  // The batch reports each converted file on the standard output before it starts the next.
  void Out(std::string_view text) override {
    result_->out += text;
    if (after_each_) after_each_(converted_++);
  }
  void Err(std::string_view text) override { result_->err += text; }

 private:
  BatchResult* result_;
  const std::function<void(size_t)>& after_each_;
  size_t converted_ = 0;
};

}  // namespace

void RobustnessTest::SetUp() {
  temp_.emplace("robust");
  folder_ = temp_->path();
}

void RobustnessTest::TearDown() { temp_.reset(); }

std::string RobustnessTest::PathOf(const std::string& name) const {
  return Narrow(folder_) + static_cast<char>(fs::path::preferred_separator) + name;
}

void RobustnessTest::WriteFile(const std::string& name, const std::string& bytes) const {
  std::ofstream file(folder_ / Native(name), std::ios::binary | std::ios::trunc);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(file.good()) << name;
}

std::string RobustnessTest::ReadBytes(const std::string& name) const {
  std::ifstream file(folder_ / Native(name), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

bool RobustnessTest::Exists(const std::string& name) const {
  std::error_code error;
  return fs::exists(fs::symlink_status(folder_ / Native(name), error));
}

void RobustnessTest::Remove(const std::string& name) const {
  fs::remove_all(folder_ / Native(name));
}

void RobustnessTest::Clear() const { temp_->Clear(); }

void RobustnessTest::PrepareBatch(const std::string& kml) const {
  Clear();
  for (const char* stem : {"a", "b", "c"}) {
    WriteFile(std::string(stem) + ".kml", kml);
    WriteFile(std::string(stem) + ".mid", std::string("old mid of ") + stem);
    WriteFile(std::string(stem) + ".mif", std::string("old mif of ") + stem);
  }
}

std::set<std::string> RobustnessTest::Names() const {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder_)) {
    names.insert(Narrow(entry.path().filename()));
  }
  return names;
}

std::map<std::string, std::string> RobustnessTest::Snapshot() const {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::directory_iterator(folder_)) {
    const std::string name = Narrow(entry.path().filename());
    files[name] = entry.is_regular_file() ? ReadBytes(name) : "<not a file>";
  }
  return files;
}

BatchResult RobustnessTest::RunBatch(const std::vector<std::string>& names, bool keep_going,
                                     const std::function<void(size_t)>& after_each) const {
  BatchResult result;
  cli::Options options;
  options.keep_going = keep_going;
  options.first_line = !full_conversion_;
  options.system = system_;
  options.source = source_;
  for (const std::string& name : names) {
    options.files.emplace_back(name.empty() || name[0] != '/' ? PathOf(name) : name);
  }
  HookedConsole console(&result, after_each);
  result.exit_code = cli::RunBatch(options, console, cli::Language::kChinese);
  return result;
}

std::string RobustnessTest::ErrorLine(platform::CFileException::Cause cause,
                                      const std::string& name) const {
  const platform::CFileException error(cause, platform::CString(PathOf(name)));
  // As the batch prints it: on Windows its texts are turned from the literals' code page into
  // UTF-8.
  return "kml2mif: " +
         cli::FileErrorMessage(error, cli::Language::kChinese, cli::PlatformLiteralConverter()) +
         "\n";
}

std::string RobustnessTest::NamedInError(const std::string& err,
                                         platform::CFileException::Cause cause,
                                         const std::vector<std::string>& names) const {
  for (const std::string& name : names) {
    if (err == ErrorLine(cause, name)) return name;
  }
  return "";
}

}  // namespace robustness
