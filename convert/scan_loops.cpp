#include "convert/scan_loops.h"

#include <cstdlib>
#include <optional>
#include <utility>

namespace convert {

namespace {

// Whether the loops are built in and this processor has every instruction that they use.
bool Runs(ScanLoops loops) {
  switch (loops) {
    case ScanLoops::kPortable:
      return true;
    case ScanLoops::kSse2:
#if defined(__SSE2__)
      return true;
#else
      return false;
#endif
    case ScanLoops::kAvx512:
#if KML_WIDE_LOOPS
      __builtin_cpu_init();
      return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
             __builtin_cpu_supports("avx512vbmi2") && __builtin_cpu_supports("popcnt");
#else
      return false;
#endif
    case ScanLoops::kFastest:
      break;
  }
  return false;
}

}  // namespace

ScanLoops ResolveScanLoops(ScanLoops loops) {
  // Looked up once: the choice holds for the whole run and costs nothing per scan.
  static const ScanLoops fastest = [] {
    if (const char* name = std::getenv(kScanLoopsVariable)) {
      if (const std::optional<ScanLoops> chosen = ScanLoopsNamed(name)) return *chosen;
    }
    return AvailableScanLoops().back();
  }();
  return loops == ScanLoops::kFastest ? fastest : loops;
}

std::optional<ScanLoops> ScanLoopsNamed(std::string_view name) {
  constexpr std::pair<std::string_view, ScanLoops> kNames[] = {
      {"portable", ScanLoops::kPortable},
      {"sse2", ScanLoops::kSse2},
      {"avx512", ScanLoops::kAvx512},
  };
  for (const auto& [each_name, loops] : kNames) {
    if (name == each_name && Runs(loops)) return loops;
  }
  return std::nullopt;
}

std::vector<ScanLoops> AvailableScanLoops() {
  std::vector<ScanLoops> loops;
  for (const ScanLoops each : {ScanLoops::kPortable, ScanLoops::kSse2, ScanLoops::kAvx512}) {
    if (Runs(each)) loops.push_back(each);
  }
  return loops;
}

}  // namespace convert
