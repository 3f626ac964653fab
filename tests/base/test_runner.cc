// The network runner with the example nodes: what it prints and what it
// refuses.
#include <gtest/gtest.h>

#include "RunnerTestSupport.h"

using namespace runnertest;

TEST(NetworkRunner, PrintsOutputsPerCountAndPullsWithoutPrinting) {
  RunResult r = runNetwork("levels", std::string(signal4) + "output level OUTPUT\npull sig OUTPUT\niterations 2\n");
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(r.output,
            "[0] level.OUTPUT = <Vector<float> 0.707107 0.353553 0.235702 0.176777 > \n"
            "[1] level.OUTPUT = <Vector<float> 0.707107 0.353553 0.235702 0.176777 > \n");
  RunResult limited = runNetwork("levels", std::string(signal4) + "output level OUTPUT\niterations 5\n", "--count 1");
  EXPECT_EQ(limited.output.find("[1]"), std::string::npos) << limited.output;
}

// Every fault of the description exits with status 2 and says where: the
// file and line, the instance and its type, the parameter or port, with the
// host's own text inside.
TEST(NetworkRunner, RefusesBadDescriptionsWithTheirLineAndDestroysWhatWasMade) {
  const std::string beats = "node b BeatCandidate\nnode s STPMPublisher\n";
  const std::string destroyed = "STPMPublisher::~STPMPublisher\nBeatCandidate::~BeatCandidate\n";
  struct Case {
    std::string name, description, options;
    int status;
    std::string text;
  } cases[] = {
      {"bad1", "node x NoSuchNode\n", "", 2, "bad1.net:1: unknown node type NoSuchNode"},
      {"bad2", std::string(signal4) + "param sig CHANNELS int four\n", "", 2, "bad2.net:8: bad int value 'four'"},
      {"bad3", std::string(signal4) + "output level NOPE\n", "", 2,
       "bad3.net:8: node level (ChannelLevel): output NOPE: Node, line 0: Node level: Unknown output NOPE (its "
       "outputs: OUTPUT)\n"},
      {"badin", std::string(signal4) + "connect level LEVEL sig OUTPUT\n", "", 2,
       "badin.net:8: node level (ChannelLevel): input LEVEL: Node, line 0: Node level: Unknown input LEVEL (its "
       "inputs: INPUT)\n"},
      {"missing", "\nnode sig TestSignal\nparam sig CHANNELS int 4\n", "", 2,
       "missing.net:2: node sig (TestSignal): parameter LENGTH: ParameterSet, line 0: Missing parameter: LENGTH\n"},
      {"mistyped", std::string(signal4) + "param sig LENGTH float 1.5\n", "", 2,
       "mistyped.net:8: node sig (TestSignal): parameter LENGTH: Cast error: Trying to cast ObjectRef ("},
      // A parameter no node read is a warning, and the network runs.
      {"unread", std::string(signal4) + "param sig CHANELS int 2\niterations 0\n", "", 0,
       "unread.net:8: warning: node sig (TestSignal): parameter CHANELS is not read by the node\n"},
      {"help", beats, "--help", 0, "usage: murv-run"},
      // Nodes made before the faulty line are destroyed, last made first.
      {"bad4", beats + "node x NoSuchNode\n", "", 2, "bad4.net:3: unknown node type NoSuchNode\n" + destroyed},
      {"bad5", beats + "pull b TEMPO\n\noutput nope OUTPUT\n", "", 2, "bad5.net:5: unknown node nope\n" + destroyed},
      {"bad6", beats + "pull nope OUTPUT\n", "", 2, "bad6.net:3: unknown node nope\n"},
      {"bad7", beats + "# end\neof nope OUTPUT\n", "", 2, "bad7.net:4: unknown node nope\n"},
      {"bad8", beats + "param b V object <Vector<float> 1 2 > 3\n", "", 2,
       "bad8.net:3: bad object value '<Vector<float> 1 2 > 3': text after the object"},
      {"good8", beats + "param b V object <Vector<float> 1 2 >   # a comment\niterations 0\n", "", 0, destroyed},
      {"bad9", beats + "iterations 2.5\n", "", 2, "bad9.net:3: bad iterations value '2.5' (a whole number)"},
      {"bad10", beats + "iterations -1\n", "", 2, "bad10.net:3: bad iterations value '-1'"},
      {"bad11", beats + "iterations 5 6\n", "", 2, "bad11.net:3: bad iterations value '5 6'"},
      {"bad12", beats + "iterations ten\n", "", 2, "bad12.net:3: bad iterations value 'ten'"},
      {"bad13", beats, "--count 2x", 2, "usage: murv-run"},
  };
  for (const Case& c : cases) {
    RunResult r = runNetwork(c.name, c.description, c.options);
    EXPECT_EQ(r.status, c.status) << c.name << "\n" << r.output;
    EXPECT_NE(r.output.find(c.text), std::string::npos) << c.name << "\n" << r.output;
  }
}
