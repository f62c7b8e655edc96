#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "platform/spill_file_os.h"

namespace platform::os {

long CreateSpillFile(Handle* handle) {
  const char* folder = std::getenv("TMPDIR");
  std::string path = folder != nullptr && *folder != '\0' ? folder : "/tmp";
  if (path.back() != '/') path += '/';
  path += "kml2mif-spill-XXXXXX";
  const int fd = ::mkostemp(path.data(), O_CLOEXEC);
  if (fd < 0) return errno;
  // Unlinked at once: no one else can open it, and the system frees it even if we die.
  ::unlink(path.c_str());
  *handle = fd;
  return 0;
}

}  // namespace platform::os
