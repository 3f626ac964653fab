#ifndef MURV_TESTS_HOST_TEST_SUPPORT_H
#define MURV_TESTS_HOST_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <sstream>
#include <string>
#include <type_traits>

#include "BaseException.h"
#include "ObjectRef.h"

namespace murv_test {

// Runs f and hands back the host exception it threw, seen as E. The test
// fails when nothing, or a host exception of another class, was thrown.
template <class E, class F> std::unique_ptr<E> thrownBy(F&& f) {
  try {
    f();
  } catch (MURV::BaseException* e) {
    if constexpr (std::is_same_v<E, MURV::BaseException>) {
      return std::unique_ptr<E>(e);
    } else {
      std::unique_ptr<MURV::BaseException> owned(e);
      if (E* typed = dynamic_cast<E*>(e)) {
        owned.release();
        return std::unique_ptr<E>(typed);
      }
      std::ostringstream text;
      e->print(text);
      ADD_FAILURE() << "unexpected host exception: " << text.str();
      return nullptr;
    }
  }
  ADD_FAILURE() << "nothing was thrown";
  return nullptr;
}

inline std::string printed(const MURV::BaseException& e) {
  std::ostringstream out;
  e.print(out);
  return out.str();
}

inline std::string printOnText(const MURV::Object& o) {
  std::ostringstream out;
  o.printOn(out);
  return out.str();
}

inline std::string prettyText(const MURV::Object& o) {
  std::ostringstream out;
  o.prettyPrint(out);
  return out.str();
}

// An object that counts how many of its kind exist and were destroyed, to
// tell a leak or a double destruction from a correct release.
class Probe : public MURV::Object {
public:
  static inline std::atomic<int> alive{0};
  static inline std::atomic<int> destroyed{0};

  Probe() { ++alive; }
  Probe(const Probe&) = delete;
  Probe& operator=(const Probe&) = delete;
  ~Probe() override {
    --alive;
    ++destroyed;
  }
  void printOn(std::ostream& out) const override { out << "<Probe >"; }
  MURV::ObjectRef clone() override { return MURV::ObjectRef(new Probe); }
};

}  // namespace murv_test

#endif
