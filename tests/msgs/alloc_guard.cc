#include "alloc_guard.h"

#include <cstdlib>
#include <new>

namespace {
struct GuardState {
  bool active = false;
  std::size_t limit = 0;
  std::size_t largest = 0;
  bool refused = false;
};
thread_local GuardState guard;

void* allocate(std::size_t n) {
  if (guard.active) {
    if (n > guard.largest) guard.largest = n;
    if (n > guard.limit) {
      guard.refused = true;
      throw std::bad_alloc();
    }
  }
  void* p = std::malloc(n ? n : 1);
  if (!p) throw std::bad_alloc();
  return p;
}
}  // namespace

AllocGuard::AllocGuard(std::size_t limit) { guard = GuardState{true, limit, 0, false}; }
AllocGuard::~AllocGuard() { guard.active = false; }
std::size_t AllocGuard::largest() const { return guard.largest; }
bool AllocGuard::refused() const { return guard.refused; }

void* operator new(std::size_t n) { return allocate(n); }
void* operator new[](std::size_t n) { return allocate(n); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
