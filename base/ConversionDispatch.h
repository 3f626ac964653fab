#ifndef MURV_CONVERSION_DISPATCH_H
#define MURV_CONVERSION_DISPATCH_H

#include <atomic>
#include <map>
#include <mutex>
#include <typeindex>
#include <typeinfo>
#include <utility>

#include "Object.h"

namespace MURV {

// The host's table of conversions between object types. A pair with no
// conversion answers a null reference; the caller checks what it got.
class ConversionDispatch {
public:
  typedef ObjectRef (*Converter)(const ObjectRef& in);

  static ConversionDispatch& GetInstance();

  ObjectRef call(const std::type_info& from, const std::type_info& to, const ObjectRef& in);
  void registerConversion(const std::type_info& from, const std::type_info& to, Converter conv);
  // How many times call() has been asked, for tests of who consults the table.
  long callCount() const { return calls.load(); }

private:
  ConversionDispatch();
  std::mutex lock;
  std::map<std::pair<std::type_index, std::type_index>, Converter> table;
  std::atomic<long> calls{0};
};

}  // namespace MURV

#endif
