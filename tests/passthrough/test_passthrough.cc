// BeatCandidate and STPMPublisher in small networks of test sources.
#include <gtest/gtest.h>

#include <functional>

#include "Node.h"
#include "SharedObjects.h"
#include "Vector.h"
#include "net_types.h"

using namespace MURV;

namespace {

// A source whose object for each count comes from a function (a null
// reference included); records every count it was asked for.
class Feed : public Node {
public:
  Feed(std::function<ObjectRef(int)> f) : Node("feed", ParameterSet()), produce(std::move(f)) {
    out = addOutput("OUT");
    initialize();
  }
  ObjectRef getOutput(int, int count) override {
    computed.push_back(count);
    return produce(count);
  }
  std::function<ObjectRef(int)> produce;
  std::vector<int> computed;
  int out;
};

Node* make(const std::string& type, const std::string& name = "node") {
  return Node::getFactoryNamed(type)->Create(name, ParameterSet());
}

ObjectRef floatObject(float v) { return ObjectRef(new NetCType<float>(v)); }

struct Caught {
  std::string text;
  std::string lastFile;
  int lastLine = 0;
};

template <class F> Caught hostFailure(F f) {
  Caught c;
  try {
    f();
  } catch (BaseException* e) {
    c.text = e->text();
    if (!e->chained().empty()) {
      if (auto* ne = dynamic_cast<NodeException*>(e->chained().back())) {
        c.lastFile = ne->file;
        c.lastLine = ne->line;
      }
    }
    delete e;
  }
  return c;
}

}  // namespace

TEST(BeatCandidate, ConsoleLinesAndTheTempoAsANewFloat) {
  testing::internal::CaptureStdout();
  Node* beat = make("BeatCandidate");
  std::string constructed = testing::internal::GetCapturedStdout();
  EXPECT_EQ(constructed, "BeatCandidate::BeatCandidate\n");

  ObjectRef tempo = floatObject(120.5f);
  Feed tempoFeed([&](int) { return tempo; });
  Feed flagFeed([](int) { return FalseObject; });
  beat->connectToNode("TEMPO", &tempoFeed, "OUT");
  beat->connectToNode("BEATDETECTED", &flagFeed, "OUT");
  testing::internal::CaptureStdout();
  beat->initialize();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), " initialized...\n");

  ObjectRef out = beat->getOutput(beat->getOutputID("TEMPO"), 0);
  EXPECT_NE(out.get(), tempo.get()) << "a new object, not the input";
  EXPECT_EQ(dereference_cast<float>(out), 120.5f);
  EXPECT_NE(dynamic_cast<NetCType<float>*>(out.get()), nullptr);

  testing::internal::CaptureStdout();
  beat->unref();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "BeatCandidate::~BeatCandidate\n");
}

TEST(BeatCandidate, CalculatesSkippedCountsInOrderAndEachOnce) {
  Node* beat = make("BeatCandidate");
  Feed tempoFeed([](int c) { return floatObject(static_cast<float>(c)); });
  Feed flagFeed([](int c) { return c % 2 ? TrueObject : FalseObject; });
  beat->connectToNode("TEMPO", &tempoFeed, "OUT");
  beat->connectToNode("BEATDETECTED", &flagFeed, "OUT");
  beat->initialize();
  int out = beat->getOutputID("TEMPO");
  EXPECT_EQ(dereference_cast<float>(beat->getOutput(out, 0)), 0.0f);
  EXPECT_EQ(dereference_cast<float>(beat->getOutput(out, 3)), 3.0f);
  EXPECT_EQ(tempoFeed.computed, (std::vector<int>{0, 1, 2, 3}));
  EXPECT_EQ(dereference_cast<float>(beat->getOutput(out, 2)), 2.0f);
  EXPECT_EQ(tempoFeed.computed.size(), 4u) << "an earlier count calculates nothing";
  testing::internal::CaptureStdout();
  beat->unref();
  testing::internal::GetCapturedStdout();
}

TEST(BeatCandidate, CastErrorsReachTheHostWithTheNodeExceptionAdded) {
  Node* beat = make("BeatCandidate", "beat");
  bool badTempo = false, badFlag = false;
  Feed tempoFeed([&](int c) { return badTempo && c == 2 ? ObjectRef(new NetCType<int>(1)) : floatObject(90.0f); });
  Feed flagFeed([&](int c) { return badFlag && c == 2 ? floatObject(1.0f) : TrueObject; });
  beat->connectToNode("TEMPO", &tempoFeed, "OUT");
  beat->connectToNode("BEATDETECTED", &flagFeed, "OUT");
  beat->initialize();
  int out = beat->getOutputID("TEMPO");

  badTempo = true;
  Caught tempoError = hostFailure([&] { beat->getOutput(out, 3); });
  EXPECT_EQ(tempoError.text.rfind("Cast error: Trying to cast ObjectRef (N4MURV8NetCTypeIiEE) into f\n", 0), 0u)
      << tempoError.text;
  EXPECT_NE(tempoError.text.find("Exception caught in BufferedNode::getOutput"), std::string::npos);
  EXPECT_EQ(tempoError.lastFile, "BeatCandidate");
  EXPECT_EQ(tempoError.lastLine, 191);
  EXPECT_EQ(flagFeed.computed, (std::vector<int>{0, 1})) << "the tempo fails before the flag is asked for";

  badTempo = false;
  badFlag = true;
  Caught flagError = hostFailure([&] { beat->getOutput(out, 3); });
  EXPECT_EQ(flagError.text.rfind("Cast error: Trying to cast ObjectRef (N4MURV8NetCTypeIfEE) into b\n", 0), 0u)
      << flagError.text;
  EXPECT_EQ(tempoFeed.computed, (std::vector<int>{0, 1, 2, 2})) << "count 2 is calculated again";

  badFlag = false;
  EXPECT_EQ(dereference_cast<float>(beat->getOutput(out, 3)), 90.0f);
  testing::internal::CaptureStdout();
  beat->unref();
  testing::internal::GetCapturedStdout();
}

TEST(BeatCandidate, ANullInputPassesAsBadTypeid) {
  Node* beat = make("BeatCandidate");
  Feed tempoFeed([](int) { return ObjectRef(); });
  Feed flagFeed([](int) { return TrueObject; });
  beat->connectToNode("TEMPO", &tempoFeed, "OUT");
  beat->connectToNode("BEATDETECTED", &flagFeed, "OUT");
  beat->initialize();
  EXPECT_THROW(beat->getOutput(beat->getOutputID("TEMPO"), 0), std::bad_typeid);
  testing::internal::CaptureStdout();
  beat->unref();
  testing::internal::GetCapturedStdout();
}

TEST(STPMPublisher, PassesTheOnsetObjectItselfAndIgnoresSTPM) {
  testing::internal::CaptureStdout();
  Node* stpm = make("STPMPublisher");
  ObjectRef onset(new Vector<float>(3, 0.5f));
  Feed onsetFeed([&](int) { return onset; });
  Feed stpmFeed([](int) -> ObjectRef { throw new GeneralException("never read", "test", 1); });
  stpm->connectToNode("STPMVector", &stpmFeed, "OUT");
  stpm->connectToNode("ONSETVector", &onsetFeed, "OUT");
  stpm->initialize();
  int out = stpm->getOutputID("OUTPUT");
  for (int c = 0; c < 3; ++c) EXPECT_EQ(stpm->getOutput(out, c).get(), onset.get());
  EXPECT_TRUE(stpmFeed.computed.empty());
  int before = onset->refCountValue();
  stpm->unref();
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "STPMPublisher::STPMPublisher\nSTPMPublisher initialized...\nSTPMPublisher::~STPMPublisher\n");
  EXPECT_LT(onset->refCountValue(), before) << "the node's buffer held references of its own";
}
