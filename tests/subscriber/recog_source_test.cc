// RecogSource: its text form, its deep clone, and its empty serialised form.
#include <gtest/gtest.h>

#include <sstream>

#include "objects/RecogSource.h"

TEST(RecogSource, PrintsSixLines) {
  RecogSource r;
  r.id = 3;
  r.azimuth = 30.5f;
  r.elevation = -10.0f;
  r.status = -1;
  r.aux1 = 7;
  r.entries.push_back({"hello", 1, "sub", 0.5f});
  std::ostringstream out;
  r.printOn(out);
  EXPECT_EQ(out.str(), "<Source \n<id 3 >\n<azimuth 30.5 >\n<elevation -10 >\n<status -1 >\n>\n");
  std::ostringstream pretty;
  r.prettyPrint(pretty);
  EXPECT_EQ(pretty.str(), out.str());
  // The stream's format applies; six significant digits by default.
  r.azimuth = 1.0f / 3.0f;
  std::ostringstream fixed;
  fixed.precision(2);
  r.printOn(fixed);
  EXPECT_NE(fixed.str().find("<azimuth 0.33 >"), std::string::npos) << fixed.str();
}

TEST(RecogSource, ACloneSharesNothing) {
  RecogSource* r = new RecogSource;
  MURV::ObjectRef owner(r);
  r->id = 5;
  r->azimuth = 1.5f;
  r->elevation = 2.5f;
  r->aux1 = 1;
  r->aux2 = 2;
  r->aux3 = 3;
  r->aux4 = 4;
  r->status = -7;
  r->entries.push_back({"one", 1, "uno", 0.25f});
  r->entries.push_back({"two", 2, "dos", 0.75f});
  MURV::ObjectRef copy = r->clone();
  RecogSource& c = MURV::object_cast<RecogSource>(copy);
  EXPECT_NE(&c, r);
  EXPECT_EQ(c.refCountValue(), 1);
  EXPECT_EQ(c.id, 5);
  EXPECT_EQ(c.azimuth, 1.5f);
  EXPECT_EQ(c.elevation, 2.5f);
  EXPECT_EQ(c.aux1 + c.aux2 + c.aux3 + c.aux4, 10);
  EXPECT_EQ(c.status, -7);
  ASSERT_EQ(c.entries.size(), 2u);
  EXPECT_EQ(c.entries[1].entry_subtext, "dos");
  EXPECT_EQ(c.entries[1].entry_value, 0.75f);
  c.entries[0].entry_text = "changed";
  c.entries.pop_back();
  EXPECT_EQ(r->entries[0].entry_text, "one");
  EXPECT_EQ(r->entries.size(), 2u);
}

TEST(RecogSource, HasNoSerialisedOrReadableForm) {
  RecogSource r;
  r.id = 9;
  r.entries.push_back({"x", 1, "y", 1.0f});
  std::ostringstream out;
  r.serialize(out);
  EXPECT_EQ(out.str(), "");
  std::istringstream in("<id 4 > more");
  r.readFrom(in);
  r.unserialize(in);
  EXPECT_EQ(in.tellg(), 0) << "nothing consumed";
  EXPECT_EQ(r.id, 9);
  EXPECT_EQ(r.entries.size(), 1u);
  EXPECT_FALSE(r.isNil());
}
