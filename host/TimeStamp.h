#ifndef MURV_TIME_STAMP_H
#define MURV_TIME_STAMP_H

#include <istream>
#include <ostream>

#include "Object.h"

namespace MURV {

// The time of an iteration's data. Its text form is written for people only:
// readFrom reads nothing, and a stamp cannot be cloned.
class TimeStamp : public Object {
public:
  TimeStamp() : sec(0), usec(0) {}

  void printOn(std::ostream& out) const override {
    out << "<TimeStamp <sec " << sec << "> <usec " << usec << "> >";
  }
  void readFrom(std::istream&) override {}

  long sec;
  long usec;
};

}  // namespace MURV

#endif
