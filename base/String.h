#ifndef MURV_STRING_H
#define MURV_STRING_H

#include <string>

#include "ObjectRef.h"

namespace MURV {

// A host string object. Its text form is "<String " text " >".
class String : public Object, public std::string {
public:
  String() = default;
  String(const std::string& s) : std::string(s) {}
  void printOn(std::ostream& out) const override;
  void readFrom(std::istream& in) override;
  ObjectRef clone() override;
};

}  // namespace MURV

#endif
