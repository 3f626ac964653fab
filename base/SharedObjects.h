#ifndef MURV_SHARED_OBJECTS_H
#define MURV_SHARED_OBJECTS_H

#include "ObjectRef.h"

namespace MURV {

// The host's shared boolean objects; both are NetCType<bool>, so
// dereference_cast<bool> reads them.
extern ObjectRef TrueObject;
extern ObjectRef FalseObject;

// What a null reference stands for.
class NilObject : public Object {
public:
  void printOn(std::ostream& out) const override;
  bool isNil() const override { return true; }
  void readFrom(std::istream& in) override;
  ObjectRef clone() override { return nilObject; }
};

}  // namespace MURV

#endif
