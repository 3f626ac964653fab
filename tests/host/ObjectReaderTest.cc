// Reading host objects from text by their type word, and what the reader
// does with text that is wrong, cut short or built to exhaust it.

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "HostTestSupport.h"
#include "ObjectParser.h"
#include "Vector.h"
#include "net_types.h"

using MURV::BaseException;
using MURV::GeneralException;
using MURV::NetCType;
using MURV::ObjectRef;
using MURV::ParsingException;
using MURV::Vector;
using murv_test::Probe;
using murv_test::thrownBy;

namespace {

std::string nested(int depth) {
  std::string text;
  for (int i = 0; i < depth; ++i) text += "<Vector<ObjectRef> ";
  for (int i = 0; i < depth; ++i) text += "> ";
  return text;
}

int depthOf(const ObjectRef& r) {
  int depth = 0;
  const Vector<ObjectRef>* v = dynamic_cast<const Vector<ObjectRef>*>(r.get());
  while (v) {
    ++depth;
    v = v->empty() ? nullptr : dynamic_cast<const Vector<ObjectRef>*>((*v)[0].get());
  }
  return depth;
}

TEST(ObjectReader, ReplacesTheHeldObject) {
  const int aliveBefore = Probe::alive;
  ObjectRef r(new Probe);
  std::istringstream in("  \n\t<Int 12 > {Float |0.5 }");
  in >> r;
  EXPECT_EQ(Probe::alive, aliveBefore);
  EXPECT_EQ(MURV::dereference_cast<int>(r), 12);
  EXPECT_EQ(r->refCountValue(), 1);
  in >> r;
  EXPECT_EQ(MURV::dereference_cast<float>(r), 0.5f);
  EXPECT_TRUE(in.good());
}

TEST(ObjectReader, BarSearchInTheSerialisedForm) {
  // The bar is found among the first six non-blank characters.
  std::istringstream sixth("{Int a b c d e| 7 }");
  ObjectRef r;
  sixth >> r;
  EXPECT_EQ(MURV::dereference_cast<int>(r), 7);

  // In seventh place it is consumed and the read fails, leaving the new object.
  std::istringstream seventh("{Int a b c d e f| 7 }");
  ObjectRef s(new Probe);
  auto e = thrownBy<ParsingException>([&] { seventh >> s; });
  ASSERT_TRUE(e);
  EXPECT_EQ(e->message, "Cannot find sync \"|\" symbol for unserialize");
  EXPECT_NE(dynamic_cast<NetCType<int>*>(s.get()), nullptr);
  std::string rest;
  std::getline(seventh, rest);
  EXPECT_EQ(rest, " 7 }");

  std::istringstream cut("{Int a");
  e = thrownBy<ParsingException>([&] { cut >> s; });
  ASSERT_TRUE(e);
  EXPECT_EQ(e->message, "Cannot find sync \"|\" symbol for unserialize");
}

TEST(ObjectReader, ErrorTable) {
  struct Case {
    const char* text;
    bool parsing;  // a ParsingException, else a GeneralException
    const char* message;
    const char* file;
    int line;
  };
  const Case cases[] = {
      {"[1 2]", true, "Expected '<' or '{' (got '[')", "", 0},
      {"Int 5 >", true, "Expected '<' or '{' (got 'I')", "", 0},
      {"", true, "Expected '<' or '{' (got end of input)", "", 0},
      {" \n\t ", true, "Expected '<' or '{' (got end of input)", "", 0},
      {"<Int 5 x", false, "Error reading String: '>' expected", "net_types", 209},
      {"<Int 5", false, "Error reading String: '>' expected", "net_types", 209},
      {"<Float nan? >", false, "Error reading String: '>' expected", "net_types", 209},
      {"{Int |5 >", false, "Error reading String: '}' expected", "net_types", 228},
      {"{Int |", false, "Error reading String: '}' expected", "net_types", 228},
      {"{Int", true, "Cannot find sync \"|\" symbol for unserialize", "", 0},
      {"<Vector<float> 1 2 a >", false, "Error reading Vector", "Vector", 209},
      {"<Vector<float> 1 2", false, "Error reading Vector", "Vector", 209},
      {"<Vector<int> 1 2.5 >", false, "Error reading Vector", "Vector", 209},
      {"<Vector<complex<float>> (1,2 >", false, "Error reading Vector", "Vector", 209},
      {"<Vector<ObjectRef> <Int 1 >", false, "Error reading Vector", "Vector", 209},
      {"<Vector<ObjectRef> <Int 1 > [", true, "Expected '<' or '{' (got '[')", "", 0},
      {"<Vector<ObjectRef> <Int 1 > 5 >", true, "Expected '<' or '{' (got '5')", "", 0},
      // A stamp reads nothing of its text, but one without any cannot close.
      {"<TimeStamp", true, "TimeStamp: '>' expected", "", 0},
      {"<Vector<ObjectRef> <TimeStamp", true, "TimeStamp: '>' expected", "", 0},
      // Blanks of any kind hold no '>' either.
      {"<TimeStamp\v", true, "TimeStamp: '>' expected", "", 0},
      {"<TimeStamp\f", true, "TimeStamp: '>' expected", "", 0},
      {"<TimeStamp \t\r\n\v\f ", true, "TimeStamp: '>' expected", "", 0},
      // Inside another object the stamp's '>' would be taken for the
      // object's own, whether the text is balanced or not.
      {"<Vector<ObjectRef> <TimeStamp >", true, "TimeStamp: a stamp inside another object cannot be closed", "", 0},
      {"<Vector<ObjectRef> <TimeStamp > >", true, "TimeStamp: a stamp inside another object cannot be closed", "", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    std::istringstream in(c.text);
    ObjectRef r;
    if (c.parsing) {
      auto e = thrownBy<ParsingException>([&] { in >> r; });
      ASSERT_TRUE(e);
      EXPECT_EQ(e->message, c.message);
    } else {
      auto e = thrownBy<GeneralException>([&] { in >> r; });
      ASSERT_TRUE(e);
      EXPECT_EQ(e->message, c.message);
      EXPECT_EQ(e->file, c.file);
      EXPECT_EQ(e->line, c.line);
    }
  }
}

TEST(ObjectReader, PartlyReadObjectIsKept) {
  std::istringstream in("<Vector<float> 1 2 a >");
  ObjectRef r;
  auto e = thrownBy<GeneralException>([&] { in >> r; });
  ASSERT_TRUE(e);
  EXPECT_EQ(MURV::object_cast<Vector<float>>(r), std::vector<float>({1, 2}));

  std::istringstream refs("<Vector<ObjectRef> <Int 1 > <Vector<int> 4 x > >");
  e = thrownBy<GeneralException>([&] { refs >> r; });
  ASSERT_TRUE(e);
  const Vector<ObjectRef>& v = MURV::object_cast<Vector<ObjectRef>>(r);
  ASSERT_EQ(v.size(), 1u);
  EXPECT_EQ(MURV::dereference_cast<int>(v[0]), 1);
  EXPECT_EQ(r->refCountValue(), 1);
}

TEST(ObjectReader, UnknownTypeWords) {
  const int aliveBefore = Probe::alive;
  ObjectRef r(new Probe);
  Probe* held = static_cast<Probe*>(r.get());
  for (const char* text : {"<NoSuchType 1 >", "{NoSuchType |1 }", "<int 5 >", "<Vector<double> 1 >"}) {
    SCOPED_TRACE(text);
    std::istringstream in(text);
    std::string word = std::string(text).substr(1, std::string(text).find(' ') - 1);
    auto e = thrownBy<GeneralException>([&] { in >> r; });
    ASSERT_TRUE(e);
    EXPECT_NE(e->message.find(word), std::string::npos) << e->message;
    // Nothing was created, so the reference keeps what it held.
    EXPECT_EQ(r.get(), held);
  }

  // Nested, the unknown word fails the whole read; the outer vector is kept
  // without the element.
  std::istringstream in("<Vector<ObjectRef> <Int 1 > <Probe > >");
  auto e = thrownBy<GeneralException>([&] { in >> r; });
  ASSERT_TRUE(e);
  EXPECT_NE(e->message.find("Probe"), std::string::npos) << e->message;
  EXPECT_EQ(MURV::object_cast<Vector<ObjectRef>>(r).size(), 1u);

  // A type word cut off by the end of input.
  std::istringstream noWord("<");
  EXPECT_TRUE(thrownBy<GeneralException>([&] { noWord >> r; }));
  r = ObjectRef();
  EXPECT_EQ(Probe::alive, aliveBefore);
}

TEST(ObjectReader, NestingDepthIsBounded) {
  ObjectRef r;
  {
    std::istringstream in(nested(MURV::maxObjectNesting));
    in >> r;
    EXPECT_EQ(depthOf(r), MURV::maxObjectNesting);
  }
  {
    std::istringstream in(nested(MURV::maxObjectNesting + 1));
    auto e = thrownBy<ParsingException>([&] { in >> r; });
    ASSERT_TRUE(e);
    EXPECT_NE(e->message.find("nested"), std::string::npos) << e->message;
  }
  {
    // Far deeper than any stack would take if each level recursed unchecked.
    std::string hostile;
    for (int i = 0; i < 100000; ++i) hostile += "<Vector<ObjectRef> ";
    std::istringstream in(hostile);
    EXPECT_TRUE(thrownBy<ParsingException>([&] { in >> r; }));
  }
  {
    // The count unwinds with the exception: full depth is available again.
    std::istringstream in(nested(MURV::maxObjectNesting));
    in >> r;
    EXPECT_EQ(depthOf(r), MURV::maxObjectNesting);
  }
}

TEST(ObjectReader, TruncatedTextNeverReadsAsComplete) {
  const std::string text =
      "<Vector<ObjectRef> <Int 5 > {Float |1.5 } <Vector<float> 1 2 3 > "
      "<Vector<complex<float>> (1,2) 3 > <Vector<ObjectRef> <Vector<int> -1 > > > ";
  {
    std::istringstream in(text);
    ObjectRef r;
    in >> r;
    EXPECT_EQ(MURV::object_cast<Vector<ObjectRef>>(r).size(), 5u);
  }
  // Every cut before the final '>' fails with a host exception.
  const size_t closing = text.rfind('>');
  for (size_t n = 0; n < closing; ++n) {
    SCOPED_TRACE(text.substr(0, n));
    std::istringstream in(text.substr(0, n));
    ObjectRef r;
    EXPECT_TRUE(thrownBy<BaseException>([&] { in >> r; }));
  }
}

}  // namespace
