#include "TeardownProgress.h"

#include <atomic>
#include <cstdint>

namespace MURV {

namespace {

// The latest progress, in ticks of the steady clock; never moves back.
std::atomic<std::int64_t> latest{0};
static_assert(std::atomic<std::int64_t>::is_always_lock_free, "progress may be said from any thread at any time");

}  // namespace

void teardownProgressed() noexcept {
  const std::int64_t now = std::chrono::steady_clock::now().time_since_epoch().count();
  std::int64_t seen = latest.load();
  while (seen < now && !latest.compare_exchange_weak(seen, now)) {
  }
}

std::chrono::steady_clock::time_point lastTeardownProgress() noexcept {
  return std::chrono::steady_clock::time_point(std::chrono::steady_clock::duration(latest.load()));
}

}  // namespace MURV
