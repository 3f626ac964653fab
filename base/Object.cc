#include "Object.h"

#include <iostream>
#include <map>
#include <mutex>
#include <typeindex>

#include "Node.h"
#include "ObjectRef.h"

namespace MURV {

namespace {

struct TypeRegistry {
  std::mutex lock;
  std::map<std::string, Object::ObjectCreator> byName;
  std::map<std::type_index, std::string> names;
};

TypeRegistry& types() {
  static TypeRegistry* registry = new TypeRegistry;  // lives until exit, for late destructors
  return *registry;
}

std::vector<Object::ModuleVersion>& versions() {
  static std::vector<Object::ModuleVersion>* v = new std::vector<Object::ModuleVersion>;
  return *v;
}

}  // namespace

void Object::addObjectType(const std::string& name, const std::type_info& type, ObjectCreator creator) {
  TypeRegistry& r = types();
  std::lock_guard<std::mutex> guard(r.lock);
  if (r.byName.count(name)) {
    std::cerr << "Object::addObjectType: type '" << name << "' is already registered" << std::endl;
    return;
  }
  r.byName[name] = creator;
  r.names[std::type_index(type)] = name;
}

ObjectRef Object::newObject(const std::string& type) {
  ObjectCreator creator = nullptr;
  {
    TypeRegistry& r = types();
    std::lock_guard<std::mutex> guard(r.lock);
    auto it = r.byName.find(type);
    if (it != r.byName.end()) creator = it->second;
  }
  if (!creator) throw new GeneralException("Unknown object type: " + type, "Object", 0);
  return ObjectRef(creator());
}

std::string Object::className() const {
  TypeRegistry& r = types();
  std::lock_guard<std::mutex> guard(r.lock);
  auto it = r.names.find(std::type_index(typeid(*this)));
  if (it != r.names.end()) return it->second;
  return typeNameOf(typeid(*this));
}

int Object::setModuleVersion(const std::string& module, const std::string& revision, const std::string& version) {
  versions().push_back(ModuleVersion{module, revision, version, Node::factoryNames().size()});
  return 0;
}

const std::vector<Object::ModuleVersion>& Object::moduleVersions() { return versions(); }

// Objects of this stand-in have no serialised form of their own unless their
// class gives one: the default writes the text form.
void Object::serialize(std::ostream& out) const { printOn(out); }

void Object::unserialize(std::istream&) {
  throw new GeneralException("Object " + className() + " cannot be unserialized", "Object", 0);
}

void Object::doesNotUnderstand(const std::string& method) {
  throw new GeneralException(className() + " does not understand method " + method, "Object", 0);
}

void Object::readFrom(std::istream&) { throw new GeneralException("Trying to read undefined Object", "Object", 86); }

ObjectRef Object::clone() {
  throw new GeneralException(std::string("Method clone() not implemented for this object : ") + typeid(Object*).name(),
                             "Object", 99);
}

}  // namespace MURV
