#include "platform/fault_injection.h"

#include <mutex>

namespace platform::fault {
namespace internal {
std::atomic<bool> g_armed{false};
}  // namespace internal

namespace {

struct Armed {
  bool active = false;
  int calls_left = 0;  // successful calls before the first failure
  int failures = 0;    // failures still to give; negative: no end
  long os_error = 0;
};

std::mutex g_mutex;
Armed g_table[static_cast<int>(Operation::kCount)];

void UpdateArmedFlag() {
  bool any = false;
  for (const Armed& armed : g_table) any = any || armed.active;
  internal::g_armed.store(any, std::memory_order_relaxed);
}

}  // namespace

void Arm(Operation op, int after_n_calls, long os_error, int failures) {
  std::lock_guard<std::mutex> lock(g_mutex);
  Armed& armed = g_table[static_cast<int>(op)];
  armed.active = failures != 0;
  armed.calls_left = after_n_calls;
  armed.failures = failures;
  armed.os_error = os_error;
  UpdateArmedFlag();
}

void DisarmAll() {
  std::lock_guard<std::mutex> lock(g_mutex);
  for (Armed& armed : g_table) armed = Armed();
  UpdateArmedFlag();
}

long internal::CheckArmed(Operation op) {
  std::lock_guard<std::mutex> lock(g_mutex);
  Armed& armed = g_table[static_cast<int>(op)];
  if (!armed.active) return 0;
  if (armed.calls_left > 0) {
    --armed.calls_left;
    return 0;
  }
  const long os_error = armed.os_error;
  if (armed.failures > 0 && --armed.failures == 0) {
    armed.active = false;
    UpdateArmedFlag();
  }
  return os_error;
}

}  // namespace platform::fault
