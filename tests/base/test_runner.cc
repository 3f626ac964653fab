// The network runner with the example nodes: what it prints and what it
// refuses.
#include <gtest/gtest.h>

#include <chrono>
#include <regex>

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
  const std::string toolboxes =
      std::string(" (toolboxes loaded: ") + MURV_TOOLBOX_PATH + ", " + MURV_EXAMPLES_PATH + "): ";
  const std::string otherToolbox =
      "for a type of another toolbox, load that one too: --toolbox PATH for each toolbox the network uses\n";
  const std::string longName(5000, 'L');
  // Refuser (tests/base/RunnerTestNodes.cc) throws MESSAGE at WHEN, at line
  // 53 of its file; its param statements are at lines 2, 3 and 4.
  const std::string testNodes = std::string("--toolbox ") + MURV_TEST_NODES_PATH;
  auto refuser = [](const std::string& when, const std::string& message) {
    return "node r Refuser\nparam r WHEN string " + when + "\nparam r VALUE int 99\nparam r MESSAGE string " +
           message + "\noutput r OUTPUT\n";
  };
  const std::string refuserLine = "RunnerTestNodes, line 53: Node r: ";
  const std::string escapes(300, '\x1b');
  const std::string castBeat = "node beat (BeatCandidate): input TEMPO: expected float, given Matrix<float>: Cast "
                               "error: Trying to cast ObjectRef (N4MURV6MatrixIfEE) into f\n";
  std::string nearMisses = "node sig TestSignal\nparam sig CHANNELS int 1\n";
  for (int i = 0; i < 76; ++i) nearMisses += "param sig LENGTH" + std::to_string(i) + " int 1\n";
  struct Case {
    std::string name, description, options;
    int status;
    std::string text;
    std::string prefix = "";  // before the runner in the shell's command
  } cases[] = {
      {"bad1", "node x NoSuchNode\n", "", 2, "bad1.net:1: unknown node type NoSuchNode" + toolboxes + otherToolbox},
      {"neartype", "node x rosstdmsgspublishr\n", "", 2,
       "neartype.net:1: unknown node type rosstdmsgspublishr" + toolboxes + "perhaps RosStdMsgsPublisher\n"},
      // Names are near by characters, not bytes: U+200B is one edit.
      {"zwsptype", "node x Test\xe2\x80\x8bSignal\n", "", 2,
       "zwsptype.net:1: unknown node type Test\\u{200b}Signal" + toolboxes + "perhaps TestSignal\n"},
      {"bad2", signal4Without("CHANNELS") + "param sig CHANNELS int four\n", "", 2, "bad2.net:7: bad int value 'four'"},
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
       "typo.net:1: node ros (RosNodeGenerator): parameter NODE_NAME: perhaps misspelt as NODE_NAM (line 2): "
       "ParameterSet, line 0: Missing parameter: NODE_NAME\n"},
      {"typo2", "node sig TestSignal\nparam sig CHANNELS int 4\nparam sig LENTGH int 160\nparam sig AMPLITUDE float 1\n"
                "param sig length int 2\n", "", 2,
       "typo2.net:1: node sig (TestSignal): parameter LENGTH: perhaps misspelt as LENTGH (line 3) or length (line "
       "5): ParameterSet, line 0: Missing parameter: LENGTH\n"},
      {"mistyped", signal4Without("LENGTH") + "param sig LENGTH float 1.5\n", "", 2,
       "mistyped.net:7: node sig (TestSignal): parameter LENGTH: expected int, given float: Cast error: Trying to cast "
       "ObjectRef ("},
      {"mistyped2", signal4Without("AMPLITUDE") + "param sig AMPLITUDE bool true\n", "", 2,
       "mistyped2.net:7: node sig (TestSignal): parameter AMPLITUDE: expected float, given bool: Cast error: "},
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
      {"unread", std::string(signal4) + "param sig CHANELS int 2\npull sig OUTPUT\niterations 0\n", "", 0,
       "unread.net:8: warning: node sig (TestSignal): parameter CHANELS is not read by the node\n"},
      {"help", beats, "--help", 0, "usage: murv-run"},
      // What needs no node is checked before any node is made; nodes made
      // before a faulty port are destroyed, last made first.
      {"bad4", beats + "node x NoSuchNode\n", "", 2, "murv-run: " + descriptionPath("bad4") +
                                                         ":3: unknown node type NoSuchNode" + toolboxes + otherToolbox},
      {"bad5", beats + "pull b TEMPO\n\noutput nope OUTPUT\n", "", 2,
       "murv-run: " + descriptionPath("bad5") + ":5: unknown node nope\n"},
      {"bad5b", beats + "pull b TEMPO\n\noutput s NOPE\n", "", 2,
       "bad5b.net:5: node s (STPMPublisher): output NOPE: Node, line 0: Node s: Unknown output NOPE (its outputs: "
       "OUTPUT)\n" + destroyed},
      {"bad6", beats + "pull nope OUTPUT\n", "", 2, "bad6.net:3: unknown node nope\n"},
      {"bad7", beats + "# end\neof nope OUTPUT\n", "", 2, "bad7.net:4: unknown node nope\n"},
      {"bad8", beats + "param b V object <Vector<float> 1 2 > 3\n", "", 2,
       "bad8.net:3: bad object value '<Vector<float> 1 2 > 3': text after the object"},
      {"good8", beats + "param b V object <Vector<float> 1 2 >   # a comment\npull b TEMPO\niterations 0\n", "", 0,
       destroyed},
      // The network's one end and one count limit are given once.
      {"eoftwice", std::string(signal4) + "eof ghost NOT_EOF\noutput level OUTPUT\neof sig OUTPUT\n", "", 2,
       "eoftwice.net:10: eof given again: line 8 gives it first\n"},
      {"itertwice", beats + "pull b TEMPO\niterations 2\niterations 0\n", "", 2,
       "itertwice.net:5: iterations given again: line 4 gives it first\n"},
      {"bad9", beats + "iterations 2.5\n", "", 2, "bad9.net:3: bad iterations value '2.5' (a whole number)"},
      {"bad10", beats + "iterations -1\n", "", 2, "bad10.net:3: bad iterations value '-1'"},
      {"bad11", beats + "iterations 5 6\n", "", 2, "bad11.net:3: bad iterations value '5 6'"},
      {"bad12", beats + "iterations ten\n", "", 2, "bad12.net:3: bad iterations value 'ten'"},
      {"bad13", beats, "--count 2x", 2, "murv-run: bad --count value '2x' (a whole number)\n"},
      {"bad14", beats, "--count 2147483648", 2, "murv-run: bad --count value '2147483648' (at most 2147483647)\n"},
      {"notoolbox", beats, "--toolbox /nonexistent/" + std::string(300, 'T'), 2,
       "murv-run: cannot load /nonexistent/" + std::string(187, 'T') + "...: /nonexistent/" + std::string(3, 'T') +
           "...: cannot open shared object file: No such file or directory\n"},
      // A toolbox named by its file in the current folder is that file.
      {"here", beats + "pull b TEMPO\niterations 0\n", "--toolbox libmurv-ros.tlb.so", 0, destroyed,
       std::string("cd ") + MURV_TOOLBOX_DIR + " &&"},
      // Errors that say where the fault is, in one short line.
      {"eofcast", std::string(signal4) + "eof sig OUTPUT\n", "", 2,
       "eofcast.net:8: eof needs a bool, got Matrix<float>\n"},
      {"unconnected", std::string(signal4) + "node " + longName + " ChannelLevel\noutput " + longName + " OUTPUT\n",
       "", 2,
       "unconnected.net:8: node " + longName.substr(0, 100) + "... (ChannelLevel): input INPUT is not connected: Node, "
       "line 0: Node " + longName.substr(0, 16) + "...: Input INPUT is not connected\n"},
      // An object of the wrong type, said at the connect statement that
      // brought it (status 1: the description is valid), whether the cast
      // fails in the node pulled or in one it reads, and in a reference's
      // conversion too.
      {"castfloat", std::string(signal4) + "node beat BeatCandidate\nconnect beat TEMPO sig OUTPUT\npull beat TEMPO\n",
       "", 1, "castfloat.net:9: " + castBeat},
      {"castdeep", std::string(signal4) + "node beat BeatCandidate\nconnect beat TEMPO sig OUTPUT\nnode s STPMPublisher\n"
                   "connect s ONSETVector beat TEMPO\npull s OUTPUT\n", "", 1, "castdeep.net:9: " + castBeat},
      {"castref", std::string(signal4) + "node m ParamsMonitor\nparam m RATE float 1000\nparam m CHANGES int 0\n"
                  "connect m DiradureZIDID sig OUTPUT\npull m NOT_EOF\n", "", 1,
       "castref.net:11: node m (ParamsMonitor): input DiradureZIDID: expected Vector<ObjectRef>, given Matrix<float>: "
       "ObjectRef, line 63: Something is wrong in RCPtr::operator=, this should not happen.\n"},
      // A C1 control is one character, as the one it replaces.
      {"c1name", "node m ParamsMonitor\nparam m RAT\xc2\x85 float 10\nparam m CHANGES int 0\npull m NOT_EOF\n", "", 2,
       "c1name.net:1: node m (ParamsMonitor): parameter RATE: perhaps misspelt as RAT\\xc2\\x85 (line 2): "},
      // The three closest of 76 near misses.
      {"nearmiss", nearMisses, "", 2,
       "perhaps misspelt as LENGTH0 (line 3) or LENGTH1 (line 4) or LENGTH2 (line 5): ParameterSet"},
      {"longport", std::string(signal4) + "output level " + std::string(300, 'P') + "\n", "", 2,
       "longport.net:8: node level (ChannelLevel): output " + std::string(200, 'P') + "...: Node, line 0: Node level: "
       "Unknown output " + std::string(16, 'P') + "... (its outputs: OUTPUT)\n"},
      // An input name the node takes for another input lands where it was written.
      {"alias", publisherLines("IfRosStdMsgsPublisher", "/alias") + signal4 +
                    "connect pub INPTU sig OUTPUT\nconnect pub COND sig OUTPUT\n", "", 2,
       "alias.net:15: node pub (IfRosStdMsgsPublisher): input INPTU: taken as COND, which line 16 connects as well "
       "(its inputs: COND"},
      {"hugesignal", "node sig TestSignal\nparam sig CHANNELS int 65536\nparam sig LENGTH int 65536\n"
                     "param sig SAMPLING_RATE int 16000\nparam sig AMPLITUDE float 1\n", "", 2,
       "hugesignal.net:2: param CHANNELS of node sig (TestSignal): TestSignal, line 26: Node sig: CHANNELS x LENGTH "
       "must be at most 16777216 values\n"},
      // A period too long to fit the clock, or to wait out.
      {"slowmonitor", "node m ParamsMonitor\nparam m RATE float 0.0001\nparam m CHANGES int 0\n", "", 2,
       "slowmonitor.net:2: param RATE of node m (ParamsMonitor): ParamsMonitor, line 45: Node m: RATE must be a "
       "positive number of iterations per second, at least 0.001\n"},
      // A parameter is given once, anywhere in the description.
      {"twice", std::string(signal4) + "param sig CHANNELS int 2\n", "", 2,
       "twice.net:8: parameter CHANNELS of node sig given again: line 2 gives it first\n"},
      {"early", "param sig CHANNELS int 1\nparam sig LENGTH int 1\nparam sig SAMPLING_RATE int 1\n"
                "param sig AMPLITUDE float 1\noutput sig OUTPUT\nnode sig TestSignal\niterations 1\n", "", 0,
       "[0] sig.OUTPUT = <Matrix<float>"},
      {"early_unknown", beats + "param nobody V int 1\npull b TEMPO\n", "", 2, "early_unknown.net:3: unknown node nobody\n"},
      // A node's refusal that names one of its parameters, the first one
      // named, as a whole word, is said at that parameter's line; a refused
      // output first, at the statement that asked for it.
      {"refuse_create", refuser("create", "VALUE must be at most 10"), testNodes, 2,
       "refuse_create.net:3: param VALUE of node r (Refuser): " + refuserLine + "VALUE must be at most 10\n"},
      {"refuse_first", refuser("initialize", "the VALUES are wrong: VALUE is above WHEN"), testNodes, 2,
       "refuse_first.net:3: param VALUE of node r (Refuser): " + refuserLine + "the VALUES are wrong: VALUE is"},
      {"refuse_none", refuser("initialize", "VALUES are wrong"), testNodes, 2,
       "refuse_none.net:1: node r (Refuser): " + refuserLine + "VALUES are wrong\n"},
      {"refuse_out", refuser("initialize", "EXTRA is not supported. VALUE 99 writes OUTPUT only.") + "pull r EXTRA\n",
       testNodes, 2,
       "refuse_out.net:6: node r (Refuser): output EXTRA: " + refuserLine +
           "EXTRA is not supported. VALUE 99 writes OUTPUT only. (its outputs: OUTPUT)\n"},
      // A later connect to an input made on request replaces the earlier one.
      {"reconnect", "node a Refuser\nparam a VALUE int 1\nnode b Refuser\nparam b VALUE int 2\nnode r Refuser\n"
                    "connect r IN a OUTPUT\nconnect r IN b OUTPUT\noutput r OUTPUT\niterations 1\n",
       testNodes, 0, "[0] r.OUTPUT = <Int 2 >\n"},
      {"nothing", signal4, "", 2,
       "nothing.net:7: nothing asks for an output, so no node would run: add 'output INSTANCE OUTPUT' to print one, "
       "'pull INSTANCE OUTPUT' to compute one, or 'eof INSTANCE OUTPUT' to run until it is false\n"},
      {"nothing_iter", std::string(signal4) + "iterations 1\n# the end\n", "", 2, "nothing_iter.net:8: nothing asks"},
      // Texts printed cleaned: reordering characters, a space other than
      // U+0020, a newline in the file's name, terminal escapes in a host
      // exception; a long line cut before the ports it lists.
      {"rtl", "node x Test\xe2\x80\xaeSignal\n", "", 2, "rtl.net:1: unknown node type Test\\u{202e}Signal (toolboxes"},
      {"nbsp", "node x Test\xc2\xa0Signal\n", "", 2, "nbsp.net:1: unknown node type Test\\u{00a0}Signal (toolboxes"},
      {"new\nline", std::string(signal4) + "param sig CHANELS int 2\npull sig OUTPUT\niterations 0\n", "", 0,
       "new\\nline.net:8: warning: node sig (TestSignal): parameter CHANELS is not read by the node\n"},
      {"hostesc", "node r\x1b[2J Refuser\nparam r\x1b[2J WHEN string calculate\nparam r\x1b[2J MESSAGE string boom\x1b[0m\n"
                  "output r\x1b[2J OUTPUT\n", testNodes, 1,
       "murv-run: host exception:\nRunnerTestNodes, line 53: Node r\\x1b[2J: boom\\x1b[0m\n"},
      {"keeplist", "node " + escapes + " ChannelLevel\noutput " + escapes + " " + escapes + "\n", "", 2,
       "...: Node, line 0: Node \\x1b\\x1b\\x1b\\x1b... (its outputs: OUTPUT)\n"},
  };
  for (const Case& c : cases) {
    RunResult r = runNetwork(c.name, c.description, c.options, c.prefix);
    EXPECT_EQ(r.status, c.status) << c.name << "\n" << r.output.substr(0, 2000);
    EXPECT_NE(r.output.find(c.text), std::string::npos) << c.name << "\n" << r.output.substr(0, 2000);
    // Every error is one line of about 400 characters at most.
    for (size_t at = r.output.find("murv-run: "); at != std::string::npos; at = r.output.find("murv-run: ", at + 1))
      EXPECT_LE(r.output.find('\n', at) - at, 420u + descriptionPath(c.name).size()) << c.name;
    // A cut never splits an escape.
    EXPECT_FALSE(std::regex_search(r.output, std::regex(R"(\\x[0-9a-f]?\.)"))) << c.name << "\n" << r.output;
  }
}

// An object that a node did not write is named at the statement that asked
// for it: the runner's own output line, or the first connection it was read
// through.
TEST(NetworkRunner, NamesTheStatementThatAskedForAMissingObject) {
  murvtest::RosMaster master;
  master.start();
  // Only the condition is connected: INPUT stays unconnected and OUTPUT unwritten.
  const std::string pub = "node ros RosNodeGenerator\nparam ros NODE_NAME string murv_runner_noobj\n" +
                          std::string(signal4) + publisherLines("IfRosStdMsgsPublisher", "/noobj") +
                          "connect pub COND sig OUTPUT\n";
  const std::string unwritten =
      ": node pub (IfRosStdMsgsPublisher), whose input INPUT is not connected, wrote no object to output OUTPUT for "
      "count 0\n";
  const struct {
    std::string name, description, note;
  } rows[] = {{"noobj_out", pub + "output pub OUTPUT\n", "noobj_out.net:18: output pub OUTPUT" + unwritten},
              {"noobj_in", pub + "connect level INPUT pub OUTPUT\noutput level OUTPUT\n",
               "noobj_in.net:18: connect level INPUT pub OUTPUT" + unwritten},
              {"noobj_std", pub.substr(0, pub.find("node pub ")) + publisherLines("RosStdMsgsPublisher", "/noobj") +
                                "output pub OUTPUT\n",
               "noobj_std.net:17: output pub OUTPUT: node pub (RosStdMsgsPublisher), whose input INPUT is not "
               "connected, wrote no object to output OUTPUT for count 0\n"}};
  for (const auto& r : rows) {
    RunResult run = runNetwork(r.name, r.description);
    EXPECT_EQ(run.status, 1) << r.name << "\n" << run.output;
    EXPECT_NE(run.output.find("Buffer, line 0: No object buffered for count 0\n"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find(r.note), std::string::npos) << r.name << "\n" << run.output;
    EXPECT_EQ(run.output.find(r.name + ".net:19"), std::string::npos) << r.name << "\n" << run.output;
  }
}

// An element of a list or a map that an input brought, of a type the node
// cannot take, is said at the connect statement of that input.
TEST(NetworkRunner, NamesTheInputThatBroughtAWronglyTypedElement) {
  murvtest::RosMaster master;
  master.start();
  std::string pub = "node ros RosNodeGenerator\nparam ros NODE_NAME string murv_runner_element\n"
                    "node pub RosMurvMsgsPublisher\nparam pub ADVANCE int 160\nparam pub ENABLE_DEBUG bool false\n"
                    "param pub BUFFER_NUM int 1\nparam pub ROS_LOOP_RATE float 100\nparam pub ROS_FRAME_ID string m\n"
                    "param pub TIMESTAMP_TYPE string ROS_TIME_NOW\nparam pub SAMPLING_RATE int 16000\n";
  for (const char* t : {"MURVWAVE", "MURVFFT", "MURVFEATURE", "MURVSOURCE", "MURVSRCWAVE", "MURVSRCFFT",
                        "MURVSRCFEATURE", "MURVSRCFEATUREMFM"})
    pub += std::string("param pub TOPIC_NAME_") + t + " string /element_" + t + "\n";
  const std::string feed = "node feed Refuser\nparam feed OBJECT object ";  // lines 19 and 20
  const struct {
    std::string name, description, text;
  } rows[] = {
      {"element_list",
       pub + feed + "<Vector<ObjectRef> <Int 1 > >\nconnect pub SRC_INFO feed OUTPUT\npull pub OUTPUT\n",
       "element_list.net:21: node pub (RosMurvMsgsPublisher): input SRC_INFO: expected Source, given int: "
       "ObjectRef, line 63: Something is wrong in RCPtr::operator=, this should not happen.\n"},
      {"element_map",
       pub + feed + "<Int 1 >\nparam feed KEY int 3\nconnect pub SRC_FEATURE feed OUTPUT\npull pub OUTPUT\n",
       "element_map.net:22: node pub (RosMurvMsgsPublisher): input SRC_FEATURE: expected Vector<float>, given "
       "int: Cast error: Trying to cast ObjectRef (N4MURV8NetCTypeIiEE) into N4MURV6VectorIfEE\n"},
  };
  for (const auto& r : rows) {
    RunResult run = runNetwork(r.name, r.description, std::string("--toolbox ") + MURV_TEST_NODES_PATH);
    EXPECT_EQ(run.status, 1) << r.name << "\n" << run.output;
    EXPECT_NE(run.output.find(r.text), std::string::npos) << r.name << "\n" << run.output;
  }
}

// What needs no node is checked before the first node is made, in time
// linear in the description: a misspelt type after a node that waits for a
// ROS master, a cycle among thousands of connections written last node
// first, and chains longer than the runner pulls. Long chains run.
TEST(NetworkRunner, ChecksTheWholeDescriptionBeforeMakingAnyNode) {
  // Nothing listens on the discard port of the loopback address.
  const std::string noMaster = "ROS_MASTER_URI=http://127.0.0.1:9/ timeout 60";
  std::string cycle = chainNetwork(5000, true);
  cycle.insert(cycle.find("connect n4999"), "connect n0 STPMVector n4999 OUTPUT\n");
  // The last of the chain's connections, n1's, closes the cycle.
  const int cycleLine = 5 + 5000 + 1 + 4999;
  const struct {
    std::string name, description, prefix;
    int status;
    std::string text;
  } rows[] = {
      {"premaster", "node ros RosNodeGenerator\nparam ros NODE_NAME string murv_premaster\nnode x RosStdMsgsPublishr\n",
       noMaster, 2, "murv-run: " + descriptionPath("premaster") + ":3: unknown node type RosStdMsgsPublishr"},
      {"precycle", "node ros RosNodeGenerator\nparam ros NODE_NAME string murv_precycle\n" + std::string(signal4) +
                       "connect level INPUT level OUTPUT\n",
       noMaster, 2, "murv-run: " + descriptionPath("precycle") + ":10: connections form a cycle: level -> level\n"},
      {"revcycle", cycle, "", 2,
       "murv-run: " + descriptionPath("revcycle") + ":" + std::to_string(cycleLine) +
           ": connections form a cycle: n0 -> n1 -> n2 -> n3"},
      {"reversed", chainNetwork(5000, true), "", 0, "STPMPublisher::~STPMPublisher\n"},
      {"chain30000", chainNetwork(30000), "", 0, "STPMPublisher::~STPMPublisher\n"},
      {"chain70000", chainNetwork(70000), "", 2,
       "murv-run: " + descriptionPath("chain70000") + ":" + std::to_string(5 + 2 * 70000 + 1) +
           ": this pulls a chain of 70001 nodes; the runner pulls chains of at most 50000\n"},
  };
  for (const auto& r : rows) {
    const auto start = std::chrono::steady_clock::now();
    RunResult run = runNetwork(r.name, r.description, "", r.prefix);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(run.status, r.status) << r.name << "\n" << run.output.substr(0, 2000);
    EXPECT_NE(run.output.find(r.text), std::string::npos) << r.name << "\n" << run.output.substr(0, 2000);
    if (r.status == 2) {
      EXPECT_EQ(run.output.find("::STPMPublisher\n"), std::string::npos) << r.name;
    }
    EXPECT_LT(seconds, 30) << r.name;
  }
}

// Ports a node declares only when asked for them are listed among its
// ports, connected again like any other, a misspelt one is said at the
// statement that misspelt it, and so is an output that a node refuses once
// the network is initialised.
TEST(NetworkRunner, NamesPortsDeclaredOnRequestAtTheStatementThatMisspeltThem) {
  murvtest::RosMaster master;
  master.start();
  const std::string ros = "node ros RosNodeGenerator\nparam ros NODE_NAME string murv_runner_onrequest\n";
  std::string stream = "node stream MurvMsgsStreamFromRos\n";
  for (const char* t : {"MURVWAVE", "MURVFFT", "MURVFEATURE", "MURVSOURCE", "MURVSRCWAVE", "MURVSRCFFT",
                        "MURVSRCFEATURE", "MURVSRCFEATUREMFM"})
    stream += std::string("param stream TOPIC_NAME_") + t + " string /onrequest_" + t + "\n";
  stream += "param stream STREAM_SELECTION string MurvWave\nparam stream ENABLE_DEBUG bool false\n"
            "param stream ROS_LOOP_RATE float 100\nparam stream MSG_BUFFER_NUM int 1\n"
            "param stream DATA_BUFFER_NUM int 1\nparam stream KILL_NETWORK bool false\n"
            "param stream KILL_TIME_LEN int 1000\n";
  const struct {
    std::string name, description, text;
    int status = 2;
  } rows[] = {
      // A later connect to INPUT replaces the earlier one, as for any input.
      {"onreq_twice",
       ros + signal4 + publisherLines("RosStdMsgsPublisher", "/onrequest") +
           "connect pub INPUT sig OUTPUT\nconnect pub INPUT level OUTPUT\npull pub OUTPUT\niterations 0\n",
       "pub initialized\n", 0},
      {"onreq_in",
       ros + signal4 + publisherLines("RosStdMsgsPublisher", "/onrequest") + "connect pub INPT sig OUTPUT\n",
       "onreq_in.net:17: node pub (RosStdMsgsPublisher): input INPT: src/RosStdMsgsPublisher, line 209: Node pub: INPT "
       "is not supported. (its inputs: INPUT)\n"},
      {"onreq_alias",
       ros + signal4 + publisherLines("IfRosStdMsgsPublisher", "/onrequest") +
           "connect pub INPTU sig OUTPUT\noutput pub OUTPUT\n",
       "onreq_alias.net:17: node pub (IfRosStdMsgsPublisher): input INPTU: taken as COND, and INPUT is not connected: "
       "perhaps INPUT was meant (its inputs: COND INPUT)\n"},
      {"onreq_out", ros + stream + "eof stream NOT_EOF\noutput stream MATOUTT\noutput stream TIMESTAMP\n",
       "onreq_out.net:20: node stream (MurvMsgsStreamFromRos): output MATOUTT: "},
  };
  for (const auto& r : rows) {
    RunResult run = runNetwork(r.name, r.description);
    EXPECT_EQ(run.status, r.status) << r.name << "\n" << run.output;
    EXPECT_NE(run.output.find(r.text), std::string::npos) << r.name << "\n" << run.output;
  }
}
