#ifndef MURV_NET_TYPES_H
#define MURV_NET_TYPES_H

#include <istream>
#include <ostream>

#include "ObjectRef.h"

namespace MURV {

// A host object holding one value of T; dereference_cast<T> reaches the
// value through this class whatever the concrete scalar class is.
template <class T> class GenericType : public Object {
public:
  GenericType() : value() {}
  explicit GenericType(const T& v) : value(v) {}

  T value;
};

// The text form "<Type value >" and the serialised form "{Type |value }" of a
// boxed scalar. The readers are called once operator>> has consumed the
// opening character and the type word (and, serialised, the bar).
template <class T> class PrintableGenericType : public GenericType<T> {
public:
  using GenericType<T>::GenericType;
  PrintableGenericType() = default;

  void serialize(std::ostream& out) const override {
    out << "{" << this->className() << " |" << this->value << " }";
  }

  void unserialize(std::istream& in) override {
    in >> this->value;
    // A failed extraction also fails this read, so a value that could not be
    // read is reported rather than taken as 0.
    char ch = 0;
    if (!(in >> ch) || ch != '}')
      throw new GeneralException("Error reading String: '}' expected", "net_types", 228);
  }

  void printOn(std::ostream& out) const override { out << "<" << this->className() << " " << this->value << " >"; }

  void prettyPrint(std::ostream& out) const override { out << this->value << " "; }

  void readFrom(std::istream& in) override {
    in >> this->value;
    char ch = 0;
    if (!(in >> ch) || ch != '>')
      throw new GeneralException("Error reading String: '>' expected", "net_types", 209);
  }
};

// The scalar object that nodes create for a single number. The default
// constructor lets the type registry create one from its type word.
template <class T> class NetCType : public PrintableGenericType<T> {
public:
  NetCType() = default;
  explicit NetCType(const T& v) : PrintableGenericType<T>(v) {}
};

}  // namespace MURV

#endif
