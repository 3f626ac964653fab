// Boxed scalars: their registered type words, text and serialised forms and
// their readers.

#include <gtest/gtest.h>

#include <climits>
#include <iomanip>
#include <sstream>
#include <string>

#include "HostTestSupport.h"
#include "ObjectParser.h"
#include "net_types.h"

using MURV::GeneralException;
using MURV::NetCType;
using MURV::ObjectRef;
using murv_test::prettyText;
using murv_test::printOnText;
using murv_test::thrownBy;

namespace {

std::string serialized(const MURV::Object& o) {
  std::ostringstream out;
  o.serialize(out);
  return out.str();
}

TEST(NetTypes, TypeWordsAndRegistry) {
  EXPECT_EQ(NetCType<int>(1).className(), "Int");
  EXPECT_EQ(NetCType<float>(1).className(), "Float");
  EXPECT_EQ(NetCType<bool>(true).className(), "Bool");

  ObjectRef i = MURV::Object::newObject("Int");
  ASSERT_NE(dynamic_cast<NetCType<int>*>(i.get()), nullptr);
  EXPECT_EQ(i->refCountValue(), 1);
  EXPECT_EQ(MURV::dereference_cast<int>(i), 0);
  EXPECT_NE(dynamic_cast<NetCType<float>*>(MURV::Object::newObject("Float").get()), nullptr);
  EXPECT_NE(dynamic_cast<NetCType<bool>*>(MURV::Object::newObject("Bool").get()), nullptr);
}

TEST(NetTypes, GoldenForms) {
  NetCType<int> five(5);
  EXPECT_EQ(printOnText(five), "<Int 5 >");
  EXPECT_EQ(serialized(five), "{Int |5 }");
  EXPECT_EQ(prettyText(five), "5 ");

  NetCType<int> negative(INT_MIN);
  EXPECT_EQ(printOnText(negative), "<Int -2147483648 >");

  // Six significant digits on a fresh stream; the stream's own settings are
  // used and left as they were.
  NetCType<float> pi(3.14159265f);
  EXPECT_EQ(printOnText(pi), "<Float 3.14159 >");
  EXPECT_EQ(serialized(pi), "{Float |3.14159 }");
  EXPECT_EQ(prettyText(pi), "3.14159 ");
  EXPECT_EQ(printOnText(NetCType<float>(1234567.0f)), "<Float 1.23457e+06 >");
  EXPECT_EQ(printOnText(NetCType<float>(-0.5f)), "<Float -0.5 >");

  std::ostringstream narrow;
  narrow << std::setprecision(3) << std::fixed;
  pi.printOn(narrow);
  EXPECT_EQ(narrow.str(), "<Float 3.142 >");
  EXPECT_EQ(narrow.precision(), 3);
  EXPECT_TRUE(narrow.flags() & std::ios::fixed);

  EXPECT_EQ(printOnText(NetCType<bool>(true)), "<Bool 1 >");
  EXPECT_EQ(serialized(NetCType<bool>(false)), "{Bool |0 }");
}

// The readers start after operator>> has consumed the opening character and
// the type word (and, serialised, the bar).
TEST(NetTypes, ReadersAcceptTheirClosingCharacter) {
  NetCType<int> i;
  std::istringstream text(" 42 > rest");
  i.readFrom(text);
  EXPECT_EQ(i.value, 42);
  EXPECT_EQ(text.get(), ' ');  // stops right after '>'

  std::istringstream tight("-7>");
  i.readFrom(tight);
  EXPECT_EQ(i.value, -7);

  NetCType<float> f;
  std::istringstream ser("2.5 }");
  f.unserialize(ser);
  EXPECT_EQ(f.value, 2.5f);

  NetCType<bool> b;
  std::istringstream boolText(" 1 >");
  b.readFrom(boolText);
  EXPECT_TRUE(b.value);
}

TEST(NetTypes, ReaderErrors) {
  struct Case {
    const char* text;
    bool serialisedForm;
    const char* message;
    int line;
  };
  const Case cases[] = {
      {"5 x", false, "Error reading String: '>' expected", 209},
      {"5 }", false, "Error reading String: '>' expected", 209},
      {"5", false, "Error reading String: '>' expected", 209},       // end of input
      {"five >", false, "Error reading String: '>' expected", 209},  // no number
      {"", false, "Error reading String: '>' expected", 209},
      {"5 >", true, "Error reading String: '}' expected", 228},
      {"5", true, "Error reading String: '}' expected", 228},
      {"x }", true, "Error reading String: '}' expected", 228},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.serialisedForm ? "unserialize: " : "readFrom: ") + c.text);
    NetCType<int> i;
    std::istringstream in(c.text);
    auto e = thrownBy<GeneralException>([&] {
      if (c.serialisedForm)
        i.unserialize(in);
      else
        i.readFrom(in);
    });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->message, c.message);
    EXPECT_EQ(e->file, "net_types");
    EXPECT_EQ(e->line, c.line);
  }

  // "String" stands in the message whatever the scalar's type.
  NetCType<float> f;
  std::istringstream in("1.5 ]");
  auto e = thrownBy<GeneralException>([&] { f.readFrom(in); });
  ASSERT_TRUE(e);
  EXPECT_EQ(e->message, "Error reading String: '>' expected");
}

TEST(NetTypes, RoundTripThroughTheObjectReader) {
  const int ints[] = {0, 5, -17, INT_MAX, INT_MIN};
  for (int v : ints) {
    NetCType<int> original(v);
    for (const std::string& text : {printOnText(original), serialized(original)}) {
      SCOPED_TRACE(text);
      std::istringstream in(text);
      ObjectRef r;
      in >> r;
      EXPECT_EQ(MURV::dereference_cast<int>(r), v);
      EXPECT_EQ(in.peek(), EOF);
    }
  }
  const float floats[] = {0.0f, 2.5f, -0.125f, 123456.0f, 1.5e-05f};
  for (float v : floats) {
    NetCType<float> original(v);
    for (const std::string& text : {printOnText(original), serialized(original)}) {
      SCOPED_TRACE(text);
      std::istringstream in(text);
      ObjectRef r;
      in >> r;
      EXPECT_EQ(MURV::dereference_cast<float>(r), v);
    }
  }
  for (bool v : {true, false}) {
    std::istringstream in(printOnText(NetCType<bool>(v)));
    ObjectRef r;
    in >> r;
    EXPECT_EQ(MURV::dereference_cast<bool>(r), v);
  }
}

}  // namespace
