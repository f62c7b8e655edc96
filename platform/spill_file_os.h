// The one system call of CSpillFile that differs between platforms (spill_file_posix.cpp,
// spill_file_win32.cpp): making its temporary file. Internal to the platform layer.
#pragma once

#include "platform/stdio_file_os.h"

namespace platform::os {

// Creates a temporary file for reading and writing that no other program can find by name and
// that the system removes once it is closed. Gives 0 and `*handle`, or the platform's error.
long CreateSpillFile(Handle* handle);

}  // namespace platform::os
