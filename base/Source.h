#ifndef MURV_SOURCE_H
#define MURV_SOURCE_H

#include "ObjectRef.h"

namespace MURV {

// One localised sound source: its id, position and power.
class Source : public Object {
public:
  Source() = default;
  void printOn(std::ostream& out) const override;
  ObjectRef clone() override;

  float x[3] = {0.0f, 0.0f, 0.0f};
  float power = 0.0f;
  int id = 0;
};

}  // namespace MURV

#endif
