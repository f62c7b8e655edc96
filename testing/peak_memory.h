// PeakMemory: the one measure of memory for the tests that read or convert huge inputs in
// bounded memory: how far the test process's peak resident size rose while the work ran.
#pragma once

namespace test_support {

class PeakMemory {
 public:
  // Starts a measurement: forgets the peak so far where the system lets it.
  PeakMemory();
  // How far the peak resident size rose above the size at the start, in KiB; -1 where that
  // cannot be measured (not Linux, or a sanitizer's allocator, whose memory is not ours).
  long GrowthKib() const;

 private:
  long start_kib_ = -1;
};

}  // namespace test_support
