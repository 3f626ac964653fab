#ifndef MURV_BUFFER_H
#define MURV_BUFFER_H

#include <vector>

#include "ObjectRef.h"

namespace MURV {

// One output's results by iteration count: a ring holding the most recent
// counts. A count that was never written, or has already been dropped,
// throws instead of reading as a stale or null object.
class Buffer {
public:
  explicit Buffer(int length);

  // The writable slot for count; opening a newer count drops the oldest.
  ObjectRef& operator[](int count);
  // The object stored for count.
  ObjectRef get(int count) const;
  bool isValid(int count) const;
  int getLength() const { return static_cast<int>(slots.size()); }
  int getCurrentPos() const { return newest; }

private:
  struct Slot {
    int count = -1;
    ObjectRef object;
  };
  // The slot of count while it holds that count's object, or null; found
  // once per read, which every input read of a network makes.
  const Slot* holding(int count) const;

  std::vector<Slot> slots;
  int newest = -1;
};

}  // namespace MURV

#endif
