#ifndef MURV_VECTOR_H
#define MURV_VECTOR_H

#include <complex>
#include <cstddef>
#include <istream>
#include <ostream>
#include <vector>

#include "ObjectParser.h"
#include "ObjectRef.h"

namespace MURV {

// A host object that is also a std::vector of its elements. Its text form is
// "<Type e1 e2 ... > "; a vector of references writes each element in its
// own text form.
template <class T> class Vector : public Object, public std::vector<T> {
public:
  typedef T basicType;

  Vector() = default;
  explicit Vector(std::size_t n, const T& x = T()) : std::vector<T>(n, x) {}

  void printOn(std::ostream& out) const override;
  void prettyPrint(std::ostream& out) const override;
  // Called once "<" and the type word have been consumed; reads the elements
  // up to and including the closing '>'.
  void readFrom(std::istream& in) override;
  ObjectRef clone() override;

  virtual std::size_t vsize() const { return this->size(); }
  virtual bool vempty() const { return this->empty(); }
};

namespace detail {

template <class T> void printVectorElement(std::ostream& out, const T& x) { out << x; }

// A null element is written as the nil object it stands for.
inline void printVectorElement(std::ostream& out, const ObjectRef& x) {
  if (const Object* o = x.get() ? x.get() : nilObject.get()) o->printOn(out);
}

}  // namespace detail

template <class T> void Vector<T>::printOn(std::ostream& out) const {
  out << "<" << className();
  for (const T& x : *this) {
    out << " ";
    detail::printVectorElement(out, x);
  }
  out << " > ";
}

template <class T> void Vector<T>::prettyPrint(std::ostream& out) const {
  for (const T& x : *this) out << x << " ";
  out << std::endl;
}

template <> inline void Vector<ObjectRef>::prettyPrint(std::ostream& out) const {
  for (const ObjectRef& x : *this) {
    if (const Object* o = x.get() ? x.get() : nilObject.get()) o->prettyPrint(out);
    out << std::endl;
  }
}

template <class T> void Vector<T>::readFrom(std::istream& in) {
  this->clear();
  for (;;) {
    // End of input before the closing '>' is an unreadable vector.
    char ch = 0;
    if (!(in >> ch)) throw new GeneralException("Error reading Vector", "Vector", 209);
    if (ch == '>') return;
    in.putback(ch);
    // Value-initialised: a complex element starts at (0,0), a reference null.
    T element = T();
    in >> element;
    if (in.fail()) throw new GeneralException("Error reading Vector", "Vector", 209);
    this->push_back(element);
  }
}

template <class T> ObjectRef Vector<T>::clone() { return ObjectRef(new Vector<T>(*this)); }

// Each element is replaced by its own clone; a null element stays null. The
// copy is owned by a reference from the start, so an element whose clone
// throws releases the copy and every clone made before it.
template <> inline ObjectRef Vector<ObjectRef>::clone() {
  Vector<ObjectRef>* copy = new Vector<ObjectRef>(size());
  ObjectRef owner(copy);
  for (std::size_t i = 0; i < size(); ++i)
    if ((*this)[i].get()) (*copy)[i] = (*this)[i]->clone();
  return owner;
}

}  // namespace MURV

#endif
