// How many processors this process may run on: whether work is worth splitting across threads.
#pragma once

namespace platform {

// The processors the system lets this process run on (its affinity mask, so that a program
// started with `taskset -c 0` or limited by its job sees one), at least 1.
unsigned UsableProcessors();

}  // namespace platform
