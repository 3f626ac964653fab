#ifndef MURV_TIME_STAMP_H
#define MURV_TIME_STAMP_H

#include <istream>
#include <ostream>

#include "Object.h"

namespace MURV {

// The time of an iteration's data. Its text form is written for people only:
// readFrom reads nothing, and a stamp cannot be cloned. A text that ends
// right after the type word cannot hold the closing '>', though, and is
// refused like any other object without it.
class TimeStamp : public Object {
public:
  TimeStamp() : sec(0), usec(0) {}

  void printOn(std::ostream& out) const override {
    out << "<TimeStamp <sec " << sec << "> <usec " << usec << "> >";
  }
  void readFrom(std::istream& in) override {
    if (in.peek() == std::istream::traits_type::eof()) throw new ParsingException("TimeStamp: '>' expected");
  }

  long sec;
  long usec;
};

}  // namespace MURV

#endif
