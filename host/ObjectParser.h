#ifndef MURV_OBJECT_PARSER_H
#define MURV_OBJECT_PARSER_H

#include <istream>
#include <string>

#include "ObjectRef.h"

namespace MURV {

// Deepest nesting of objects that operator>> reads. Object text comes from
// network descriptions and from other programs; without a bound, a long run
// of nested openings would recurse until the stack overflowed.
const int maxObjectNesting = 256;

namespace detail {

// Nesting is counted per thread across every reader that recurses through
// operator>> (vectors of references, maps, ...).
inline int& objectReadDepth() {
  thread_local int depth = 0;
  return depth;
}

class ObjectReadDepthGuard {
public:
  ObjectReadDepthGuard() {
    if (objectReadDepth() >= maxObjectNesting)
      throw new ParsingException("Objects nested more than " + std::to_string(maxObjectNesting) + " levels deep");
    ++objectReadDepth();
  }
  ~ObjectReadDepthGuard() { --objectReadDepth(); }
  ObjectReadDepthGuard(const ObjectReadDepthGuard&) = delete;
  ObjectReadDepthGuard& operator=(const ObjectReadDepthGuard&) = delete;
};

}  // namespace detail

// Reads one host object, "<Type ...>" (text form) or "{Type |...}"
// (serialised form), creating it from its type word through the registry.
// When the object's own reader throws, ref already holds the new, partly read
// object.
inline std::istream& operator>>(std::istream& in, ObjectRef& ref) {
  detail::ObjectReadDepthGuard depth;

  char c = 0;
  if (!(in >> c)) throw new ParsingException("Expected '<' or '{' (got end of input)");

  if (c == '<') {
    std::string type;
    in >> type;
    ref = Object::newObject(type);
    ref->readFrom(in);
    return in;
  }

  if (c == '{') {
    std::string type;
    in >> type;
    ref = Object::newObject(type);
    // The bar has to come within the next six non-blank characters.
    for (int i = 0; i < 6; ++i) {
      char bar = 0;
      if (!(in >> bar)) break;
      if (bar == '|') {
        ref->unserialize(in);
        return in;
      }
    }
    char skipped = 0;
    in >> skipped;
    throw new ParsingException("Cannot find sync \"|\" symbol for unserialize");
  }

  throw new ParsingException(std::string("Expected '<' or '{' (got '") + c + "')");
}

}  // namespace MURV

#endif
