#include "ConversionDispatch.h"

#include "ObjectRef.h"
#include "net_types.h"

namespace MURV {

namespace {

template <class From, class To> ObjectRef convertScalar(const ObjectRef& in) {
  return ObjectRef(new NetCType<To>(static_cast<To>(dereference_cast<From>(in))));
}

}  // namespace

ConversionDispatch::ConversionDispatch() {
  registerConversion(typeid(NetCType<int>), typeid(NetCType<float>), &convertScalar<int, float>);
}

ConversionDispatch& ConversionDispatch::GetInstance() {
  static ConversionDispatch* instance = new ConversionDispatch;
  return *instance;
}

ObjectRef ConversionDispatch::call(const std::type_info& from, const std::type_info& to, const ObjectRef& in) {
  calls.fetch_add(1);
  Converter conv = nullptr;
  {
    std::lock_guard<std::mutex> guard(lock);
    auto it = table.find(std::make_pair(std::type_index(from), std::type_index(to)));
    if (it != table.end()) conv = it->second;
  }
  return conv ? conv(in) : ObjectRef();
}

void ConversionDispatch::registerConversion(const std::type_info& from, const std::type_info& to, Converter conv) {
  std::lock_guard<std::mutex> guard(lock);
  table[std::make_pair(std::type_index(from), std::type_index(to))] = conv;
}

}  // namespace MURV
