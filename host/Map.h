#ifndef MURV_MAP_H
#define MURV_MAP_H

#include <cstdint>
#include <map>
#include <ostream>

#include "Object.h"
#include "ObjectRef.h"

namespace MURV {

// Per-source data keyed by source id. The entries are the std::map's, in
// ascending key order; the map holds one reference on each value. A null
// value prints as the nil object rather than being dereferenced.
template <class Key, class Value> class Map : public Object, public std::map<Key, Value> {
public:
  Map() {}

  void printOn(std::ostream& out) const override {
    if (this->empty()) {
      out << "Map empty" << std::endl;
      return;
    }
    out << "Map begins from " << this->begin()->first << std::endl;
    out << "Number of channels is " << static_cast<std::uint64_t>(this->size()) << std::endl;
    for (const auto& entry : *this) {
      out << "Map's ObjectRef's channel " << entry.first << " is:" << '\n';
      (entry.second.get() ? entry.second : nilObject)->printOn(out);
      out << std::endl;
    }
  }

  // The copy has the same keys and shares the value objects, each with one
  // more reference.
  ObjectRef clone() override { return ObjectRef(new Map(*this)); }
};

}  // namespace MURV

#endif
