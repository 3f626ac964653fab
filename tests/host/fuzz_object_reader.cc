// Feeds arbitrary text to the object reader. Every failure the reader may
// report (a host exception, or std::bad_typeid from a cast inside a reader)
// is fine; crashes, hangs and sanitizer reports are not. Whatever was read,
// completely or in part, is printed and cloned to exercise the result.

#include <cstddef>
#include <cstdint>
#include <istream>
#include <ostream>
#include <sstream>
#include <streambuf>
#include <string>
#include <typeinfo>

#include "BaseException.h"
#include "ObjectParser.h"
#include "ObjectRef.h"

namespace {

class NullBuffer : public std::streambuf {
protected:
  int overflow(int c) override { return traits_type::not_eof(c); }
  std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

void exercise(const MURV::ObjectRef& r, std::ostream& out) {
  if (!r.get()) return;
  try {
    r->printOn(out);
    r->prettyPrint(out);
    r->serialize(out);
    MURV::ObjectRef copy = r->clone();
    if (copy.get()) copy->printOn(out);
  } catch (MURV::BaseException* e) {
    delete e;
  } catch (const std::bad_typeid&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static NullBuffer nullBuffer;
  std::ostream out(&nullBuffer);
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  MURV::ObjectRef r;
  // Read objects one after another until the text gives out.
  for (int i = 0; i < 64 && in; ++i) {
    try {
      in >> r;
    } catch (MURV::BaseException* e) {
      delete e;
      exercise(r, out);
      break;
    } catch (const std::bad_typeid&) {
      break;
    }
    exercise(r, out);
  }
  return 0;
}
