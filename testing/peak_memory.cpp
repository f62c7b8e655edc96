#include "testing/peak_memory.h"

#include <fstream>
#include <string>

#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define KML_TEST_SANITIZED 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define KML_TEST_SANITIZED 1
#endif

namespace test_support {
namespace {

// A field of /proc/self/status ("VmRSS:", "VmHWM:") in KiB, or -1.
long StatusKib([[maybe_unused]] const std::string& field) {
#if defined(__linux__) && !defined(KML_TEST_SANITIZED)
  std::ifstream status("/proc/self/status");
  std::string name;
  long kib = 0;
  while (status >> name) {
    if (name == field && status >> kib) return kib;
    status.ignore(1 << 12, '\n');
  }
#endif
  return -1;
}

}  // namespace

PeakMemory::PeakMemory() {
#if defined(__linux__)
  // "5" resets the peak resident size (VmHWM) to the present one.
  std::ofstream clear_refs("/proc/self/clear_refs");
  clear_refs << "5";
  clear_refs.close();
  if (!clear_refs) return;
#endif
  start_kib_ = StatusKib("VmRSS:");
}

long PeakMemory::GrowthKib() const {
  const long peak = StatusKib("VmHWM:");
  return start_kib_ < 0 || peak < 0 ? -1 : peak - start_kib_;
}

}  // namespace test_support
