#ifndef MURV_PARAMETER_SET_H
#define MURV_PARAMETER_SET_H

#include <map>
#include <memory>
#include <set>
#include <string>

#include "ObjectRef.h"

namespace MURV {

// A node instance's parameters by name. Copies are independent sets whose
// entries share the same parameter objects.
class ParameterSet : public std::map<std::string, ObjectRef> {
public:
  // What a node asked of its parameters, for the runner to tell which
  // parameter a failing node was reading and which ones no node read.
  struct Reads {
    std::set<std::string> names;  // asked for with get() or exist(), found or not
    std::string last;             // the last name asked for with get()
    bool lastMissing = false;     // whether get() found no such parameter
  };

  // Throws a GeneralException naming the parameter when it is missing.
  ObjectRef get(const std::string& name) const;
  bool exist(const std::string& name) const;
  void add(const std::string& name, const ObjectRef& value) { (*this)[name] = value; }

  // From now on reads are recorded, by this set and by every copy made of
  // it afterwards (a node reads from its own copy).
  void recordReads() { reads = std::make_shared<Reads>(); }
  // The record, or null when reads are not recorded.
  std::shared_ptr<const Reads> readsRecorded() const { return reads; }

private:
  std::shared_ptr<Reads> reads;
};

}  // namespace MURV

#endif
