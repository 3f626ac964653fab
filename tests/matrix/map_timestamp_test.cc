#include <gtest/gtest.h>

#include <complex>
#include <sstream>
#include <string>

#include "Map.h"
#include "Matrix.h"
#include "ObjectParser.h"
#include "ObjectRef.h"
#include "TimeStamp.h"
#include "test_util.h"

using namespace MURV;
using murvtest::printed;
using murvtest::rest;
typedef Map<int, ObjectRef> ObjectMap;

namespace {

ObjectRef stamp(long sec, long usec) {
  TimeStamp* t = new TimeStamp;
  t->sec = sec;
  t->usec = usec;
  return ObjectRef(t);
}

// Runs f, expecting the host's GeneralException; returns "message|file|line".
template <class F> std::string generalError(F f) {
  try {
    f();
  } catch (GeneralException* e) {
    std::string s = e->message + "|" + e->file + "|" + std::to_string(e->line);
    delete e;
    return s;
  } catch (BaseException* e) {
    delete e;
    return "<other exception>";
  }
  return "<no exception>";
}

}  // namespace

TEST(ObjectTypes, RegisteredUnderTheirTypeWords) {
  const char* words[] = {"Matrix<float>", "Matrix<int>", "Matrix<complex<float>>", "Map<int,ObjectRef>", "TimeStamp"};
  for (const char* word : words) {
    ObjectRef o = Object::newObject(word);
    ASSERT_NE(o.get(), nullptr) << word;
    EXPECT_EQ(o->className(), word);
    EXPECT_EQ(o->refCountValue(), 1) << word;
  }
  EXPECT_TRUE(object_cast<Matrix<float>>(Object::newObject("Matrix<float>")).mempty());
  EXPECT_TRUE(object_cast<Matrix<std::complex<float>>>(Object::newObject("Matrix<complex<float>>")).mempty());
  EXPECT_TRUE(object_cast<ObjectMap>(Object::newObject("Map<int,ObjectRef>")).empty());
  EXPECT_EQ(object_cast<TimeStamp>(Object::newObject("TimeStamp")).sec, 0);
  EXPECT_EQ(object_cast<TimeStamp>(Object::newObject("TimeStamp")).usec, 0);

  // Cast errors name the classes by these compiler names.
  EXPECT_EQ(typeName<TimeStamp>(), "N4MURV9TimeStampE");
  EXPECT_EQ(typeName<ObjectMap>(), "N4MURV3MapIiNS_5RCPtrINS_6ObjectEEEEE");
}

TEST(MapText, PrintsEntriesInKeyOrder) {
  ObjectMap empty;
  EXPECT_EQ(printed(empty), "Map empty\n");

  ObjectMap m;
  m[3] = stamp(3, 30);
  m[1] = stamp(1, 10);
  EXPECT_EQ(printed(m),
            "Map begins from 1\n"
            "Number of channels is 2\n"
            "Map's ObjectRef's channel 1 is:\n"
            "<TimeStamp <sec 1> <usec 10> >\n"
            "Map's ObjectRef's channel 3 is:\n"
            "<TimeStamp <sec 3> <usec 30> >\n");
  std::ostringstream pretty;
  m.prettyPrint(pretty);
  EXPECT_EQ(pretty.str(), printed(m));

  ObjectMap neg;
  neg[-4] = stamp(0, 0);
  EXPECT_EQ(printed(neg).substr(0, 20), "Map begins from -4\nN");

  // A map cannot be read from text.
  std::istringstream in("anything");
  EXPECT_EQ(generalError([&] { m.readFrom(in); }), "Trying to read undefined Object|Object|86");
  EXPECT_EQ(rest(in), "anything");
}

TEST(MapCopy, CloneSharesTheValues) {
  ObjectRef source(new ObjectMap);
  ObjectMap& src = object_cast<ObjectMap>(source);
  src[2] = ObjectRef(new Matrix<float>(1, 2));
  src[5] = stamp(5, 0);
  Object* two = src[2].get();
  Object* five = src[5].get();
  EXPECT_EQ(two->refCountValue(), 1);

  {
    ObjectRef copy = source->clone();
    ObjectMap& dst = object_cast<ObjectMap>(copy);
    EXPECT_NE(&dst, &src);
    EXPECT_EQ(dst.refCountValue(), 1);
    ASSERT_EQ(dst.size(), 2u);
    EXPECT_EQ(dst[2].get(), two);
    EXPECT_EQ(dst[5].get(), five);
    EXPECT_EQ(two->refCountValue(), 2);
    EXPECT_EQ(five->refCountValue(), 2);

    object_cast<Matrix<float>>(dst[2]).data[1] = 42;
    EXPECT_EQ(object_cast<Matrix<float>>(src[2]).data[1], 42);

    // The maps themselves are separate.
    dst.erase(5);
    EXPECT_EQ(src.size(), 2u);
    EXPECT_EQ(five->refCountValue(), 1);
  }
  EXPECT_EQ(two->refCountValue(), 1);

  // Destroying a map releases its values.
  ObjectRef kept = src[2];
  EXPECT_EQ(two->refCountValue(), 2);
  source = ObjectRef(new ObjectMap);
  EXPECT_EQ(two->refCountValue(), 1);
}

TEST(TimeStampText, PrintsWithoutEndOfLine) {
  EXPECT_EQ(printed(*stamp(12, 345)), "<TimeStamp <sec 12> <usec 345> >");
  EXPECT_EQ(printed(*stamp(-1, 999999)), "<TimeStamp <sec -1> <usec 999999> >");
  EXPECT_EQ(printed(*stamp(17000000000L, 0)), "<TimeStamp <sec 17000000000> <usec 0> >");
  EXPECT_EQ(printed(TimeStamp()), "<TimeStamp <sec 0> <usec 0> >");

  TimeStamp t;
  t.sec = 12;
  t.usec = 345;
  std::ostringstream pretty;
  t.prettyPrint(pretty);
  EXPECT_EQ(pretty.str(), "<TimeStamp <sec 12> <usec 345> >");
}

TEST(TimeStampText, ReaderConsumesOnlyTheTypeWord) {
  std::istringstream in("<TimeStamp <sec 12> <usec 345> >");
  ObjectRef ref;
  in >> ref;
  TimeStamp& t = object_cast<TimeStamp>(ref);
  EXPECT_EQ(t.sec, 0);
  EXPECT_EQ(t.usec, 0);
  EXPECT_EQ(rest(in), " <sec 12> <usec 345> >");
}

TEST(TimeStampCopy, CannotBeCloned) {
  ObjectRef t = stamp(1, 2);
  EXPECT_EQ(generalError([&] { t->clone(); }),
            "Method clone() not implemented for this object : PN4MURV6ObjectE|Object|99");
  EXPECT_EQ(t->refCountValue(), 1);
}

TEST(MapText, ANullValuePrintsAsNilInsteadOfCrashing) {
  ObjectMap m;
  m[2] = ObjectRef();
  std::ostringstream nil;
  nilObject->printOn(nil);
  EXPECT_EQ(printed(m), "Map begins from 2\nNumber of channels is 1\nMap's ObjectRef's channel 2 is:\n" + nil.str() + "\n");
}
