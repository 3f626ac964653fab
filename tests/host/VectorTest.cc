// Vectors: type words, text forms, readers, clones and the ownership of the
// elements of a vector of references.

#include <gtest/gtest.h>

#include <climits>
#include <complex>
#include <iomanip>
#include <sstream>
#include <string>
#include <vector>

#include "HostTestSupport.h"
#include "ObjectParser.h"
#include "Vector.h"
#include "net_types.h"

using MURV::GeneralException;
using MURV::NetCType;
using MURV::Object;
using MURV::ObjectRef;
using MURV::Vector;
using murv_test::prettyText;
using murv_test::printOnText;
using murv_test::Probe;
using murv_test::thrownBy;
typedef std::complex<float> cfloat;

namespace {

template <class T> Vector<T>* makeVector(std::initializer_list<T> values) {
  auto* v = new Vector<T>;
  for (const T& x : values) v->push_back(x);
  return v;
}

std::string nilText() {
  std::ostringstream out;
  MURV::nilObject->printOn(out);
  return out.str();
}

std::string nilPretty() {
  std::ostringstream out;
  MURV::nilObject->prettyPrint(out);
  return out.str();
}

TEST(Vectors, TypeWordsRegistryAndSizes) {
  EXPECT_EQ(Vector<float>().className(), "Vector<float>");
  EXPECT_EQ(Vector<int>().className(), "Vector<int>");
  EXPECT_EQ(Vector<cfloat>().className(), "Vector<complex<float>>");
  EXPECT_EQ(Vector<ObjectRef>().className(), "Vector<ObjectRef>");

  EXPECT_NE(dynamic_cast<Vector<float>*>(Object::newObject("Vector<float>").get()), nullptr);
  EXPECT_NE(dynamic_cast<Vector<int>*>(Object::newObject("Vector<int>").get()), nullptr);
  EXPECT_NE(dynamic_cast<Vector<cfloat>*>(Object::newObject("Vector<complex<float>>").get()), nullptr);
  ObjectRef refs = Object::newObject("Vector<ObjectRef>");
  ASSERT_NE(dynamic_cast<Vector<ObjectRef>*>(refs.get()), nullptr);
  EXPECT_EQ(refs->refCountValue(), 1);

  Vector<int> filled(3, 7);
  EXPECT_EQ(filled.vsize(), 3u);
  EXPECT_FALSE(filled.vempty());
  EXPECT_EQ(filled, std::vector<int>({7, 7, 7}));
  EXPECT_EQ(filled.refCountValue(), 1);
  EXPECT_TRUE(Vector<cfloat>().vempty());
  EXPECT_EQ(Vector<cfloat>().vsize(), 0u);
}

TEST(Vectors, GoldenTextForms) {
  Vector<float> empty;
  EXPECT_EQ(printOnText(empty), "<Vector<float> > ");
  EXPECT_EQ(prettyText(empty), "\n");

  ObjectRef floats(makeVector<float>({1.5f, -2.0f, 1234567.0f, 3.14159265f}));
  EXPECT_EQ(printOnText(*floats), "<Vector<float> 1.5 -2 1.23457e+06 3.14159 > ");
  EXPECT_EQ(prettyText(*floats), "1.5 -2 1.23457e+06 3.14159 \n");

  // The stream's own settings are used, not replaced.
  std::ostringstream narrow;
  narrow << std::setprecision(2);
  floats->printOn(narrow);
  EXPECT_EQ(narrow.str(), "<Vector<float> 1.5 -2 1.2e+06 3.1 > ");

  ObjectRef ints(makeVector<int>({1, -2, INT_MAX}));
  EXPECT_EQ(printOnText(*ints), "<Vector<int> 1 -2 2147483647 > ");
  EXPECT_EQ(prettyText(*ints), "1 -2 2147483647 \n");

  ObjectRef complexes(makeVector<cfloat>({cfloat(1, 2), cfloat(3, -4)}));
  EXPECT_EQ(printOnText(*complexes), "<Vector<complex<float>> (1,2) (3,-4) > ");
  EXPECT_EQ(prettyText(*complexes), "(1,2) (3,-4) \n");

  Vector<ObjectRef> noRefs;
  EXPECT_EQ(printOnText(noRefs), "<Vector<ObjectRef> > ");
  EXPECT_EQ(prettyText(noRefs), "");

  // Each element in its own form; a nested vector brings its trailing blank.
  Vector<ObjectRef> refs;
  refs.push_back(ObjectRef(new NetCType<int>(5)));
  refs.push_back(ObjectRef(makeVector<float>({1.0f, 2.5f})));
  refs.push_back(ObjectRef(new NetCType<float>(0.25f)));
  refs.push_back(ObjectRef(new Vector<ObjectRef>));
  EXPECT_EQ(printOnText(refs),
            "<Vector<ObjectRef> <Int 5 > <Vector<float> 1 2.5 >  <Float 0.25 > <Vector<ObjectRef> >  > ");
  EXPECT_EQ(prettyText(refs), "5 \n1 2.5 \n\n0.25 \n\n");
}

TEST(Vectors, NumberReaders) {
  // The reader starts after "<" and the type word.
  Vector<float> v;
  for (const char* text : {" 1 2 3 >", " 1 2 3>", "1\n2\t3 > trailing"}) {
    SCOPED_TRACE(text);
    std::istringstream in(text);
    v.readFrom(in);
    EXPECT_EQ(v, std::vector<float>({1, 2, 3}));
  }
  {
    // Earlier contents are replaced.
    std::istringstream in("  \n >");
    v.readFrom(in);
    EXPECT_TRUE(v.empty());
  }
  {
    Vector<int> i;
    std::istringstream in(" -4 0 12>");
    i.readFrom(in);
    EXPECT_EQ(i, std::vector<int>({-4, 0, 12}));
  }
  {
    // A complex element may be a bare real part, a real part in parentheses
    // or both parts.
    Vector<cfloat> c;
    std::istringstream in(" 1 (2) (3,4) (-1.5,-0.5)>");
    c.readFrom(in);
    EXPECT_EQ(c, std::vector<cfloat>({cfloat(1, 0), cfloat(2, 0), cfloat(3, 4), cfloat(-1.5f, -0.5f)}));
  }
}

TEST(Vectors, ReaderErrorsKeepWhatWasRead) {
  struct Case {
    const char* text;
    std::vector<float> kept;
  };
  const Case floatCases[] = {
      {" 1 2 a >", {1, 2}},
      {" 1 2", {1, 2}},  // input ends before '>'
      {" 1 2 ", {1, 2}},
      {"", {}},
      {" ] >", {}},
  };
  for (const Case& c : floatCases) {
    SCOPED_TRACE(c.text);
    Vector<float> v(4, 9.0f);
    std::istringstream in(c.text);
    auto e = thrownBy<GeneralException>([&] { v.readFrom(in); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->message, "Error reading Vector");
    EXPECT_EQ(e->file, "Vector");
    EXPECT_EQ(e->line, 209);
    EXPECT_EQ(v, c.kept);
  }

  Vector<int> i;
  std::istringstream intText(" 1 2.5 >");  // 2 is read, then ".5" is no integer
  auto e = thrownBy<GeneralException>([&] { i.readFrom(intText); });
  ASSERT_TRUE(e);
  EXPECT_EQ(e->message, "Error reading Vector");
  EXPECT_EQ(i, std::vector<int>({1, 2}));

  Vector<cfloat> c;
  std::istringstream complexText(" (1,2) (3,4 >");
  e = thrownBy<GeneralException>([&] { c.readFrom(complexText); });
  ASSERT_TRUE(e);
  EXPECT_EQ(e->line, 209);
  EXPECT_EQ(c, std::vector<cfloat>({cfloat(1, 2)}));
}

TEST(Vectors, RoundTripsOfEveryElementType) {
  auto roundTrip = [](const Object& original) {
    std::istringstream in(printOnText(original));
    ObjectRef r;
    in >> r;
    EXPECT_EQ(in.get(), ' ');  // the blank after '>' stays in the stream
    EXPECT_EQ(in.peek(), EOF);
    return r;
  };

  ObjectRef floats(makeVector<float>({0.0f, -1.5f, 3.25f, 123456.0f, 1.5e-05f, -7.0e+20f}));
  EXPECT_EQ(MURV::object_cast<Vector<float>>(roundTrip(*floats)), MURV::object_cast<Vector<float>>(floats));
  EXPECT_TRUE(MURV::object_cast<Vector<float>>(roundTrip(Vector<float>())).empty());

  ObjectRef ints(makeVector<int>({0, -1, 42, INT_MAX, INT_MIN}));
  EXPECT_EQ(MURV::object_cast<Vector<int>>(roundTrip(*ints)), MURV::object_cast<Vector<int>>(ints));

  ObjectRef complexes(makeVector<cfloat>({cfloat(0, 0), cfloat(1, -2), cfloat(-0.5f, 1e+10f)}));
  EXPECT_EQ(MURV::object_cast<Vector<cfloat>>(roundTrip(*complexes)), MURV::object_cast<Vector<cfloat>>(complexes));

  // References: scalars and vectors of every kind, nested two deep.
  auto* inner = new Vector<ObjectRef>;
  inner->push_back(ObjectRef(new NetCType<int>(-3)));
  inner->push_back(ObjectRef(new Vector<ObjectRef>));
  Vector<ObjectRef> refs;
  refs.push_back(floats);
  refs.push_back(ints);
  refs.push_back(complexes);
  refs.push_back(ObjectRef(new NetCType<float>(0.75f)));
  refs.push_back(ObjectRef(inner));
  ObjectRef back = roundTrip(refs);
  const Vector<ObjectRef>& read = MURV::object_cast<Vector<ObjectRef>>(back);
  ASSERT_EQ(read.size(), 5u);
  EXPECT_EQ(MURV::object_cast<Vector<float>>(read[0]), MURV::object_cast<Vector<float>>(floats));
  EXPECT_EQ(MURV::object_cast<Vector<int>>(read[1]), MURV::object_cast<Vector<int>>(ints));
  EXPECT_EQ(MURV::object_cast<Vector<cfloat>>(read[2]), MURV::object_cast<Vector<cfloat>>(complexes));
  EXPECT_EQ(MURV::dereference_cast<float>(read[3]), 0.75f);
  const Vector<ObjectRef>& readInner = MURV::object_cast<Vector<ObjectRef>>(read[4]);
  ASSERT_EQ(readInner.size(), 2u);
  EXPECT_EQ(MURV::dereference_cast<int>(readInner[0]), -3);
  EXPECT_TRUE(MURV::object_cast<Vector<ObjectRef>>(readInner[1]).empty());
  for (const ObjectRef& e : read) EXPECT_EQ(e->refCountValue(), 1);
  EXPECT_EQ(printOnText(read), printOnText(refs));

  // Elements may also come in the serialised form.
  std::istringstream mixed("<Vector<ObjectRef> {Int |7 } <Int 8 >>");
  ObjectRef m;
  mixed >> m;
  const Vector<ObjectRef>& mv = MURV::object_cast<Vector<ObjectRef>>(m);
  ASSERT_EQ(mv.size(), 2u);
  EXPECT_EQ(MURV::dereference_cast<int>(mv[0]), 7);
  EXPECT_EQ(MURV::dereference_cast<int>(mv[1]), 8);
}

TEST(Vectors, ReferenceElementsAreOwned) {
  const int aliveBefore = Probe::alive;
  ObjectRef element(new Probe);
  {
    Vector<ObjectRef> v;
    v.push_back(element);
    v.push_back(ObjectRef(new Probe));
    EXPECT_EQ(element->refCountValue(), 2);
    EXPECT_EQ(Probe::alive, aliveBefore + 2);

    // Reading replaces the elements and releases the old ones.
    std::istringstream in(" <Int 1 > >");
    v.readFrom(in);
    EXPECT_EQ(v.size(), 1u);
    EXPECT_EQ(Probe::alive, aliveBefore + 1);
    EXPECT_EQ(element->refCountValue(), 1);

    v.push_back(element);
  }
  EXPECT_EQ(element->refCountValue(), 1);
  element = ObjectRef();
  EXPECT_EQ(Probe::alive, aliveBefore);
}

TEST(Vectors, CloneOfNumbersIsIndependent) {
  ObjectRef original(makeVector<cfloat>({cfloat(1, 2), cfloat(3, 4)}));
  ObjectRef copy = original->clone();
  ASSERT_NE(copy.get(), original.get());
  const Object& held = *copy;
  EXPECT_TRUE(typeid(held) == typeid(Vector<cfloat>));
  EXPECT_EQ(copy->refCountValue(), 1);
  EXPECT_EQ(original->refCountValue(), 1);
  Vector<cfloat>& c = MURV::object_cast<Vector<cfloat>>(copy);
  EXPECT_EQ(c, MURV::object_cast<Vector<cfloat>>(original));
  c[0] = cfloat(9, 9);
  EXPECT_EQ(MURV::object_cast<Vector<cfloat>>(original)[0], cfloat(1, 2));

  ObjectRef ints(makeVector<int>({4, 5}));
  EXPECT_EQ(MURV::object_cast<Vector<int>>(ints->clone()), std::vector<int>({4, 5}));
  EXPECT_TRUE(MURV::object_cast<Vector<float>>(ObjectRef(new Vector<float>)->clone()).empty());
}

TEST(Vectors, CloneOfReferencesIsDeep) {
  ObjectRef a(makeVector<float>({1.0f, 2.0f}));
  ObjectRef b(makeVector<float>({-3.0f}));
  Vector<ObjectRef> v;
  v.push_back(a);
  v.push_back(b);

  ObjectRef copy = v.clone();
  const Vector<ObjectRef>& c = MURV::object_cast<Vector<ObjectRef>>(copy);
  ASSERT_EQ(c.size(), 2u);
  EXPECT_NE(c[0].get(), a.get());
  EXPECT_NE(c[1].get(), b.get());
  EXPECT_EQ(MURV::object_cast<Vector<float>>(c[0]), MURV::object_cast<Vector<float>>(a));
  EXPECT_EQ(MURV::object_cast<Vector<float>>(c[1]), MURV::object_cast<Vector<float>>(b));
  EXPECT_EQ(c[0]->refCountValue(), 1);
  EXPECT_EQ(a->refCountValue(), 2);  // a and the original vector's element
  EXPECT_EQ(copy->refCountValue(), 1);
}

TEST(Vectors, FailedCloneOfReferencesLeaksNothing) {
  const int aliveBefore = Probe::alive;
  Vector<ObjectRef> v;
  v.push_back(ObjectRef(new Probe));
  v.push_back(ObjectRef(new Probe));
  v.push_back(ObjectRef(new NetCType<int>(1)));  // scalars have no clone
  v.push_back(ObjectRef(new Probe));

  auto e = thrownBy<GeneralException>([&] { v.clone(); });
  ASSERT_TRUE(e);
  EXPECT_EQ(e->message, "Method clone() not implemented for this object : PN4MURV6ObjectE");
  EXPECT_EQ(e->line, 99);
  // The two probes cloned before the failure went with the unfinished copy.
  EXPECT_EQ(Probe::alive, aliveBefore + 3);
  for (const ObjectRef& x : v) EXPECT_EQ(x->refCountValue(), 1);
}

TEST(Vectors, NullReferenceElements) {
  ASSERT_NE(MURV::nilObject.get(), nullptr);
  const int aliveBefore = Probe::alive;
  Vector<ObjectRef> v(1);
  v.push_back(ObjectRef(new Probe));
  v.push_back(ObjectRef());

  // A null element is written as the nil object it stands for.
  EXPECT_EQ(printOnText(v), "<Vector<ObjectRef> " + nilText() + " <Probe > " + nilText() + " > ");
  EXPECT_EQ(prettyText(v), nilPretty() + "\n<Probe >\n" + nilPretty() + "\n");

  // And clones as a null element.
  ObjectRef copy = v.clone();
  const Vector<ObjectRef>& c = MURV::object_cast<Vector<ObjectRef>>(copy);
  ASSERT_EQ(c.size(), 3u);
  EXPECT_EQ(c[0].get(), nullptr);
  EXPECT_EQ(c[2].get(), nullptr);
  EXPECT_NE(dynamic_cast<Probe*>(c[1].get()), nullptr);
  EXPECT_NE(c[1].get(), v[1].get());
  EXPECT_EQ(Probe::alive, aliveBefore + 2);
}

}  // namespace
