// The network runner with the example nodes: what it prints and what it
// refuses.
#include <gtest/gtest.h>

#include "RosMaster.h"
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
      // The unread param statements close to a missing name are named.
      {"typo", "node ros RosNodeGenerator\nparam ros NODE_NAM string x\n", "", 2,
       "typo.net:1: node ros (RosNodeGenerator): parameter NODE_NAME: perhaps misspelt as " + descriptionPath("typo") +
           ":2: NODE_NAM: ParameterSet, line 0: Missing parameter: NODE_NAME\n"},
      {"typo2", "node sig TestSignal\nparam sig CHANNELS int 4\nparam sig LENTGH int 160\nparam sig AMPLITUDE float 1\n"
                "param sig length int 2\n", "", 2,
       "typo2.net:1: node sig (TestSignal): parameter LENGTH: perhaps misspelt as " + descriptionPath("typo2") +
           ":3: LENTGH or " + descriptionPath("typo2") +
           ":5: length: ParameterSet, line 0: Missing parameter: LENGTH\n"},
      {"mistyped", std::string(signal4) + "param sig LENGTH float 1.5\n", "", 2,
       "mistyped.net:8: node sig (TestSignal): parameter LENGTH: expected int, given float: Cast error: Trying to cast "
       "ObjectRef ("},
      {"mistyped2", std::string(signal4) + "param sig AMPLITUDE bool true\n", "", 2,
       "mistyped2.net:8: node sig (TestSignal): parameter AMPLITUDE: expected float, given bool: Cast error: "},
      {"mistyped3", "node ros RosNodeGenerator\nparam ros NODE_NAME object <Vector<float> 1 2 >\n", "", 2,
       "mistyped3.net:2: node ros (RosNodeGenerator): parameter NODE_NAME: expected string, given Vector<float>: Cast "
       "error: "},
      // The connections in force may not form a cycle.
      {"cycle1", std::string(signal4) + "connect level INPUT level OUTPUT\n", "", 2,
       "cycle1.net:8: connections form a cycle: level -> level\n"},
      {"cycle2", std::string(signal4) + "node other ChannelLevel\nconnect other INPUT level OUTPUT\n"
                 "connect level INPUT other OUTPUT\n", "", 2,
       "cycle2.net:10: connections form a cycle: other -> level -> other\n"},
      {"nocycle", std::string(signal4) + "connect level INPUT level OUTPUT\nconnect level INPUT sig OUTPUT\n"
                  "output level OUTPUT\niterations 1\n", "", 0, "[0] level.OUTPUT = "},
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
      {"hugesignal", "node sig TestSignal\nparam sig CHANNELS int 65536\nparam sig LENGTH int 65536\n"
                     "param sig SAMPLING_RATE int 16000\nparam sig AMPLITUDE float 1\n", "", 2,
       "hugesignal.net:1: node sig (TestSignal): TestSignal, line 26: Node sig: CHANNELS x LENGTH must be at most "
       "16777216 values\n"},
      // A period too long to fit the clock, or to wait out.
      {"slowmonitor", "node m ParamsMonitor\nparam m RATE float 0.0001\nparam m CHANGES int 0\n", "", 2,
       "slowmonitor.net:1: node m (ParamsMonitor): ParamsMonitor, line 45: Node m: RATE must be a positive number of "
       "iterations per second, at least 0.001\n"},
  };
  for (const Case& c : cases) {
    RunResult r = runNetwork(c.name, c.description, c.options);
    EXPECT_EQ(r.status, c.status) << c.name << "\n" << r.output;
    EXPECT_NE(r.output.find(c.text), std::string::npos) << c.name << "\n" << r.output;
  }
}

// An object that a node did not write is named at the statement that asked
// for it: the runner's own output line, or the first connection it was read
// through.
TEST(NetworkRunner, NamesTheStatementThatAskedForAMissingObject) {
  murvtest::RosMaster master;
  master.start();
  // INPTU is taken for the condition: INPUT stays unconnected and OUTPUT unwritten.
  const std::string pub = std::string("node ros RosNodeGenerator\nparam ros NODE_NAME string murv_runner_noobj\n") +
                          signal4 +
                          "node pub IfRosStdMsgsPublisher\nparam pub ENABLE_DEBUG bool false\n"
                          "param pub ROS_MESSAGE_TYPE string Float32\nparam pub TOPIC_NAME string /noobj\n"
                          "param pub BUFFER_NUM int 1\nparam pub MAX_FREQUENCY float 0\n"
                          "param pub ROS_LOOP_RATE float 100\nconnect pub INPTU sig OUTPUT\n";
  const std::string unwritten = ": node pub (IfRosStdMsgsPublisher) wrote no object to output OUTPUT for count 0\n";
  const struct {
    std::string name, description, note;
  } rows[] = {{"noobj_out", pub + "output pub OUTPUT\n", "noobj_out.net:18: output pub OUTPUT" + unwritten},
              {"noobj_in", pub + "connect level INPUT pub OUTPUT\noutput level OUTPUT\n",
               "noobj_in.net:18: connect level INPUT pub OUTPUT" + unwritten}};
  for (const auto& r : rows) {
    RunResult run = runNetwork(r.name, r.description);
    EXPECT_EQ(run.status, 1) << r.name << "\n" << run.output;
    EXPECT_NE(run.output.find("Buffer, line 0: No object buffered for count 0\n"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find(r.note), std::string::npos) << r.name << "\n" << run.output;
    EXPECT_EQ(run.output.find(r.name + ".net:19"), std::string::npos) << r.name << "\n" << run.output;
  }
}
