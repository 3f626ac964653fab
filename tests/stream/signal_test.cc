// How networks stop: SIGINT, SIGTERM and SIGHUP sent to any network run by
// the network runner (and SIGHUP to one started with it ignored), SIGINT and
// SIGHUP sent to a waiting stream network, one
// signal for stream nodes of two classes in one process, the line each
// wait names, a second signal (a repeated SIGHUP, a closing terminal), a
// signal right after the runner starts, and ROS going away under a waiting
// network (rosnode kill, a node of the same name taking over).
#include <gtest/gtest.h>

#include <fcntl.h>
#include <pty.h>
#include <sys/stat.h>
#include <sys/syscall.h>

#include <atomic>
#include <cerrno>
#include <thread>

#include "ExampleNetworks.h"
#include "StreamTestSupport.h"

using namespace streamtest;
using murvtest::BackgroundCommand;
using murvtest::rosNodeListed;
using murvtest::waitFor;
using subtest::RosNetwork;
using subtest::shared;

namespace {

bool subscribedBy(const std::string& topic, const std::string& rosName) {
  const std::vector<std::string> nodes = subtest::subscribersOf(topic);
  return std::find(nodes.begin(), nodes.end(), "/" + rosName) != nodes.end();
}

// A stream node that has subscribed, or printed an iteration, may not have
// reached its wait yet; its waits block in ppoll.
bool blockedInAWait(const BackgroundCommand& runner) { return murvtest::aThreadBlockedIn(runner.pid(), SYS_ppoll); }

bool endsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// Runs a stream network, lets its stream node reach the wait asked for
// (the first-message wait, or the data wait after one frame), sends sig and
// checks that the runner reports the force-quit from file and line and
// exits with the signal's status after destroying its network.
void stopWaitingNetwork(const std::string& type, const std::string& selection, bool afterAFrame, int sig,
                        const std::string& file, int line) {
  const std::string tag = std::string(type == "AudioStreamFromRos" ? "as" : "ms") + (afterAFrame ? "_data" : "_first");
  const std::string rosName = "murv_signal_" + tag;
  const std::string topics = "/signal_" + tag;
  const std::string topic = topics + (type == "AudioStreamFromRos" ? "/audio" : "/murvwave");
  BackgroundCommand runner(runnerCommand(tag, streamNetwork(rosName, type, selection, topics, false)));
  ASSERT_TRUE(waitFor([&] { return subscribedBy(topic, rosName) || !runner.running(); })) << runner.output();
  if (afterAFrame) {
    ros::NodeHandle nh;
    ros::Publisher pub = nh.advertise<murv_msgs::MurvWave>(topic, 1);
    ASSERT_TRUE(waitFor([&] { return pub.getNumSubscribers() > 0; })) << runner.output();
    murv_msgs::MurvWave frame = subtest::wave(1, 1, 2);
    frame.header.stamp = ros::Time(42, 0);
    pub.publish(frame);
    ASSERT_TRUE(waitFor([&] {
      return runner.output().find("[0] stream.TIMESTAMP = <TimeStamp <sec 42> <usec 0> >\n") != std::string::npos;
    })) << runner.output();
  }
  ASSERT_TRUE(waitFor([&] { return blockedInAWait(runner); })) << runner.output();
  runner.signal(sig);
  EXPECT_EQ(runner.waitExit(std::chrono::seconds(30)), 128 + sig) << runner.output();
  const std::string out = runner.output();
  // The run was stopped, not failed: the force-quit line comes without the
  // runner's failure label.
  EXPECT_NE(out.find("\n" + file + ", line " + std::to_string(line) + ": stream Force-quit...\n"), std::string::npos)
      << out;
  EXPECT_EQ(out.find("host exception:"), std::string::npos) << out;
  EXPECT_TRUE(endsWith(out, "ROS destructed...\n")) << out;
}

// A network without a stream node, paced at 100 iterations a second by a
// frame-by-frame subscriber that never waits.
std::string pacedNetwork(const std::string& rosName) {
  std::string net = "node ros RosNodeGenerator\nparam ros NODE_NAME string " + rosName + "\nnode sub RosMurvMsgsSubscriber\n";
  for (const char* n : audioTypeNames) net += std::string("param sub TOPIC_NAME_") + n + " string /paced/unused\n";
  return net +
         "param sub TOPIC_NAME_MURVSORVEX string /paced/asr\nparam sub STREAM_SELECTION string MurvSorvex\n"
         "param sub NB_CHANNELS int 2\nparam sub FFT_LENGTH int 512\nparam sub ENABLE_DEBUG bool false\n"
         "param sub ROS_LOOP_RATE float 100\nparam sub MSG_BUFFER_NUM int 10\nparam sub DATA_BUFFER_NUM int 3\n"
         "param sub REMAIN_LATEST bool true\npull sub TIMESTAMP\n";
}

long sleepsOf(long tid) { return murvtest::wakeupsOf("/proc/self/task/" + std::to_string(tid) + "/status"); }

// Whether sig is pending for process pid (for the process or one of its
// threads).
bool signalPending(pid_t pid, int sig) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string key, mask;
  bool pending = false;
  while (status >> key)
    if ((key == "SigPnd:" || key == "ShdPnd:") && status >> mask)
      pending = pending || (std::stoull(mask, nullptr, 16) >> (sig - 1) & 1);
  return pending;
}

// The FIFO at which the gate toolbox holds the runner until the test opens
// it.
class GateFifo {
public:
  explicit GateFifo(const std::string& tag) : path(std::string(MURV_BINARY_DIR) + "/gate_" + tag) {
    unlink(path.c_str());
    mkfifo(path.c_str(), 0600);
  }
  ~GateFifo() {
    if (fd >= 0) close(fd);
    unlink(path.c_str());
  }
  // Whether the runner waits at the gate: the FIFO has a reader.
  bool reached() {
    if (fd < 0) fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    return fd >= 0;
  }
  void release() {
    const char c = 1;
    if (fd >= 0 && write(fd, &c, 1) != 1) perror("gate");
  }
  const std::string path;

private:
  int fd = -1;
};

}  // namespace

TEST(StreamSignals, SigintAndSighupStopAWaitingMurvMsgsStream) {
  RosNetwork net("murv_signal_test_ms");
  stopWaitingNetwork("MurvMsgsStreamFromRos", "MurvWave", false, SIGINT, "MurvMsgsStreamFromRos", 737);
  stopWaitingNetwork("MurvMsgsStreamFromRos", "MurvWave", true, SIGHUP, "MurvMsgsStreamFromRos", 766);
}

TEST(StreamSignals, SigintAndSighupStopAWaitingAudioStream) {
  RosNetwork net("murv_signal_test_as");
  stopWaitingNetwork("AudioStreamFromRos", "", false, SIGHUP, "AudioStreamFromRos", 263);
  stopWaitingNetwork("AudioStreamFromRos", "", true, SIGINT, "AudioStreamFromRos", 285);
}

// SIGINT, SIGTERM and SIGHUP end every network with 128 + the signal and
// leave nothing behind: the runner stops after the iteration in progress,
// and a waiting stream node gives up with its force-quit; a stream node
// with data queued goes on until the runner stops. Started with SIGHUP
// ignored (nohup), the runner runs on through one. Either way the nodes are
// destroyed and the ROS node leaves the master.
TEST(StreamSignals, StopSignalsEndEveryNetworkCleanly) {
  RosNetwork net("murv_stop_test");
  enum Kind { plain, waiting, queued, nohup };
  const struct {
    const char* tag;
    Kind kind;
    int sig, status;
  } cases[] = {{"plain_int", plain, SIGINT, 130},       {"plain_term", plain, SIGTERM, 143},
               {"plain_hup", plain, SIGHUP, 129},       {"stream_int", waiting, SIGINT, 130},
               {"stream_term", waiting, SIGTERM, 143},  {"stream_hup", waiting, SIGHUP, 129},
               {"queued_hup", queued, SIGHUP, 129},     {"nohup_int", nohup, SIGINT, 130}};
  for (const auto& c : cases) {
    const std::string rosName = std::string("murv_stop_") + c.tag, topics = std::string("/stop_") + c.tag;
    std::string description = c.kind == plain ? pacedNetwork(rosName)
                                              : streamNetwork(rosName, "AudioStreamFromRos", "", topics, false);
    // Two iterations a second: ten frames stay queued for seconds.
    const std::string fast = "ROS_LOOP_RATE float 1000";
    if (c.kind == queued) description.replace(description.find(fast), fast.size(), "ROS_LOOP_RATE float 2");
    BackgroundCommand runner((c.kind == nohup ? "trap '' HUP; " : "") + runnerCommand(rosName, description));
    ASSERT_TRUE(waitFor([&] {
      return !runner.running() || (c.kind == plain ? runner.output().find("sub initialized...") != std::string::npos &&
                                                         rosNodeListed(rosName)
                                                   : subscribedBy(topics + "/audio", rosName));
    })) << c.tag;
    ros::NodeHandle nh;
    ros::Publisher pub = nh.advertise<murv_msgs::MurvWave>(topics + "/audio", 20);
    auto publish = [&](int frames, const std::string& printed) {
      ASSERT_TRUE(waitFor([&] { return pub.getNumSubscribers() > 0; })) << c.tag;
      for (int i = 0; i < frames; ++i) pub.publish(subtest::wave(1, 1, 2));
      ASSERT_TRUE(waitFor([&] { return runner.output().find(printed) != std::string::npos; })) << runner.output();
    };
    if (c.kind == queued) publish(10, "[1] stream.TIMESTAMP");
    if (c.kind == nohup) {
      runner.signal(SIGHUP);
      publish(1, "[0] stream.TIMESTAMP");
    }
    if (c.kind == waiting || c.kind == nohup) {
      ASSERT_TRUE(waitFor([&] { return blockedInAWait(runner); })) << c.tag;
    }
    // One thread of the runner takes it, and none of those that call roscpp.
    EXPECT_EQ(murvtest::threadsTaking(runner.pid(), c.sig).size(), 1u) << c.tag;
    runner.signal(c.sig);
    EXPECT_EQ(runner.waitExit(std::chrono::seconds(30)), c.status) << c.tag << "\n" << runner.output();
    EXPECT_TRUE(endsWith(runner.output(), "ROS destructed...\n")) << c.tag << "\n" << runner.output();
    EXPECT_EQ(runner.output().find("stream Force-quit...") != std::string::npos, c.kind == waiting || c.kind == nohup)
        << c.tag << "\n" << runner.output();
    EXPECT_TRUE(waitFor([&] { return !rosNodeListed(rosName); })) << c.tag;
  }
}

// One handler for the process sets the flag of every stream node class, so
// the nodes of both classes stop, whichever was constructed last. The nodes
// sleep between their looks at the flag, never for long: asleep in their
// waits when the signal comes, they stop well under a second later.
TEST(StreamSignals, OneSignalStopsTheStreamNodesOfEveryClass) {
  murvtest::RosMaster master;
  master.start();
  for (int sig : {SIGINT, SIGHUP}) {
    Child child([sig] {
      NodePtr gen = subtest::createGenerator("murv_signal_both");
      gen->initialize();
      Stream first("first", "MurvSource", {"SRCOUT"}, {{"KILL_NETWORK", boolParam(false)}});
      Stream second("second", "MurvWave", {"MATOUT"}, {{"KILL_NETWORK", boolParam(false)}});
      Audio last("last", {{"KILL_TIME_LEN", intParam(9999999)}});
      last.holder().cb(shared(subtest::wave(1, 1, 1)));
      if (!last.next(0)) return 2;
      HostFailure f[3];
      std::atomic<long> tids[3] = {{0}, {0}, {0}};
      std::vector<std::thread> threads;
      for (int i = 0; i < 3; ++i)
        threads.emplace_back([&, i] {
          tids[i] = syscall(SYS_gettid);
          f[i] = hostFailure([&] { i == 0 ? first.next(0) : i == 1 ? second.next(0) : last.next(1); });
        });
      waitFor([&] { return tids[0] && tids[1] && tids[2]; });
      long slept[3];
      for (int i = 0; i < 3; ++i) slept[i] = sleepsOf(tids[i]);
      // Each has gone to sleep a few times: it is in its wait.
      const bool asleep = waitFor([&] {
        for (int i = 0; i < 3; ++i)
          if (sleepsOf(tids[i]) < slept[i] + 3) return false;
        return true;
      });
      const auto sent = std::chrono::steady_clock::now();
      kill(getpid(), sig);
      for (std::thread& t : threads) t.join();
      const double took = secondsSince(sent);
      int failures = 0;
      if (!asleep || took >= 0.5) {
        std::cerr << "asleep " << asleep << ", stopped after " << took << " s" << std::endl;
        ++failures;
      }
      auto expect = [&](const HostFailure& f, const std::string& message, const std::string& file, int line) {
        if (f.message != message || f.file != file || f.line != line || f.hasNode) {
          std::cerr << "expected " << file << ":" << line << " " << message << ", got " << f.text << std::endl;
          ++failures;
        }
      };
      expect(f[0], "first Force-quit...", "MurvMsgsStreamFromRos", 737);
      expect(f[1], "second Force-quit...", "MurvMsgsStreamFromRos", 737);
      expect(f[2], "last Force-quit...", "AudioStreamFromRos", 285);
      if (!exit_flag_MurvMsgsStreamFromRos.isSet() || !exit_flag_AudioStreamFromRos.isSet()) ++failures;
      return failures;
    });
    EXPECT_EQ(child.wait(), 0) << "signal " << sig;
  }
}

// Once the flag is set every wait gives up at its first test, naming its
// own line; a node that finds data goes on.
TEST(StreamSignals, EveryWaitNamesItsOwnLine) {
  murvtest::RosMaster master;
  master.start();
  Child child([] {
    NodePtr gen = subtest::createGenerator("murv_signal_lines");
    gen->initialize();
    const std::vector<std::pair<std::string, int>> lines = {
        {"MurvWave", 766},    {"MurvFFT", 807},    {"MurvFeature", 850},     {"MurvSource", 894},
        {"MurvSrcWave", 940}, {"MurvSrcFFT", 997}, {"MurvSrcFeature", 1057}, {"MurvSrcFeatureMFM", 1114}};
    // Constructed, a stream node has its handler installed.
    Audio a("a", {{"KILL_NETWORK", boolParam(false)}});
    raise(SIGHUP);
    int failures = 0;
    auto expect = [&](bool ok, const std::string& what) {
      if (!ok) {
        std::cerr << "failed: " << what << std::endl;
        ++failures;
      }
    };
    for (const auto& l : lines) {
      Stream s("s", l.first, {}, {{"KILL_NETWORK", boolParam(false)}});
      callbackFuncMurvMsgsStreamFromRos& h = s.holder();
      const HostFailure first = hostFailure([&] { s.next(0); });
      expect(first.message == "s Force-quit..." && first.line == 737 && first.file == "MurvMsgsStreamFromRos",
             l.first + " first wait: " + first.text);
      h.cb_murvwave(shared(subtest::wave(1, 1, 1)));
      h.cb_murvfft(shared(subtest::fft(1, 1, 1)));
      h.cb_murvfeature(shared(subtest::feature(1, 1, 1, 1)));
      h.cb_murvsource(shared(subtest::source(1, 1, 1)));
      h.cb_murvsrcwave(shared(subtest::srcWave(1, 1, 1, 1)));
      h.cb_murvsrcfft(shared(subtest::srcFFT(1, 1, 1, 1)));
      h.cb_murvsrcfeature(shared(subtest::srcFeature(1, 1, 1, 1)));
      h.cb_murvsrcfeaturemfm(shared(subtest::srcFeatureMFM(1, 1, 1, 1, 1)));
      expect(s.next(0), l.first + " goes on while it finds data");
      const HostFailure data = hostFailure([&] { s.next(1); });
      expect(data.message == "s Force-quit..." && data.line == l.second, l.first + " data wait: " + data.text);
    }
    expect(hostFailure([&] { a.next(0); }).line == 263, "audio first wait");
    a.holder().cb(shared(subtest::wave(1, 1, 1)));
    expect(a.next(0), "audio goes on while it finds data");
    const HostFailure data = hostFailure([&] { a.next(1); });
    expect(data.message == "a Force-quit..." && data.file == "AudioStreamFromRos" && data.line == 285,
           "audio data wait: " + data.text);
    // A time-out due before the stop test still ends the stream normally.
    Audio quick("quick", {{"KILL_TIME_LEN", intParam(-1)}});
    quick.holder().cb(shared(subtest::wave(1, 1, 1)));
    expect(quick.next(0) && !quick.next(1), "a time-out wins");
    return failures;
  });
  EXPECT_EQ(child.wait(), 0);
}

// A network of paced nodes only (a 20 Hz publisher) ends as one whose
// stream node waits, with the stream waits' words.
TEST(StreamRosGone, RosnodeKillEndsAWaitingNetwork) {
  RosNetwork net("murv_kill_test");
  size_t replaced = 0;
  const std::string paced = murvtest::exampleNetwork(
      "RosStdMsgsPublisher",
      {{"param ros NODE_NAME", "param ros NODE_NAME string murv_kill_paced"},
       {"param pub TOPIC_NAME", "param pub TOPIC_NAME string /kill_paced/frame"},
       {"pull pub", "output pub OUTPUT"},
       {"iterations", ""}},
      replaced);
  ASSERT_EQ(replaced, 4u);
  const struct {
    const char* rosName;
    std::string command;
    std::function<bool(BackgroundCommand&)> joined;
    const char* said;
  } rows[] = {
      {"murv_kill_me",
       runnerCommand("kill", streamNetwork("murv_kill_me", "MurvMsgsStreamFromRos", "MurvWave", "/kill", false)),
       [](BackgroundCommand&) { return subscribedBy("/kill/murvwave", "murv_kill_me"); },
       "murv-run: host exception:\nMurvMsgsStreamFromRos, line 737: stream stopped waiting: ROS has been shut down\n"},
      {"murv_kill_paced", runnerCommand("kill_paced", paced, {MURV_EXAMPLES_PATH}),
       [](BackgroundCommand& runner) { return runner.output().find("[1] pub.OUTPUT") != std::string::npos; },
       ": pub stopped waiting: ROS has been shut down\n"}};
  for (const auto& r : rows) {
    BackgroundCommand runner(r.command);
    ASSERT_TRUE(waitFor([&] { return r.joined(runner) || !runner.running(); })) << runner.output();
    const murvtest::CommandResult kill =
        murvtest::runCommand(std::string("exec /usr/bin/python3 /usr/bin/rosnode kill /") + r.rosName);
    EXPECT_EQ(kill.status, 0) << kill.output;
    EXPECT_EQ(runner.waitExit(std::chrono::seconds(30)), 1) << runner.output();
    const std::string out = runner.output();
    EXPECT_NE(out.find(r.said), std::string::npos) << out;
    EXPECT_TRUE(endsWith(out, "ROS destructed...\n")) << out;
  }
}

TEST(StreamRosGone, ANodeOfTheSameNameTakingOverEndsAWaitingNetwork) {
  RosNetwork net("murv_takeover_test");
  BackgroundCommand runner(
      runnerCommand("takeover", streamNetwork("murv_taken_over", "AudioStreamFromRos", "", "/takeover", false)));
  ASSERT_TRUE(waitFor([&] { return subscribedBy("/takeover/audio", "murv_taken_over") || !runner.running(); }))
      << runner.output();
  const murvtest::CommandResult other = murvtest::runCommand(
      runnerCommand("takeover2",
                    "node ros RosNodeGenerator\nparam ros NODE_NAME string murv_taken_over\noutput ros VALUE\n"
                    "iterations 1\n"));
  EXPECT_EQ(other.status, 0) << other.output;
  EXPECT_EQ(runner.waitExit(std::chrono::seconds(30)), 1) << runner.output();
  const std::string out = runner.output();
  EXPECT_NE(out.find("AudioStreamFromRos, line 263: stream stopped waiting: ROS has been shut down\n"),
            std::string::npos)
      << out;
  EXPECT_TRUE(endsWith(out, "ROS destructed...\n")) << out;
}

// A SIGHUP after the first stop signal is part of the same stop: the runner
// still destroys its nodes and leaves the master. So is any stop signal
// right after the first, whoever sends it: timeout sends its signal to the
// runner and then to its process group, and a wrapper script passes on a
// Ctrl-C that reached the runner too. A second SIGINT or SIGTERM sent
// later (a person's) takes the signal's default action at once, leaving
// the ROS node registered. The runner is held in its set-up, joined to
// ROS, while both signals arrive. And a script's "murv-run net &" starts
// with SIGINT ignored: a SIGINT that comes while the runner loads its
// toolboxes still stops it before it joins ROS.
TEST(StreamSignals, ASecondSighupIsPartOfTheStopAndAnEarlySigintStops) {
  RosNetwork net("murv_second_signal_test");
  const struct {
    const char* tag;
    bool atLoad;  // held while loading the toolboxes, not in its set-up
    int first, second, status;
    bool stopsCleanly;
    // After the first is taken, before the second is sent; -1: to the
    // group, at once; -2: by another process, at once.
    int gapMillis;
  } rows[] = {{"hup_hup", false, SIGHUP, SIGHUP, 129, true, 0},     {"int_hup", false, SIGINT, SIGHUP, 130, true, 0},
              {"term_hup", false, SIGTERM, SIGHUP, 143, true, 0},   {"int_term", false, SIGINT, SIGTERM, 130, true, 0},
              {"hup_int", false, SIGHUP, SIGINT, 129, true, 0},     {"early", true, SIGINT, 0, 130, false, 0},
              {"term_timeout", false, SIGTERM, SIGTERM, 143, true, -1}, {"int_timeout", false, SIGINT, SIGINT, 130, true, -1},
              {"int_int_other", false, SIGINT, SIGINT, 130, true, -2},
              {"int_term_other", false, SIGINT, SIGTERM, 130, true, -2},
              {"int_int_later", false, SIGINT, SIGINT, 130, false, 200},
              {"int_term_later", false, SIGINT, SIGTERM, 143, false, 200},
              {"hup_int_later", false, SIGHUP, SIGINT, 130, false, 200}};
  for (const auto& r : rows) {
    const std::string rosName = std::string("murv_second_") + r.tag;
    GateFifo gate(r.tag);
    const std::string held = r.atLoad ? "" : "node gate Gate\nparam gate PATH string " + gate.path + "\n";
    BackgroundCommand runner(
        (r.atLoad ? "trap '' INT; export MURV_TEST_LOAD_GATE=" + gate.path + "; " : std::string()) +
        runnerCommand(rosName,
                      "node ros RosNodeGenerator\nparam ros NODE_NAME string " + rosName + "\n" + held +
                          "output ros VALUE\niterations 1\n",
                      {MURV_GATE_TOOLBOX_PATH}));
    ASSERT_TRUE(waitFor([&] { return gate.reached() || !runner.running(); })) << r.tag << "\n" << runner.output();
    ASSERT_EQ(rosNodeListed(rosName), !r.atLoad) << r.tag;
    for (int sig : {r.first, r.second}) {
      if (!sig) continue;
      if (sig == r.second && r.gapMillis == -1) kill(-runner.pid(), sig);
      else if (sig == r.second && r.gapMillis == -2) {
        const pid_t sender = fork();
        if (sender == 0) _exit(kill(runner.pid(), sig) == 0 ? 0 : 1);
        int sent = -1;
        ASSERT_EQ(waitpid(sender, &sent, 0), sender);
        ASSERT_TRUE(WIFEXITED(sent) && WEXITSTATUS(sent) == 0) << r.tag;
      } else runner.signal(sig);
      // Taken before the next one is sent: not merged with it.
      ASSERT_TRUE(waitFor([&] { return !runner.running() || !signalPending(runner.pid(), sig); },
                          std::chrono::seconds(20), std::chrono::milliseconds(1)))
          << r.tag;
      if (r.gapMillis > 0) std::this_thread::sleep_for(std::chrono::milliseconds(r.gapMillis));
    }
    if (runner.running()) gate.release();
    EXPECT_EQ(runner.waitExit(std::chrono::seconds(30)), r.status) << r.tag << "\n" << runner.output();
    EXPECT_EQ(endsWith(runner.output(), "ROS destructed...\n"), r.stopsCleanly) << r.tag << "\n" << runner.output();
    EXPECT_EQ(runner.output().find("generated...") == std::string::npos, r.atLoad) << r.tag << "\n" << runner.output();
    EXPECT_TRUE(waitFor([&] { return rosNodeListed(rosName) == (!r.stopsCleanly && !r.atLoad); })) << r.tag;
    if (r.stopsCleanly) {
      EXPECT_EQ(net.master.registrationsOf(rosName), "") << r.tag;
    }
  }
}

// A user closes the terminal in which an interactive shell runs the runner
// in the foreground: the shell passes its SIGHUP on to the job, and the
// kernel sends another when the shell exits. The runner stops once,
// destroys its network and leaves the master. One that reads its
// description from that terminal says it stopped there.
TEST(StreamSignals, ClosingTheTerminalStopsTheRunnerOnce) {
  RosNetwork net("murv_terminal_test");
  // The runner outlives its shell: it becomes this process's child, to be
  // waited for.
  ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
  const std::string rosName = "murv_terminal", out = std::string(MURV_BINARY_DIR) + "/terminal.out";
  const struct {
    std::string command, end;
    std::function<bool(pid_t)> ready;
  } rows[] = {
      {runnerCommand(rosName, streamNetwork(rosName, "AudioStreamFromRos", "", "/terminal", false)).substr(5),
       "ROS destructed...\n", [&](pid_t) { return subscribedBy("/terminal/audio", rosName); }},
      // In the shell's place, so that the shell cannot reap it first.
      {std::string("exec ") + MURV_RUNNER_PATH + " --toolbox " + MURV_TOOLBOX_PATH + " -",
       "murv-run: -:1: stopped while reading the network description\n",
       [](pid_t job) {
         std::string name;
         std::ifstream("/proc/" + std::to_string(job) + "/comm") >> name;
         return name == "murv-run" &&
                (murvtest::aThreadBlockedIn(job, SYS_poll) || murvtest::aThreadBlockedIn(job, SYS_ppoll));
       }},
  };
  for (const auto& r : rows) {
    const std::string typed = r.command + " >" + out + " 2>&1\n";
    const char* argv[] = {"/bin/bash", "--norc", "--noprofile", "-i", nullptr};
    int terminal = -1;
    const pid_t shell = forkpty(&terminal, nullptr, nullptr, nullptr);
    if (shell == 0) {
      execv(argv[0], const_cast<char* const*>(argv));
      _exit(127);
    }
    ASSERT_GT(shell, 0);
    ASSERT_EQ(write(terminal, typed.data(), typed.size()), static_cast<ssize_t>(typed.size()));
    pid_t job = 0;
    ASSERT_TRUE(waitFor([&] {
      job = r.command.compare(0, 5, "exec ") == 0
                ? shell
                : std::atoi(murvtest::runCommand("exec pgrep -P " + std::to_string(shell)).output.c_str());
      return job > 0 && r.ready(job);
    })) << r.command;
    close(terminal);
    // Only once the shell has gone is a runner that outlives it ours to
    // wait for; a shell that saw its job end first has taken the status
    // along, and the output alone tells how the runner ended.
    if (job != shell) {
      EXPECT_TRUE(waitFor([&] { return waitpid(shell, nullptr, WNOHANG) == shell; }));
    }
    int status = 0;
    pid_t reaped = 0;
    EXPECT_TRUE(waitFor([&] {
      reaped = waitpid(job, &status, WNOHANG);
      return reaped == job || (reaped < 0 && errno == ECHILD && job != shell);
    }));
    if (reaped == job) {
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 129) << status;
    }
    std::ifstream written(out);
    const std::string output((std::istreambuf_iterator<char>(written)), std::istreambuf_iterator<char>());
    EXPECT_TRUE(endsWith(output, r.end)) << output;
    EXPECT_TRUE(waitFor([&] { return !rosNodeListed(rosName); }));
  }
}
