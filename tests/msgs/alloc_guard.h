#ifndef MURV_TEST_ALLOC_GUARD_H
#define MURV_TEST_ALLOC_GUARD_H

#include <cstddef>

// While an AllocGuard lives, operator new on its thread refuses (std::bad_alloc)
// every single request above the limit and records the largest request it
// saw, so a test can show that an input never asked for a large block, with
// or without a sanitizer, and without the machine's memory at stake.
class AllocGuard {
public:
  explicit AllocGuard(std::size_t limit);
  ~AllocGuard();
  AllocGuard(const AllocGuard&) = delete;
  AllocGuard& operator=(const AllocGuard&) = delete;
  std::size_t largest() const;
  bool refused() const;
};

#endif
