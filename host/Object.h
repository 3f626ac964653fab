#ifndef MURV_OBJECT_H
#define MURV_OBJECT_H

#include <iosfwd>
#include <string>
#include <typeinfo>
#include <vector>

#include "AtomicCounter.h"
#include "BaseException.h"

namespace MURV {

template <class T> class RCPtr;
class Object;
typedef RCPtr<Object> ObjectRef;

// The compiler's name for a type, as the casts and their errors print it.
inline std::string typeNameOf(const std::type_info& info) {
  const char* n = info.name();
  return std::string(*n == '*' ? n + 1 : n);
}
template <class T> std::string typeName() { return typeNameOf(typeid(T)); }

class Object {
public:
  Object() : refCount(1) {}
  Object(const Object&) : refCount(1) {}
  Object& operator=(const Object&) { return *this; }
  virtual ~Object() {}

  virtual void destroy() { delete this; }
  virtual void serialize(std::ostream& out) const;
  virtual void unserialize(std::istream& in);
  virtual void doesNotUnderstand(const std::string& method);
  virtual void printOn(std::ostream& out) const = 0;
  virtual bool isNil() const { return false; }
  virtual void prettyPrint(std::ostream& out) const { printOn(out); }
  virtual void readFrom(std::istream& in);
  virtual ObjectRef clone();
  virtual std::string className() const;

  void ref() { refCount.inc(); }
  void unref() {
    if (!refCount.dec()) destroy();
  }
  // For tests and diagnostics only: the count may change at any moment.
  int refCountValue() const { return refCount.unsafeValue(); }

  // Host registry of object types, by the type word of their text form.
  typedef Object* (*ObjectCreator)();
  static void addObjectType(const std::string& name, const std::type_info& type, ObjectCreator creator);
  static ObjectRef newObject(const std::string& type);

  // The version record of each loaded module, in the order they were given.
  struct ModuleVersion {
    std::string module, revision, version;
    size_t factoriesBefore;  // node types registered when the record was given
  };
  static int setModuleVersion(const std::string& module, const std::string& revision, const std::string& version);
  static const std::vector<ModuleVersion>& moduleVersions();

private:
  AtomicCounter refCount;
};

template <class T> Object* createObject() { return new T; }

// Registers type T under name when the enclosing translation unit loads.
#define MURV_DECLARE_OBJECT_TYPE(T, NAME, ID) \
  static const int murvObjectType_##ID = \
      (::MURV::Object::addObjectType(NAME, typeid(T), &::MURV::createObject<T>), 0);

class ParsingException : public BaseException {
public:
  explicit ParsingException(std::string m) : message(std::move(m)) {}
  void print(std::ostream& out) const override;
  std::string message;
};

class Node;

// What a failed cast knows beyond its host text, which stays as it is: the
// object it was given (compared, never read), its type (null for none) and
// the type asked for. A node's input read that the failure passes on its
// way out claims it for the node whose code made the cast, with the input
// that brought the object where that is known, so a runner can name them.
class FailedCast {
public:
  virtual ~FailedCast() {}
  // The type the cast asked for.
  virtual const std::type_info& wanted() const = 0;
  void took(const Object* held) {
    object = held;
    given = held ? &typeid(*held) : nullptr;
  }

  const Object* object = nullptr;
  const std::type_info* given = nullptr;
  Node* node = nullptr;  // the node that made the cast, once claimed
  int input = -1;        // its input that brought the object, or -1
};

class GenericCastException : public BaseException, public FailedCast {
public:
  void print(std::ostream& out) const override = 0;
};

template <class T> class CastException : public GenericCastException {
public:
  explicit CastException(std::string t) : type(std::move(t)) {}
  explicit CastException(const Object& held) : type(typeNameOf(typeid(held))) { took(&held); }
  void print(std::ostream& out) const override;
  const std::type_info& wanted() const override { return typeid(T); }
  std::string type;
};

template <class X, class Y> class PtrCastException : public GenericCastException {
public:
  explicit PtrCastException(std::string t) : type(std::move(t)) {}
  void print(std::ostream& out) const override;
  const std::type_info& wanted() const override { return typeid(Y); }
  std::string type;
};

}  // namespace MURV

#include <ostream>

namespace MURV {

template <class T> void CastException<T>::print(std::ostream& out) const {
  out << "Cast error: Trying to cast ObjectRef (" << type << ") into " << typeName<T>() << std::endl;
}

template <class X, class Y> void PtrCastException<X, Y>::print(std::ostream& out) const {
  out << "Cast error: Trying to cast RCPtr <" << typeName<X>() << "> (" << type << ") into RCPtr<"
      << typeName<Y>() << ">" << std::endl;
}

inline void ParsingException::print(std::ostream& out) const { out << message << std::endl; }

}  // namespace MURV

#endif
