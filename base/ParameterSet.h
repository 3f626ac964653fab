#ifndef MURV_PARAMETER_SET_H
#define MURV_PARAMETER_SET_H

#include <map>
#include <string>

#include "ObjectRef.h"

namespace MURV {

// A node instance's parameters by name. Copies are independent sets whose
// entries share the same parameter objects.
class ParameterSet : public std::map<std::string, ObjectRef> {
public:
  // Throws a GeneralException naming the parameter when it is missing.
  ObjectRef get(const std::string& name) const;
  bool exist(const std::string& name) const { return find(name) != end(); }
  void add(const std::string& name, const ObjectRef& value) { (*this)[name] = value; }
};

}  // namespace MURV

#endif
