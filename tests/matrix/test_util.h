#ifndef MURV_TEST_MATRIX_UTIL_H
#define MURV_TEST_MATRIX_UTIL_H

#include <sstream>
#include <string>

#include "BaseException.h"
#include "Object.h"

namespace murvtest {

inline std::string printed(const MURV::Object& o) {
  std::ostringstream out;
  o.printOn(out);
  return out.str();
}

inline std::string rest(std::istream& in) {
  std::string s;
  char c;
  while (in.get(c)) s += c;
  return s;
}

// Runs f and describes the host exception it throws by pointer: the message
// of a ParsingException, or the printed text of any other; deletes it.
template <class F> std::string thrownBy(F f) {
  try {
    f();
  } catch (MURV::ParsingException* e) {
    std::string m = e->message;
    delete e;
    return m;
  } catch (MURV::BaseException* e) {
    std::ostringstream out;
    e->print(out);
    delete e;
    return "other: " + out.str();
  }
  return "<no exception>";
}

}  // namespace murvtest

#endif
