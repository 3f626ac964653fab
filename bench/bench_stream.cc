// The stream path end to end, through a private rosmaster and TCP: frames
// published in a sender process, MurvMsgsStreamFromRos in this one; beside
// it, in the same run, a plain roscpp subscriber whose callback queues each
// message and wakes a consumer blocked on its own condition variable.
// Measured:
// - latency from publishing (the stamp, taken as the frame is published by
//   a plain roscpp publisher) to the frame being out of the stream node, or
//   out of the plain consumer's queue with its samples copied (p50, p99),
//   for 8x512 and 16x512 waves at 100 and 1000 frames per second;
// - the highest frame rate sustained without losing a frame, with the
//   frames of the stream node sent by a publishing network (a source
//   feeding RosMurvMsgsPublisher);
// - the CPU time a stream node burns and the wake-ups of its threads per
//   second while it waits, in its first-message wait and in its data wait,
//   beside the process idle with no node waiting.
//
// Run with a --benchmark_min_time below 0.5 s (as CI does) every experiment
// is cut short, so that the binary still checks that the path works.
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <fcntl.h>
#include <murv_msgs/MurvWave.h>
#include <ros/ros.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <boost/make_shared.hpp>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "Matrix.h"
#include "nodes/MurvMsgsStreamFromRos.h"
#include "RosMaster.h"
#include "nodes/RosMurvMsgsPublisher.h"
#include "nodes/RosNodeGenerator.h"
#include "SharedObjects.h"
#include "String.h"
#include "ThreadCpu.h"
#include "TimeStamp.h"
#include "net_types.h"

namespace {

using Clock = std::chrono::steady_clock;

// Whether the run asked for a minimum time below half a second.
bool shortRun() {
  static const bool isShort = [] {
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    std::string arg;
    while (std::getline(in, arg, '\0')) {
      const std::string key = "--benchmark_min_time=";
      if (arg.rfind(key, 0) == 0) return std::atof(arg.c_str() + key.size()) < 0.5;
    }
    return false;
  }();
  return isShort;
}

MURV::ObjectRef str(const std::string& s) { return MURV::ObjectRef(new MURV::String(s)); }
MURV::ObjectRef num(int v) { return MURV::ObjectRef(new MURV::NetCType<int>(v)); }
MURV::ObjectRef real(float v) { return MURV::ObjectRef(new MURV::NetCType<float>(v)); }

struct NodeUnref {
  void operator()(MURV::Node* n) const {
    if (n) n->unref();
  }
};
using NodePtr = std::unique_ptr<MURV::Node, NodeUnref>;

// Queues on every side hold a second of frames at the highest rate the
// latencies are measured at, and a receiver ends a run after half a second
// without a frame: a machine busy with other work delays frames, but does
// not lose them.
const int queueSize = 1000;
const long silenceMicros = 500000;

// A topic of its own for each experiment: a subscription of an earlier one
// may still be going away.
std::string topicOf(const std::string& experiment, int nch, int len, double rate) {
  return "/bench/" + experiment + "_" + std::to_string(nch) + "x" + std::to_string(len) + "_" +
         std::to_string(static_cast<int>(rate));
}

// ----------------------------------------------------------------- sender

// A source whose one output holds a frame of nch x len samples; the first
// sample carries the count, so that the receiver can tell loss and order.
class FrameSource : public MURV::Node {
public:
  FrameSource(int nch, int len)
      : MURV::Node("frames", MURV::ParameterSet()), frame_(new MURV::Matrix<float>(nch, len)) {
    addOutput("OUTPUT");
    MURV::Matrix<float>& m = MURV::object_cast<MURV::Matrix<float>>(frame_);
    for (int64_t i = 0; i < m.msize(); ++i) m.data[i] = 0.001f * static_cast<float>(i % 1000);
  }
  MURV::ObjectRef getOutput(int, int count) override {
    MURV::object_cast<MURV::Matrix<float>>(frame_).data[0] = static_cast<float>(count);
    return frame_;
  }

private:
  MURV::ObjectRef frame_;
};

MURV::ParameterSet publisherParams(const std::string& topic) {
  MURV::ParameterSet p;
  p.add("ADVANCE", num(512));
  p.add("ENABLE_DEBUG", MURV::FalseObject);
  const char* types[] = {"MURVFFT",    "MURVFEATURE",    "MURVSOURCE",       "MURVSRCWAVE",
                         "MURVSRCFFT", "MURVSRCFEATURE", "MURVSRCFEATUREMFM"};
  p.add("TOPIC_NAME_MURVWAVE", str(topic));
  for (const char* t : types) p.add(std::string("TOPIC_NAME_") + t, str(topic + "_unused"));
  p.add("BUFFER_NUM", num(queueSize));
  p.add("ROS_LOOP_RATE", real(1e6f));
  p.add("ROS_FRAME_ID", str("bench"));
  p.add("TIMESTAMP_TYPE", str("ROS_TIME_NOW"));
  p.add("SAMPLING_RATE", num(16000));
  return p;
}

// Publishes frames at rate, each stamped with the time it is published,
// once the receiver's subscription has connected.
template <class Publish>
bool publishPaced(const ros::Publisher& probe, double rate, int frames, Publish publish) {
  if (!murvtest::waitFor([&] { return probe.getNumSubscribers() > 0; }, std::chrono::seconds(20),
                         std::chrono::milliseconds(1)))
    return false;
  const auto start = Clock::now();
  for (int i = 0; i < frames; ++i) {
    std::this_thread::sleep_until(start +
                                  std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(i / rate)));
    publish(i);
  }
  return true;
}

// The sender process: one command a line on in, one answer a line on out.
//   node|plain TOPIC NCH LEN RATE FRAMES   publish FRAMES frames of NCH x LEN
//                                          through the publishing network or
//                                          a plain roscpp publisher
//   quit
[[noreturn]] void senderMain(int in, int out) {
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  std::cout.rdbuf(nullptr);  // the nodes' traces
  MURV::ParameterSet gp;
  gp.add("NODE_NAME", str("murv_bench_sender"));
  NodePtr generator(new RosNodeGenerator("gen", gp));
  generator->initialize();
  ros::NodeHandle nh;
  FILE* commands = fdopen(in, "r");
  char kind[16], topicName[256];
  int nch, len, frames;
  double rate;
  // What was published for a command stays until the next one: torn down
  // at once, a publisher would drop the frames still queued for sending.
  NodePtr source, pub;
  ros::Publisher probe, plain;
  while (std::fscanf(commands, "%15s %255s %d %d %lf %d", kind, topicName, &nch, &len, &rate, &frames) == 6) {
    pub.reset();
    source.reset();
    probe = plain = ros::Publisher();
    bool ok = false;
    const std::string topic = topicName;
    if (std::string(kind) == "node") {
      source.reset(new FrameSource(nch, len));
      pub.reset(new RosMurvMsgsPublisher("pub", publisherParams(topic)));
      pub->connectToNode("MIC_WAVE", source.get(), "OUTPUT");
      pub->initialize();
      // Advertised again in this process, the topic shares the node's
      // publication and its count of connections.
      probe = nh.advertise<murv_msgs::MurvWave>(topic, 1);
      ok = publishPaced(probe, rate, frames, [&](int i) { pub->getOutput(0, i); });
    } else {
      plain = nh.advertise<murv_msgs::MurvWave>(topic, queueSize);
      murv_msgs::MurvWave m;
      m.header.frame_id = "bench";
      m.nch = nch;
      m.length = len;
      m.data_bytes = 4 * nch * len;
      m.src.resize(nch);
      for (int c = 0; c < nch; ++c)
        for (int i = 0; i < len; ++i) m.src[c].wavedata.push_back(0.001f * static_cast<float>((c * len + i) % 1000));
      ok = publishPaced(plain, rate, frames, [&](int i) {
        m.count = i;
        m.src[0].wavedata[0] = static_cast<float>(i);
        m.header.stamp = ros::Time::now();
        plain.publish(m);
      });
    }
    const std::string answer = ok ? "done\n" : "unconnected\n";
    if (write(out, answer.data(), answer.size()) < 0) break;
  }
  pub.reset();
  source.reset();
  probe = plain = ros::Publisher();
  generator.reset();
  _exit(0);
}

// -------------------------------------------------------------- receiver

// A private master, the sender process, and this process joined to ROS,
// made at first use and ended when the benchmarks are done.
class Bench {
public:
  static Bench& get() {
    static Bench* bench = [] {
      Bench* b = new Bench;
      std::atexit([] { delete &get(); });
      return b;
    }();
    return *bench;
  }
  // Sends a command and waits for its answer.
  bool command(const std::string& kind, const std::string& topic, int nch, int len, double rate, int frames) {
    const std::string line = kind + " " + topic + " " + std::to_string(nch) + " " + std::to_string(len) + " " +
                             std::to_string(rate) + " " + std::to_string(frames) + "\n";
    if (write(toSender_, line.data(), line.size()) < 0) return false;
    char answer[32] = {0};
    return std::fgets(answer, sizeof answer, fromSender_) && std::string(answer) == "done\n";
  }

  ~Bench() {
    if (write(toSender_, "quit\n", 5) < 0) kill(sender_, SIGKILL);
    close(toSender_);
    if (!murvtest::waitFor([&] { return waitpid(sender_, nullptr, WNOHANG) == sender_; }, std::chrono::seconds(10))) {
      kill(sender_, SIGKILL);
      waitpid(sender_, nullptr, 0);
    }
    spinner_.reset();
    std::streambuf* shown = std::cout.rdbuf(nullptr);
    generator_.reset();
    std::cout.rdbuf(shown);
    master_.stop();
  }

private:
  Bench() {
    master_.start();
    // The sender is forked before this process joins ROS: roscpp's threads
    // do not survive a fork.
    int down[2], up[2];
    if (pipe(down) != 0 || pipe(up) != 0) std::abort();
    std::fflush(nullptr);
    sender_ = fork();
    if (sender_ == 0) {
      close(down[1]);
      close(up[0]);
      senderMain(down[0], up[1]);
    }
    close(down[0]);
    close(up[1]);
    toSender_ = down[1];
    fromSender_ = fdopen(up[0], "r");
    MURV::ParameterSet gp;
    gp.add("NODE_NAME", str("murv_bench_receiver"));
    std::streambuf* shown = std::cout.rdbuf(nullptr);  // the node's traces
    generator_.reset(new RosNodeGenerator("gen", gp));
    generator_->initialize();
    std::cout.rdbuf(shown);
    // Serves the plain subscriptions; the stream nodes bring their own.
    spinner_.reset(new ros::AsyncSpinner(1));
    spinner_->start();
  }

  murvtest::RosMaster master_;
  pid_t sender_ = -1;
  int toSender_ = -1;
  FILE* fromSender_ = nullptr;
  NodePtr generator_;
  std::unique_ptr<ros::AsyncSpinner> spinner_;
};

struct Run {
  std::vector<double> latencyUs;
  int received = 0;
  bool inOrder = true;
  bool connected = true;
};

// Who publishes a run's frames: the publishing network or a plain roscpp
// publisher (see senderMain).
using Path = Run (*)(const std::string& publisher, const std::string& topic, int nch, int len, double rate,
                     int frames);

double microsSince(const ros::Time& stamp) { return (ros::Time::now() - stamp).toSec() * 1e6; }

Run runStream(const std::string& publisher, const std::string& topic, int nch, int len, double rate, int frames) {
  Bench& bench = Bench::get();
  MURV::ParameterSet p;
  const char* types[] = {"MURVFFT",    "MURVFEATURE",    "MURVSOURCE",       "MURVSRCWAVE",
                         "MURVSRCFFT", "MURVSRCFEATURE", "MURVSRCFEATUREMFM"};
  p.add("TOPIC_NAME_MURVWAVE", str(topic));
  for (const char* t : types) p.add(std::string("TOPIC_NAME_") + t, str("/bench/unused"));
  p.add("STREAM_SELECTION", str("MurvWave"));
  p.add("ENABLE_DEBUG", MURV::FalseObject);
  p.add("ROS_LOOP_RATE", real(1e6f));
  p.add("MSG_BUFFER_NUM", num(queueSize));
  p.add("DATA_BUFFER_NUM", num(queueSize));
  p.add("KILL_TIME_LEN", num(static_cast<int>(silenceMicros)));
  p.add("KILL_NETWORK", MURV::TrueObject);
  std::streambuf* quiet = std::cout.rdbuf(nullptr);  // the node's traces
  NodePtr stream(new MurvMsgsStreamFromRos("stream", p));
  const int matout = stream->translateOutput("MATOUT");
  const int stamp = stream->translateOutput("TIMESTAMP");
  const int notEof = stream->translateOutput("NOT_EOF");
  stream->initialize();
  std::cout.rdbuf(quiet);

  Run run;
  std::thread sender([&] { run.connected = bench.command(publisher, topic, nch, len, rate, frames); });
  run.latencyUs.reserve(frames);
  for (int count = 0;; ++count) {
    if (!MURV::dereference_cast<bool>(stream->getOutput(notEof, count))) break;
    const MURV::TimeStamp& ts = MURV::object_cast<MURV::TimeStamp>(stream->getOutput(stamp, count));
    run.latencyUs.push_back(
        microsSince(ros::Time(static_cast<uint32_t>(ts.sec), static_cast<uint32_t>(ts.usec * 1000))));
    const int index =
        static_cast<int>(MURV::object_cast<MURV::Matrix<float>>(stream->getOutput(matout, count)).data[0]);
    if (index != run.received) run.inOrder = false;
    ++run.received;
  }
  sender.join();
  return run;
}

// The plain pair: the callback queues the message and wakes the consumer,
// which blocks on its own condition variable, takes the message and copies
// its samples out, as the stream node does into its matrix. Like the node,
// it waits for its first frame without a time-out (a minute here) and
// stops after the same silence.
Run runPlain(const std::string& publisher, const std::string& topic, int nch, int len, double rate, int frames) {
  Bench& bench = Bench::get();
  std::mutex lock;
  std::condition_variable arrived;
  std::deque<murv_msgs::MurvWave::ConstPtr> queue;
  ros::NodeHandle nh;
  ros::Subscriber sub =
      nh.subscribe<murv_msgs::MurvWave>(topic, 100, [&](const murv_msgs::MurvWave::ConstPtr& m) {
        {
          std::lock_guard<std::mutex> g(lock);
          queue.push_back(m);
        }
        arrived.notify_one();
      });
  Run run;
  std::thread sender([&] { run.connected = bench.command(publisher, topic, nch, len, rate, frames); });
  run.latencyUs.reserve(frames);
  std::vector<float> samples;
  for (;;) {
    std::unique_lock<std::mutex> g(lock);
    const auto silence = std::chrono::microseconds(run.received == 0 ? 60000000 : silenceMicros);
    if (!arrived.wait_for(g, silence, [&] { return !queue.empty(); })) break;
    const murv_msgs::MurvWave::ConstPtr m = queue.front();
    queue.pop_front();
    g.unlock();
    samples.clear();
    for (const auto& channel : m->src) samples.insert(samples.end(), channel.wavedata.begin(), channel.wavedata.end());
    run.latencyUs.push_back(microsSince(m->header.stamp));
    if (m->count != run.received || samples.size() != static_cast<std::size_t>(nch) * len) run.inOrder = false;
    ++run.received;
  }
  sender.join();
  sub.shutdown();
  return run;
}

double percentile(std::vector<double> v, double q) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, static_cast<std::size_t>(q * static_cast<double>(v.size())))];
}

// Results by benchmark, for the ratios reported beside the stream's.
std::map<std::string, double>& results() {
  static std::map<std::string, double> r;
  return r;
}

std::string shape(const benchmark::State& state) {
  return std::to_string(state.range(0)) + "x" + std::to_string(state.range(1));
}

// Both receivers are fed by the same plain roscpp publisher, so that they
// differ only in how the frame is taken in; their runs alternate, so that
// both see the same load on the machine, and the percentiles are those of
// all frames of one receiver's runs.
void BM_Latency(benchmark::State& state) {
  const int nch = static_cast<int>(state.range(0)), len = static_cast<int>(state.range(1));
  const double rate = static_cast<double>(state.range(2));
  // Many short runs rather than a few long ones: the load of the machine
  // changes by the second.
  const int rounds = shortRun() ? 1 : 8;
  const int frames = shortRun() ? 40 : std::min(500, static_cast<int>(1.5 * rate));
  for (auto _ : state) {
    const auto begin = Clock::now();
    std::vector<double> plain, stream;
    for (int round = 0; round < rounds; ++round) {
      const std::string suffix = "_" + std::to_string(round);
      for (Path path : {runPlain, runStream}) {
        const bool isPlain = path == runPlain;
        const std::string experiment = std::string("latency_") + (isPlain ? "plain" : "stream") + suffix;
        const Run run = path("plain", topicOf(experiment, nch, len, rate), nch, len, rate, frames);
        if (!run.connected || run.received != frames || !run.inOrder) {
          state.SkipWithError("frames lost or out of order");
          return;
        }
        std::vector<double>& all = isPlain ? plain : stream;
        all.insert(all.end(), run.latencyUs.begin(), run.latencyUs.end());
      }
    }
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - begin).count());
    const double p50 = percentile(stream, 0.5), p99 = percentile(stream, 0.99);
    const double plain50 = percentile(plain, 0.5), plain99 = percentile(plain, 0.99);
    state.counters["stream_p50_us"] = p50;
    state.counters["stream_p99_us"] = p99;
    state.counters["roscpp_p50_us"] = plain50;
    state.counters["roscpp_p99_us"] = plain99;
    state.counters["p50_vs_roscpp"] = p50 / plain50;
    state.counters["p99_vs_roscpp"] = p99 / plain99;
  }
}

void maxRate(benchmark::State& state, Path path, const char* name, const char* publisher) {
  const int nch = static_cast<int>(state.range(0)), len = static_cast<int>(state.range(1));
  const std::vector<double> rates =
      shortRun() ? std::vector<double>{1000, 4000}
                 : std::vector<double>{500, 1000, 2000, 3000, 4000, 6000, 8000, 12000, 16000, 24000, 32000};
  for (auto _ : state) {
    const auto begin = Clock::now();
    double best = 0;
    for (double rate : rates) {
      // A second's worth of frames, at least 500.
      const int frames = shortRun() ? 50 : std::max(500, static_cast<int>(rate));
      const Run run = path(publisher, topicOf(std::string("rate_") + name, nch, len, rate), nch, len, rate, frames);
      if (!run.connected || run.received != frames || !run.inOrder) break;
      best = rate;
    }
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - begin).count());
    state.counters["max_rate_hz"] = best;
    state.counters["max_MBps"] = best * nch * len * 4 / 1e6;
    results()[std::string(name) + "rate" + shape(state)] = best;
    const auto plain = results().find("plainrate" + shape(state));
    if (std::string(name) == "stream" && plain != results().end() && plain->second > 0)
      state.counters["rate_vs_roscpp"] = best / plain->second;
  }
}

void BM_RoscppMaxRate(benchmark::State& state) { maxRate(state, runPlain, "plain", "plain"); }
void BM_StreamMaxRate(benchmark::State& state) { maxRate(state, runStream, "stream", "node"); }

double processCpuSeconds() {
  rusage u;
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}

long threadWakeups() { return murvtest::wakeupsOf(); }

// Summed over the threads alive now: ROS's own threads included.
long processWakeups() {
  long sum = 0;
  if (DIR* tasks = opendir("/proc/self/task")) {
    while (dirent* task = readdir(tasks))
      if (task->d_name[0] != '.')
        sum += murvtest::wakeupsOf(std::string("/proc/self/task/") + task->d_name + "/status");
    closedir(tasks);
  }
  return sum;
}

// CPU time and wake-ups per second of waiting, on the waiting thread and in
// the whole process, of a stream node that waits for a frame which does not
// come: in its first-message wait (until a frame is queued after the time
// measured), or past its first frame in its data wait (until its
// KILL_TIME_LEN); beside it the process idle with the same ROS threads and
// no node waiting, and what the waits' tick alone costs on this machine: a
// thread that only sleeps on a condition variable, 100 ms at a time.
enum IdleCase { noneWaiting, firstMessageWait, dataWait, tickAlone };

void BM_StreamIdleWait(benchmark::State& state) {
  Bench::get();
  const IdleCase what = static_cast<IdleCase>(state.range(0));
  const double seconds = shortRun() ? 0.1 : 2.0;
  MURV::ParameterSet p;
  for (const char* t : {"MURVWAVE", "MURVFFT", "MURVFEATURE", "MURVSOURCE", "MURVSRCWAVE", "MURVSRCFFT",
                        "MURVSRCFEATURE", "MURVSRCFEATUREMFM"})
    p.add(std::string("TOPIC_NAME_") + t, str("/bench/idle"));
  p.add("STREAM_SELECTION", str("MurvWave"));
  p.add("ENABLE_DEBUG", MURV::FalseObject);
  p.add("ROS_LOOP_RATE", real(1e6f));
  p.add("MSG_BUFFER_NUM", num(10));
  p.add("DATA_BUFFER_NUM", num(10));
  p.add("KILL_TIME_LEN", num(static_cast<int>(seconds * 1e6)));
  p.add("KILL_NETWORK", MURV::TrueObject);
  std::streambuf* quiet = std::cout.rdbuf(nullptr);
  MurvMsgsStreamFromRos* node = new MurvMsgsStreamFromRos("idle", p);
  NodePtr owner(node);
  const int notEof = node->translateOutput("NOT_EOF");
  node->initialize();
  std::cout.rdbuf(quiet);
  callbackFuncMurvMsgsStreamFromRos& holder = node->callbackHolder();
  auto frame = boost::make_shared<const murv_msgs::MurvWave>();
  if (what == dataWait) {
    holder.cb_murvwave(frame);
    node->getOutput(notEof, 0);
  }
  for (auto _ : state) {
    const auto begin = Clock::now();
    const double thread0 = threadCpuSeconds(), process0 = processCpuSeconds();
    const long threadWake0 = threadWakeups(), processWake0 = processWakeups();
    double waitingThreadCpu = 0;
    long waitingThreadWakeups = 0;
    if (what == noneWaiting) {
      std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    } else if (what == tickAlone) {
      std::mutex lock;
      std::condition_variable never;
      std::unique_lock<std::mutex> g(lock);
      while (Clock::now() - begin < std::chrono::duration<double>(seconds))
        never.wait_for(g, std::chrono::milliseconds(100));
    } else if (what == dataWait) {
      node->getOutput(notEof, 1);
    } else {
      // The frame that ends the wait comes after the time measured.
      std::thread waiting([&] {
        const double t0 = threadCpuSeconds();
        const long w0 = threadWakeups();
        node->getOutput(notEof, 0);
        waitingThreadCpu = threadCpuSeconds() - t0;
        waitingThreadWakeups = threadWakeups() - w0;
      });
      std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
      state.SetIterationTime(std::chrono::duration<double>(Clock::now() - begin).count());
      state.counters["process_cpu_ms_per_s"] = (processCpuSeconds() - process0) * 1e3 / seconds;
      state.counters["process_wakeups_per_s"] = static_cast<double>(processWakeups() - processWake0) / seconds;
      holder.cb_murvwave(frame);
      waiting.join();
      state.counters["thread_cpu_ms_per_s"] = waitingThreadCpu * 1e3 / seconds;
      state.counters["thread_wakeups_per_s"] = static_cast<double>(waitingThreadWakeups) / seconds;
      continue;
    }
    const double wall = std::chrono::duration<double>(Clock::now() - begin).count();
    state.SetIterationTime(wall);
    state.counters["thread_cpu_ms_per_s"] = (threadCpuSeconds() - thread0) * 1e3 / wall;
    state.counters["process_cpu_ms_per_s"] = (processCpuSeconds() - process0) * 1e3 / wall;
    state.counters["thread_wakeups_per_s"] = static_cast<double>(threadWakeups() - threadWake0) / wall;
    state.counters["process_wakeups_per_s"] = static_cast<double>(processWakeups() - processWake0) / wall;
  }
}

void shapes(benchmark::internal::Benchmark* b) {
  b->ArgNames({"nch", "len"})
      ->Args({8, 512})
      ->Args({16, 512})
      ->Iterations(1)
      ->UseManualTime()
      ->Unit(benchmark::kMillisecond);
}

void shapesAndRates(benchmark::internal::Benchmark* b) {
  b->ArgNames({"nch", "len", "fps"})
      ->Args({8, 512, 100})
      ->Args({8, 512, 1000})
      ->Args({16, 512, 100})
      ->Args({16, 512, 1000})
      ->Iterations(1)
      ->UseManualTime()
      ->Unit(benchmark::kMillisecond);
}

}  // namespace

BENCHMARK(BM_Latency)->Apply(shapesAndRates);
// The plain pair first, so that the stream's rows carry the ratio.
BENCHMARK(BM_RoscppMaxRate)->Apply(shapes);
BENCHMARK(BM_StreamMaxRate)->Apply(shapes);
// waiting: 0 none, 1 first-message wait, 2 data wait, 3 the tick alone.
BENCHMARK(BM_StreamIdleWait)
    ->ArgName("waiting")
    ->DenseRange(0, 3)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
