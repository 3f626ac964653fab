// Reference counting and the conversions between generic and typed
// references.

#include <gtest/gtest.h>

#include <mutex>
#include <thread>
#include <vector>

#include "ConversionDispatch.h"
#include "HostTestSupport.h"
#include "ObjectRef.h"
#include "Vector.h"

using MURV::ConversionDispatch;
using MURV::GeneralException;
using MURV::Object;
using MURV::ObjectRef;
using MURV::RCPtr;
using murv_test::Probe;
using murv_test::thrownBy;

namespace {

// Types of these tests' own, so that no conversion registered elsewhere in
// the host answers for them.
struct Alpha : Probe {};
struct Beta : Probe {};
struct Gamma : Probe {};
struct Delta : Probe {};

// Gamma converts to a fresh Beta; Delta "converts" to an Alpha, which is no
// Beta; Alpha to Beta has no conversion at all.
ObjectRef gammaToBeta(const ObjectRef&) { return ObjectRef(new Beta); }
ObjectRef deltaToAlpha(const ObjectRef&) { return ObjectRef(new Alpha); }

void registerTestConversions() {
  static std::once_flag once;
  std::call_once(once, [] {
    ConversionDispatch::GetInstance().registerConversion(typeid(Gamma), typeid(Beta), &gammaToBeta);
    ConversionDispatch::GetInstance().registerConversion(typeid(Delta), typeid(Beta), &deltaToAlpha);
  });
}

long dispatcherCalls() { return ConversionDispatch::GetInstance().callCount(); }

// An object that owns the only reference to another.
struct Holder : Probe {
  RCPtr<Beta> inner;
};

TEST(ObjectRefCounting, CopiesShareOneObjectDestroyedOnce) {
  const int destroyedBefore = Probe::destroyed;
  {
    ObjectRef a(new Probe);
    EXPECT_EQ(a->refCountValue(), 1);
    {
      ObjectRef b(a);
      EXPECT_EQ(b.get(), a.get());
      EXPECT_EQ(a->refCountValue(), 2);
      ObjectRef c;
      c = b;
      EXPECT_EQ(a->refCountValue(), 3);
    }
    EXPECT_EQ(a->refCountValue(), 1);
    EXPECT_EQ(Probe::destroyed, destroyedBefore);
  }
  EXPECT_EQ(Probe::destroyed, destroyedBefore + 1);

  ObjectRef empty;
  EXPECT_EQ(empty.get(), nullptr);
}

TEST(ObjectRefCounting, SelfAssignmentKeepsObjectAndCount) {
  const int destroyedBefore = Probe::destroyed;
  ObjectRef a(new Probe);
  Object* held = a.get();
  ObjectRef& alias = a;
  a = alias;
  EXPECT_EQ(a.get(), held);
  EXPECT_EQ(a->refCountValue(), 1);

  a = held;  // adopting the object already held changes nothing either
  EXPECT_EQ(a.get(), held);
  EXPECT_EQ(a->refCountValue(), 1);
  EXPECT_EQ(Probe::destroyed, destroyedBefore);
}

TEST(ObjectRefCounting, MovesHandTheReferenceOverAndLeaveTheSourceEmpty) {
  const int destroyedBefore = Probe::destroyed;
  ObjectRef a(new Probe);
  Object* held = a.get();
  ObjectRef b(std::move(a));
  EXPECT_EQ(a.get(), nullptr);
  EXPECT_EQ(b.get(), held);
  EXPECT_EQ(held->refCountValue(), 1);

  // Moving into a reference that holds an object releases that object.
  ObjectRef c(new Probe);
  c = std::move(b);
  EXPECT_EQ(b.get(), nullptr);
  EXPECT_EQ(c.get(), held);
  EXPECT_EQ(held->refCountValue(), 1);
  EXPECT_EQ(Probe::destroyed, destroyedBefore + 1);

  // Moving a reference into itself keeps it.
  ObjectRef& alias = c;
  c = std::move(alias);
  EXPECT_EQ(c.get(), held);
  EXPECT_EQ(held->refCountValue(), 1);
  EXPECT_EQ(Probe::destroyed, destroyedBefore + 1);

  RCPtr<Probe> typed(new Probe);
  RCPtr<Probe> moved = std::move(typed);
  EXPECT_EQ(typed.get(), nullptr);
  EXPECT_EQ(moved->refCountValue(), 1);
}

TEST(ObjectRefCounting, AssigningFromInsideTheOnlyOwnerKeepsTheTarget) {
  const int aliveBefore = Probe::alive;
  // r holds the only reference to the vector, and the vector the only other
  // reference to the element: the element must be held before the vector goes.
  auto* v = new MURV::Vector<ObjectRef>;
  v->push_back(ObjectRef(new Probe));
  ObjectRef r(v);
  r = (*v)[0];
  ASSERT_NE(dynamic_cast<Probe*>(r.get()), nullptr);
  EXPECT_EQ(r->refCountValue(), 1);
  EXPECT_EQ(murv_test::printOnText(*r), "<Probe >");

  // The same through the upcasting assignment from a typed reference.
  auto* h = new Holder;
  h->inner = RCPtr<Beta>(new Beta);
  ObjectRef owner(h);
  owner = h->inner;
  ASSERT_NE(dynamic_cast<Beta*>(owner.get()), nullptr);
  EXPECT_EQ(owner->refCountValue(), 1);

  r = ObjectRef();
  owner = ObjectRef();
  EXPECT_EQ(Probe::alive, aliveBefore);
}

TEST(ObjectRefCounting, AdoptingAssignment) {
  const int aliveBefore = Probe::alive;
  ObjectRef r(new Probe);
  auto* v = new MURV::Vector<ObjectRef>;
  r = v;  // takes over the fresh object's count, releases the old one
  EXPECT_EQ(r.get(), v);
  EXPECT_EQ(r->refCountValue(), 1);
  EXPECT_EQ(Probe::alive, aliveBefore);

  // A null pointer is refused and the reference keeps what it held.
  MURV::Vector<ObjectRef>* none = nullptr;
  EXPECT_THROW(r = none, std::bad_typeid);
  EXPECT_EQ(r.get(), v);
  EXPECT_EQ(r->refCountValue(), 1);
}

TEST(ObjectRefCounting, CopiesTakenAndDroppedOnManyThreads) {
  const int destroyedBefore = Probe::destroyed;
  const int aliveBefore = Probe::alive;
  ObjectRef shared(new Probe);
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([mine = shared]() mutable {
      for (int i = 0; i < 20000; ++i) {
        ObjectRef a(mine);
        ObjectRef b;
        b = a;
        RCPtr<Probe> typed(b);
      }
      mine = ObjectRef();
    });
  }
  // The main thread's reference goes while the threads still work, so the
  // last reference is dropped by whichever thread finishes last.
  shared = ObjectRef();
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(Probe::destroyed, destroyedBefore + 1);
  EXPECT_EQ(Probe::alive, aliveBefore);
}

TEST(ObjectRefConversion, MatchingTypeIsSharedWithoutDispatch) {
  const long calls = dispatcherCalls();
  ObjectRef r(new Beta);

  RCPtr<Beta> constructed(r);
  EXPECT_EQ(constructed.get(), r.get());
  EXPECT_EQ(r->refCountValue(), 2);

  RCPtr<Beta> assigned(new Beta);
  assigned = r;
  EXPECT_EQ(assigned.get(), r.get());
  EXPECT_EQ(r->refCountValue(), 3);

  // Upcasting shares too.
  ObjectRef up(constructed);
  EXPECT_EQ(up.get(), r.get());
  ObjectRef upAssigned(new Alpha);
  upAssigned = constructed;
  EXPECT_EQ(upAssigned.get(), r.get());
  EXPECT_EQ(r->refCountValue(), 5);

  EXPECT_EQ(dispatcherCalls(), calls);
}

TEST(ObjectRefConversion, MismatchAsksDispatcherOnceAndThrowsWhenUnanswered) {
  const int aliveBefore = Probe::alive;
  ObjectRef alpha(new Alpha);

  long calls = dispatcherCalls();
  auto e = thrownBy<GeneralException>([&] { RCPtr<Beta> b(alpha); });
  ASSERT_TRUE(e);
  EXPECT_EQ(e->message, "Something is wrong in RCPtr::operator=, this should not happen.");
  EXPECT_EQ(e->file, "ObjectRef");
  EXPECT_EQ(e->line, 63);
  EXPECT_EQ(dispatcherCalls(), calls + 1);
  EXPECT_EQ(alpha->refCountValue(), 1);
  // Both types come with it, for a runner to name.
  auto* cast = dynamic_cast<MURV::FailedCast*>(e.get());
  ASSERT_NE(cast, nullptr);
  EXPECT_EQ(cast->wanted(), typeid(Beta));
  EXPECT_EQ(*cast->given, typeid(Alpha));
  EXPECT_EQ(cast->object, alpha.get());

  // A failed assignment keeps what the reference held.
  RCPtr<Beta> b(new Beta);
  Beta* held = b.get();
  calls = dispatcherCalls();
  e = thrownBy<GeneralException>([&] { b = alpha; });
  ASSERT_TRUE(e);
  EXPECT_EQ(e->message, "Something is wrong in RCPtr::operator=, this should not happen.");
  EXPECT_EQ(e->file, "ObjectRef");
  EXPECT_EQ(e->line, 37);
  EXPECT_EQ(dispatcherCalls(), calls + 1);
  EXPECT_EQ(b.get(), held);
  EXPECT_EQ(b->refCountValue(), 1);
  EXPECT_EQ(alpha->refCountValue(), 1);

  alpha = ObjectRef();
  b = RCPtr<Beta>();
  EXPECT_EQ(Probe::alive, aliveBefore);
}

TEST(ObjectRefConversion, DispatcherAnswerIsUsedOnlyWhenOfTheTargetType) {
  registerTestConversions();
  const int aliveBefore = Probe::alive;

  ObjectRef gamma(new Gamma);
  long calls = dispatcherCalls();
  RCPtr<Beta> converted(gamma);
  EXPECT_EQ(dispatcherCalls(), calls + 1);
  ASSERT_NE(converted.get(), nullptr);
  EXPECT_NE(static_cast<Object*>(converted.get()), gamma.get());
  EXPECT_EQ(converted->refCountValue(), 1);  // the temporary answer was released
  EXPECT_EQ(gamma->refCountValue(), 1);      // so was the temporary to the source

  RCPtr<Beta> assigned(new Beta);
  calls = dispatcherCalls();
  assigned = gamma;
  EXPECT_EQ(dispatcherCalls(), calls + 1);
  EXPECT_EQ(assigned->refCountValue(), 1);
  EXPECT_EQ(Probe::alive, aliveBefore + 3);  // gamma and two answers

  // An answer of the wrong type is refused and released.
  ObjectRef delta(new Delta);
  calls = dispatcherCalls();
  auto e = thrownBy<GeneralException>([&] { RCPtr<Beta> b(delta); });
  ASSERT_TRUE(e);
  EXPECT_EQ(e->line, 63);
  EXPECT_EQ(dispatcherCalls(), calls + 1);
  EXPECT_EQ(delta->refCountValue(), 1);
  EXPECT_EQ(Probe::alive, aliveBefore + 4);

  Beta* held = assigned.get();
  e = thrownBy<GeneralException>([&] { assigned = delta; });
  ASSERT_TRUE(e);
  EXPECT_EQ(e->line, 37);
  EXPECT_EQ(assigned.get(), held);
  EXPECT_EQ(Probe::alive, aliveBefore + 4);
}

TEST(ObjectRefConversion, NullReferences) {
  ASSERT_NE(MURV::nilObject.get(), nullptr);
  const long calls = dispatcherCalls();

  // A null generic reference is of no typed kind, and nobody is asked.
  ObjectRef null;
  auto e = thrownBy<GeneralException>([&] { RCPtr<Beta> b(null); });
  ASSERT_TRUE(e);
  EXPECT_EQ(e->message, "Something is wrong in RCPtr::operator=, this should not happen.");
  EXPECT_EQ(e->line, 63);
  e = thrownBy<GeneralException>([&] { RCPtr<MURV::Vector<float>> v(null); });
  ASSERT_TRUE(e);
  EXPECT_EQ(e->line, 63);

  RCPtr<Beta> b(new Beta);
  Beta* held = b.get();
  e = thrownBy<GeneralException>([&] { b = null; });
  ASSERT_TRUE(e);
  EXPECT_EQ(e->line, 37);
  EXPECT_EQ(b.get(), held);

  // A null typed reference becomes the nil object, with a reference taken.
  const int nilCount = MURV::nilObject->refCountValue();
  {
    RCPtr<Beta> nullTyped;
    ObjectRef up(nullTyped);
    EXPECT_EQ(up.get(), MURV::nilObject.get());
    EXPECT_TRUE(up.isNil());
    ObjectRef assigned(new Alpha);
    assigned = nullTyped;
    EXPECT_EQ(assigned.get(), MURV::nilObject.get());
    EXPECT_EQ(MURV::nilObject->refCountValue(), nilCount + 2);
    EXPECT_EQ(MURV::Conversion::convertTo<Beta>(ObjectRef()).get(), MURV::nilObject.get());
  }
  EXPECT_EQ(MURV::nilObject->refCountValue(), nilCount);

  EXPECT_EQ(dispatcherCalls(), calls);
}

}  // namespace
