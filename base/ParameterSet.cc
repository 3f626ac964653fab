#include "ParameterSet.h"

namespace MURV {

ObjectRef ParameterSet::get(const std::string& name) const {
  const_iterator it = find(name);
  if (it == end()) throw new GeneralException("Missing parameter: " + name, "ParameterSet", 0);
  return it->second;
}

}  // namespace MURV
