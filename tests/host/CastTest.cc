// object_cast, dereference_cast, the cast exceptions' texts and the defaults
// of Object's operations.

#include <gtest/gtest.h>

#include <complex>
#include <sstream>

#include "ConversionDispatch.h"
#include "HostTestSupport.h"
#include "ObjectRef.h"
#include "SharedObjects.h"
#include "String.h"
#include "Vector.h"
#include "net_types.h"

using MURV::CastException;
using MURV::GeneralException;
using MURV::NetCType;
using MURV::Object;
using MURV::ObjectRef;
using MURV::Vector;
using murv_test::printed;
using murv_test::thrownBy;

namespace {

// An object that overrides nothing but printOn.
struct PlainObject : Object {
  void printOn(std::ostream& out) const override { out << "<Plain 1 2 >"; }
};

TEST(Casts, ObjectCastGivesTheHeldObject) {
  const long calls = MURV::ConversionDispatch::GetInstance().callCount();
  auto* v = new Vector<float>(2, 1.5f);
  ObjectRef r(v);
  Vector<float>& seen = MURV::object_cast<Vector<float>>(r);
  EXPECT_EQ(&seen, v);
  seen[1] = 4.0f;
  EXPECT_EQ((*v)[1], 4.0f);
  EXPECT_EQ(r->refCountValue(), 1);
  // A cast never converts.
  EXPECT_EQ(MURV::ConversionDispatch::GetInstance().callCount(), calls);
}

TEST(Casts, DereferenceCastWritesThroughToTheSharedObject) {
  ObjectRef r(new NetCType<float>(2.5f));
  ObjectRef other(r);
  float& value = MURV::dereference_cast<float>(r);
  EXPECT_EQ(value, 2.5f);
  value = -1.25f;
  EXPECT_EQ(MURV::dereference_cast<float>(other), -1.25f);
  EXPECT_EQ(MURV::dereference_cast<int>(ObjectRef(new NetCType<int>(7))), 7);

  ASSERT_NE(MURV::TrueObject.get(), nullptr);
  ASSERT_NE(MURV::FalseObject.get(), nullptr);
  EXPECT_TRUE(MURV::dereference_cast<bool>(MURV::TrueObject));
  EXPECT_FALSE(MURV::dereference_cast<bool>(MURV::FalseObject));
}

TEST(Casts, MismatchThrowsCastExceptionNamingBothTypes) {
  ObjectRef anInt(new NetCType<int>(5));

  auto s = thrownBy<CastException<MURV::String>>([&] { MURV::object_cast<MURV::String>(anInt); });
  ASSERT_TRUE(s);
  EXPECT_EQ(s->type, "N4MURV8NetCTypeIiEE");
  EXPECT_EQ(printed(*s), "Cast error: Trying to cast ObjectRef (N4MURV8NetCTypeIiEE) into N4MURV6StringE\n");
  EXPECT_EQ(*s->given, typeid(NetCType<int>));
  EXPECT_EQ(s->object, anInt.get());

  // The exception names the plain type, not the generic holder.
  auto f = thrownBy<CastException<float>>([&] { MURV::dereference_cast<float>(anInt); });
  ASSERT_TRUE(f);
  EXPECT_EQ(printed(*f), "Cast error: Trying to cast ObjectRef (N4MURV8NetCTypeIiEE) into f\n");

  ObjectRef vec(new Vector<std::complex<float>>);
  auto i = thrownBy<CastException<int>>([&] { MURV::dereference_cast<int>(vec); });
  ASSERT_TRUE(i);
  EXPECT_EQ(printed(*i), "Cast error: Trying to cast ObjectRef (N4MURV6VectorISt7complexIfEEE) into i\n");

  auto b = thrownBy<CastException<bool>>([&] { MURV::dereference_cast<bool>(anInt); });
  ASSERT_TRUE(b);
  EXPECT_EQ(printed(*b), "Cast error: Trying to cast ObjectRef (N4MURV8NetCTypeIiEE) into b\n");

  auto v = thrownBy<CastException<Vector<float>>>([&] { MURV::object_cast<Vector<float>>(vec); });
  ASSERT_TRUE(v);
  EXPECT_EQ(printed(*v),
            "Cast error: Trying to cast ObjectRef (N4MURV6VectorISt7complexIfEEE) into N4MURV6VectorIfEE\n");

  // Both casts of a null reference.
  EXPECT_THROW(MURV::object_cast<Vector<float>>(ObjectRef()), std::bad_typeid);
  EXPECT_THROW(MURV::dereference_cast<int>(ObjectRef()), std::bad_typeid);

  // The pointer-cast exception's text.
  MURV::PtrCastException<Vector<ObjectRef>, Object> p("X");
  EXPECT_EQ(printed(p),
            "Cast error: Trying to cast RCPtr <N4MURV6VectorINS_5RCPtrINS_6ObjectEEEEE> (X) into "
            "RCPtr<N4MURV6ObjectE>\n");
  MURV::ParsingException parsing("bad text");
  EXPECT_EQ(printed(parsing), "bad text\n");
}

TEST(Casts, TypeNamesAsPrinted) {
  EXPECT_EQ(MURV::typeName<MURV::String>(), "N4MURV6StringE");
  EXPECT_EQ(MURV::typeName<int>(), "i");
  EXPECT_EQ(MURV::typeName<float>(), "f");
  EXPECT_EQ(MURV::typeName<bool>(), "b");
  EXPECT_EQ(MURV::typeName<Vector<float>>(), "N4MURV6VectorIfEE");
  EXPECT_EQ(MURV::typeName<Vector<std::complex<float>>>(), "N4MURV6VectorISt7complexIfEEE");
  EXPECT_EQ(MURV::typeName<Vector<ObjectRef>>(), "N4MURV6VectorINS_5RCPtrINS_6ObjectEEEEE");
  EXPECT_EQ(MURV::typeName<Object>(), "N4MURV6ObjectE");
  EXPECT_EQ(MURV::typeName<NetCType<int>>(), "N4MURV8NetCTypeIiEE");
}

TEST(ObjectDefaults, PrettyPrintReadFromAndClone) {
  PlainObject plain;
  EXPECT_EQ(murv_test::prettyText(plain), murv_test::printOnText(plain));
  EXPECT_FALSE(plain.isNil());

  // The default reader consumes nothing before it throws.
  std::istringstream in("<Int 5 >");
  auto r = thrownBy<GeneralException>([&] { plain.readFrom(in); });
  ASSERT_TRUE(r);
  EXPECT_EQ(r->message, "Trying to read undefined Object");
  EXPECT_EQ(r->file, "Object");
  EXPECT_EQ(r->line, 86);
  EXPECT_EQ(static_cast<long long>(in.tellg()), 0);
  EXPECT_TRUE(in.good());

  // The clone message names a pointer to Object whatever the class.
  auto c = thrownBy<GeneralException>([&] { plain.clone(); });
  ASSERT_TRUE(c);
  EXPECT_EQ(c->message, "Method clone() not implemented for this object : PN4MURV6ObjectE");
  EXPECT_EQ(c->file, "Object");
  EXPECT_EQ(c->line, 99);

  // Scalars have no clone of their own.
  NetCType<int> scalar(3);
  c = thrownBy<GeneralException>([&] { scalar.clone(); });
  ASSERT_TRUE(c);
  EXPECT_EQ(c->message, "Method clone() not implemented for this object : PN4MURV6ObjectE");
  EXPECT_EQ(c->line, 99);
}

}  // namespace
