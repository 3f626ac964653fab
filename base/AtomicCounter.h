#ifndef MURV_ATOMIC_COUNTER_H
#define MURV_ATOMIC_COUNTER_H

#include <atomic>

namespace MURV {

// Reference count shared between threads. dec() answers whether references
// remain, so exactly one caller sees it reach zero.
class AtomicCounter {
public:
  explicit AtomicCounter(int initial = 1) : count(initial) {}
  AtomicCounter(const AtomicCounter&) = delete;
  AtomicCounter& operator=(const AtomicCounter&) = delete;

  void inc() { count.fetch_add(1, std::memory_order_relaxed); }
  bool dec() { return count.fetch_sub(1, std::memory_order_acq_rel) != 1; }
  int unsafeValue() const { return count.load(std::memory_order_acquire); }

private:
  std::atomic<int> count;
};

}  // namespace MURV

#endif
