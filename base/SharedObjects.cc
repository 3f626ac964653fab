#include "SharedObjects.h"

#include <istream>
#include <ostream>

#include "Source.h"
#include "String.h"
#include "net_types.h"

namespace MURV {

ObjectRef nilObject(new NilObject);
ObjectRef TrueObject(new NetCType<bool>(true));
ObjectRef FalseObject(new NetCType<bool>(false));

MURV_DECLARE_OBJECT_TYPE(NilObject, "NilObject", nil)
MURV_DECLARE_OBJECT_TYPE(String, "String", string)
MURV_DECLARE_OBJECT_TYPE(Source, "Source", source)

void NilObject::printOn(std::ostream& out) const { out << "<NilObject >"; }

void NilObject::readFrom(std::istream& in) {
  char c = 0;
  if (!(in >> c) || c != '>') throw new ParsingException("NilObject: '>' expected");
}

void String::printOn(std::ostream& out) const { out << "<String " << static_cast<const std::string&>(*this) << " >"; }

// Reads the text up to the closing " >" that printOn writes.
void String::readFrom(std::istream& in) {
  std::string text;
  char c;
  if (in.get(c) && c != ' ') text.push_back(c);
  while (in.get(c)) {
    if (c == '>' && (text.empty() || text.back() == ' ')) {
      if (!text.empty()) text.pop_back();
      assign(text);
      return;
    }
    text.push_back(c);
  }
  throw new ParsingException("String: '>' expected");
}

ObjectRef String::clone() { return ObjectRef(new String(*this)); }

void Source::printOn(std::ostream& out) const {
  out << "<Source <id " << id << "> <x " << x[0] << " " << x[1] << " " << x[2] << "> <power " << power << "> >";
}

ObjectRef Source::clone() { return ObjectRef(new Source(*this)); }

}  // namespace MURV
