// The program's arguments as the batch takes them. Off Windows they are argv as it is; on
// Windows they are read as UTF-16 from the system, turned into UTF-8 (the narrow strings of
// kml2mif, see platform::UseUtf8Strings) and wildcards such as *.kml are expanded, as no shell
// does it there.
#pragma once

#include <string>
#include <vector>

namespace cli {

class ProgramArguments {
 public:
  // On Windows also makes UTF-8 the code page of every narrow string of the process; so it
  // must be made before any path is.
  ProgramArguments(int argc, char** argv);
  int argc() const { return static_cast<int>(pointers_.size()); }
  const char* const* argv() const { return pointers_.data(); }

 private:
  std::vector<std::string> arguments_;
  std::vector<const char*> pointers_;
};

}  // namespace cli
