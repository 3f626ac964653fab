#ifndef MURV_OBJECT_REF_H
#define MURV_OBJECT_REF_H

#include <type_traits>
#include <typeinfo>

#include "ConversionDispatch.h"
#include "Object.h"

namespace MURV {

extern ObjectRef nilObject;

namespace Conversion {
template <class T> ObjectRef convertTo(const ObjectRef& in);
}

template <class T> class GenericType;

// What a typed reference's converting construction (line 63) or assignment
// (line 37) throws when the object is of no type it can take: the host's
// general exception, with its text, and the types for a runner to name.
template <class T> class ReferenceCastException : public GeneralException, public FailedCast {
public:
  ReferenceCastException(const Object* held, int line)
      : GeneralException("Something is wrong in RCPtr::operator=, this should not happen.", "ObjectRef", line) {
    took(held);
  }
  const std::type_info& wanted() const override { return typeid(T); }
};

// Counted reference to a host object. Built from a raw pointer it adopts the
// object's initial count; copies take a reference and destruction drops one.
// A move hands the reference over without touching the count and leaves the
// moved-from reference empty.
// Conversions between typed and generic references follow the host's rules:
// a direct type test first, the conversion table second.
template <class T> class RCPtr {
public:
  typedef T element_type;

  RCPtr() : ptr(nullptr) {}
  RCPtr(T* p) : ptr(p) {}
  RCPtr(const RCPtr& r) : ptr(r.ptr) {
    if (ptr) ptr->ref();
  }
  RCPtr(RCPtr&& r) noexcept : ptr(r.ptr) { r.ptr = nullptr; }
  template <class X> RCPtr(const RCPtr<X>& r) : ptr(nullptr) { ptr = convertFrom(r, 63); }
  ~RCPtr() {
    if (ptr) ptr->unref();
  }

  RCPtr& operator=(const RCPtr& r) {
    if (this != &r) hold(r.ptr, true);
    return *this;
  }
  RCPtr& operator=(RCPtr&& r) noexcept {
    if (this != &r) {
      T* p = r.ptr;
      r.ptr = nullptr;
      hold(p, false);
    }
    return *this;
  }
  template <class X> RCPtr& operator=(const RCPtr<X>& r) {
    if (static_cast<const void*>(this) != static_cast<const void*>(&r)) hold(convertFrom(r, 37), false);
    return *this;
  }
  // Adopts a freshly created object: the reference takes over its count.
  template <class X> RCPtr& operator=(X* p) {
    if (ptr == p) return *this;
    if (!p) throw std::bad_typeid();
    hold(p, false);
    return *this;
  }

  T* get() const { return ptr; }
  T* operator->() const { return ptr; }
  T& operator*() const { return *ptr; }
  bool isNil() const { return !ptr || ptr->isNil(); }
  bool operator==(const RCPtr& r) const { return ptr == r.ptr; }
  bool operator!=(const RCPtr& r) const { return ptr != r.ptr; }

private:
  template <class X> friend class RCPtr;

  // Holds p, taking a reference when asked, and only then lets go of the
  // old object: p may be reachable only through the old one.
  void hold(T* p, bool takeRef) {
    if (p && takeRef) p->ref();
    T* old = ptr;
    ptr = p;
    if (old) old->unref();
  }

  // Returns the object to hold, with a reference already taken for it.
  template <class X> static T* convertFrom(const RCPtr<X>& r, int line) {
    if (r.ptr) {
      if (T* t = dynamic_cast<T*>(r.ptr)) {
        t->ref();
        return t;
      }
    }
    RCPtr<Object> c;
    if (!r.ptr) {
      c = Conversion::convertTo<Object>(RCPtr<Object>());
    } else {
      RCPtr<Object> in(static_cast<Object*>(r.ptr));
      r.ptr->ref();
      c = Conversion::convertTo<T>(in);
    }
    T* t = c.ptr ? dynamic_cast<T*>(c.ptr) : nullptr;
    if (!t) throw new ReferenceCastException<T>(r.ptr, line);
    t->ref();
    return t;
  }

  T* ptr;
};

namespace Conversion {
template <class T> ObjectRef convertTo(const ObjectRef& in) {
  if (!in.get()) return nilObject;
  const Object& held = *in.get();
  return ConversionDispatch::GetInstance().call(typeid(held), typeid(T), in);
}
}  // namespace Conversion

template <class T> T& object_cast(const ObjectRef& r) {
  if (T* t = dynamic_cast<T*>(r.get())) return *t;
  if (!r.get()) throw std::bad_typeid();
  throw new CastException<T>(*r.get());
}

template <class T> T& dereference_cast(const ObjectRef& r) {
  if (GenericType<T>* g = dynamic_cast<GenericType<T>*>(r.get())) return g->value;
  if (!r.get()) throw std::bad_typeid();
  throw new CastException<T>(*r.get());
}

}  // namespace MURV

#endif
