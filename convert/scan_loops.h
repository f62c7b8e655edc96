// The loops that look at every byte of a coordinate line, and which of them this run uses:
// portable code, SSE2, or AVX-512 where the processor has it (chosen once, at run time). The
// scanner and the rewriter each carry a variant of their loop per kind; every variant gives
// the same result, which the tests check for each one that the processor runs.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

// The AVX-512 loops are built for x86-64 with GCC or Clang, and chosen at run time.
#if defined(__x86_64__) && defined(__GNUC__)
#define KML_WIDE_LOOPS 1
#define KML_TARGET(features) __attribute__((target(features)))
#else
#define KML_WIDE_LOOPS 0
#endif

namespace convert {

// The loops that look at every byte of the line, by the instructions they use. kFastest is the
// fastest that this processor runs (or those that kScanLoopsVariable names); the others are
// there so that tests can check each one.
enum class ScanLoops { kFastest, kPortable, kSse2, kAvx512 };

// The loops built into this program that this processor runs, kPortable first, the fastest last.
std::vector<ScanLoops> AvailableScanLoops();

// The environment variable that sets what kFastest stands for in this run, by a name that
// ScanLoopsNamed knows, so that the loops can be timed against each other in the program
// itself. It is read once, at the first scan; unset, or naming loops that this processor
// does not run, it leaves the fastest.
inline constexpr char kScanLoopsVariable[] = "KML2MIF_SCAN_LOOPS";

// The loops called `name` ("portable", "sse2", "avx512"), or nothing when the name is
// unknown or names loops not in AvailableScanLoops().
std::optional<ScanLoops> ScanLoopsNamed(std::string_view name);

// What `loops` stands for in this run: itself, or for kFastest the loops chosen once for the
// whole run (see kScanLoopsVariable).
ScanLoops ResolveScanLoops(ScanLoops loops);

}  // namespace convert
