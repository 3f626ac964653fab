#ifndef MURV_TIME_STAMP_H
#define MURV_TIME_STAMP_H

#include <istream>
#include <ostream>

#include "Object.h"
#include "ObjectParser.h"

namespace MURV {

// The time of an iteration's data. Its text form is written for people only:
// readFrom reads nothing, and a stamp cannot be cloned. Since it reads
// nothing, no text can hold a stamp's closing '>': a text with nothing but
// blanks after the type word is refused like any other object without it,
// and so is a stamp inside another object, whose reader would take the
// stamp's '>' for its own.
class TimeStamp : public Object {
public:
  TimeStamp() : sec(0), usec(0) {}

  void printOn(std::ostream& out) const override {
    out << "<TimeStamp <sec " << sec << "> <usec " << usec << "> >";
  }
  void readFrom(std::istream& in) override {
    if (onlyBlanksLeft(in)) throw new ParsingException("TimeStamp: '>' expected");
    if (detail::objectReadDepth() > 1)
      throw new ParsingException("TimeStamp: a stamp inside another object cannot be closed");
  }

  long sec;
  long usec;

private:
  // Whether in holds nothing but blanks (of any kind) from here on. The
  // blanks are read only to look past them: in is put back where it was.
  static bool onlyBlanksLeft(std::istream& in) {
    if (in.peek() == std::istream::traits_type::eof()) return true;
    const std::istream::pos_type at = in.tellg();
    if (at == std::istream::pos_type(-1)) return false;
    const bool blanks = (in >> std::ws).eof();
    in.clear();
    in.seekg(at);
    return blanks;
  }
};

}  // namespace MURV

#endif
