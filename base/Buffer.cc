#include "Buffer.h"

#include <algorithm>
#include <string>

namespace MURV {

Buffer::Buffer(int length) : slots(static_cast<size_t>(std::max(1, length))) {}

const Buffer::Slot* Buffer::holding(int count) const {
  if (count < 0 || count > newest || count <= newest - getLength()) return nullptr;
  const Slot& s = slots[static_cast<size_t>(count) % slots.size()];
  return s.count == count && s.object.get() != nullptr ? &s : nullptr;
}

bool Buffer::isValid(int count) const { return holding(count) != nullptr; }

ObjectRef& Buffer::operator[](int count) {
  if (count < 0) throw new GeneralException("Negative count " + std::to_string(count), "Buffer", 0);
  if (newest >= 0 && count <= newest - getLength())
    throw new GeneralException("Count " + std::to_string(count) + " is no longer buffered", "Buffer", 0);
  newest = std::max(newest, count);
  Slot& s = slots[static_cast<size_t>(count) % slots.size()];
  if (s.count != count) {
    s.count = count;
    s.object = ObjectRef();
  }
  return s.object;
}

ObjectRef Buffer::get(int count) const {
  const Slot* s = holding(count);
  if (!s) throw new GeneralException("No object buffered for count " + std::to_string(count), "Buffer", 0);
  return s->object;
}

}  // namespace MURV
