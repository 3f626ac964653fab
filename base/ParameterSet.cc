#include "ParameterSet.h"

namespace MURV {

ObjectRef ParameterSet::get(const std::string& name) const {
  const_iterator it = find(name);
  if (reads) {
    reads->names.insert(name);
    reads->last = name;
    reads->lastMissing = it == end();
  }
  if (it == end()) throw new GeneralException("Missing parameter: " + name, "ParameterSet", 0);
  return it->second;
}

bool ParameterSet::exist(const std::string& name) const {
  if (reads) reads->names.insert(name);
  return find(name) != end();
}

}  // namespace MURV
