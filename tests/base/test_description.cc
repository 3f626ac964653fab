// What the runner refuses while it reads a network description: each fault
// ends the run with status 2 before the first iteration, in one short line
// that names the file and line.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "PrintableText.h"
#include "RosMaster.h"
#include "RunnerTestSupport.h"

using namespace runnertest;

namespace {

// A sanitizer reserves far more address space than any limit worth setting.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool addressSpaceLimitable = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool addressSpaceLimitable = false;
#else
constexpr bool addressSpaceLimitable = true;
#endif
#else
constexpr bool addressSpaceLimitable = true;
#endif

// Runs the runner, and the shell that starts it, within an address space of
// limitKb where that can be set.
RunResult runLimited(const std::string& path, rlim_t limitKb) {
  rlimit old{};
  getrlimit(RLIMIT_AS, &old);
  rlimit limited = old;
  if (addressSpaceLimitable) limited.rlim_cur = limitKb * 1024;
  setrlimit(RLIMIT_AS, &limited);
  RunResult r = runFile(path);
  setrlimit(RLIMIT_AS, &old);
  return r;
}

}  // namespace

TEST(NetworkDescription, RefusesEveryFaultAtItsLineInOneShortLine) {
  const std::string lead = "node sig TestSignal\n";  // line 1 of the descriptions below
  const std::string objectLead = "node b BeatCandidate\noutput b TEMPO\nparam b V object ";  // the value at line 3
  const std::string e2 = "\xc3\xa9";                                                         // two bytes of UTF-8
  std::string utf8Word = "a";
  for (int i = 0; i < 300; ++i) utf8Word += e2;
  std::string utf8Shown = "a";
  for (int i = 0; i < 199; ++i) utf8Shown += e2;
  const std::string missing = descriptionPath("no_such_description");
  std::remove(missing.c_str());
  struct Case {
    std::string name;   // a description written under this name, or
    std::string path;   // a file read as it is
    std::string text;   // the description
    int line;
    std::string error;  // after "FILE:LINE: "
  } cases[] = {
      {"", MURV_BINARY_DIR, "", 1, "cannot read the network description: Is a directory"},
      {"", "/proc/self/mem", "", 1, "cannot read the network description: Input/output error"},
      {"", missing, "", 0, "cannot open the network description: No such file or directory"},
      {"", "/dev/zero", "", 1, "line longer than 1048576 bytes"},
      {"long_line", "", "#\n#" + std::string(1048576, 'x') + "\n", 2, "line longer than 1048576 bytes"},
      {"long_word", "", lead + std::string(1000000, 'A') + "\n", 2,
       "unknown statement '" + std::string(200, 'A') + "...'"},
      {"long_int", "", lead + "param sig CHANNELS int " + std::string(5000, '7') + "\n", 2,
       "bad int value '" + std::string(200, '7') + "...'"},
      {"utf8_cut", "", utf8Word + "\n", 1, "unknown statement '" + utf8Shown + "...'"},
      {"controls", "", "foo\x01\x1b[31m\tbar\n", 1, "unknown statement 'foo\\x01\\x1b[31m'"},
      {"node_more", "", "node sig TestSignal junk\n", 1, "'node' takes 2 words; text after them: 'junk'"},
      {"connect_more", "", lead + "connect sig INPUT sig OUTPUT x y\n", 2,
       "'connect' takes 4 words; text after them: 'x y'"},
      {"output_more", "", lead + "output sig OUTPUT OUTPUT\n", 2, "'output' takes 2 words; text after them: 'OUTPUT'"},
      {"pull_more", "", lead + "pull sig OUTPUT 1\n", 2, "'pull' takes 2 words; text after them: '1'"},
      {"eof_more", "", lead + "eof sig OUTPUT # ok\neof sig OUTPUT false\n", 3,
       "'eof' takes 2 words; text after them: 'false'"},
      // Words as read, and a character that joined two of them.
      {"node_less", "", "node sig\xc2\xa0TestSignal\n", 1,
       "'node' takes 2 words, not 1: 'sig\\u{00a0}TestSignal'; sig\\u{00a0}TestSignal: \\u{00a0} is not a space"},
      {"connect_less", "", lead + "connect sig IN\xe2\x80\x8bsig OUTPUT\n", 2,
       "'connect' takes 4 words, not 3: 'sig' 'IN\\u{200b}sig' 'OUTPUT'; IN\\u{200b}sig: \\u{200b} is an invisible "
       "character"},
      {"pull_none", "", lead + "pull\n", 2, "'pull' takes 2 words, not 0"},
      {"kind_joined", "", lead + "param sig CHANNELS\xc2\xa0int 1\n", 2, "CHANNELS\\u{00a0}int: \\u{00a0} is not a space"},
      {"kind", "", lead + "param sig CHANNELS integer 1\n", 2, "unknown parameter kind 'integer'"},
      {"statement_joined", "", "node\xe3\x80\x80sig TestSignal\n", 1,
       "unknown statement 'node\\u{3000}sig'; node\\u{3000}sig: \\u{3000} is not a space"},
      {"obj_open", "", objectLead + "<Vector<float> 1 2\n", 3,
       "bad object value '<Vector<float> 1 2': Vector, line 209: Error reading Vector"},
      {"obj_type", "", objectLead + "<Vector<double> 1 2 >\n", 3,
       "bad object value '<Vector<double> 1 2 >': Object, line 0: Unknown object type: Vector<double>"},
      {"obj_rows", "", objectLead + "<Matrix<float> <rows -1> <cols 2> <data > >\n", 3,
       "bad object value '<Matrix<float> <rows -1> <cols 2> <data > >': Matrix<T>::readFrom : Parse error trying to "
       "build data"},
      {"obj_cells", "", objectLead + "<Matrix<float> <rows 2> <cols 2> <data 1 2 3 > >\n", 3,
       "bad object value '<Matrix<float> <rows 2> <cols 2> <data 1 2 3 > >': Matrix<T>::readFrom : Parse error "
       "trying to build data"},
      {"obj_short", "", objectLead + "<Matrix<float> <rows 2> <cols 2> <data 1 2\n", 3,
       "bad object value '<Matrix<float> <rows 2> <cols 2> <data 1 2': Matrix<T>::readFrom : Parse error trying to "
       "build data"},
      {"obj_nodata", "", objectLead + "<Matrix<float> <rows 2> <cols 2> >\n", 3,
       "bad object value '<Matrix<float> <rows 2> <cols 2> >': Matrix<T>::readFrom : Parse error: 'data' expected"},
      {"obj_long", "", objectLead + "<" + std::string(5000, 'T') + " >\n", 3,
       "bad object value '<" + std::string(99, 'T') + "...': Object, line 0: Unknown object type: " +
           std::string(63, 'T') + "..."},
      {"iter_int", "", lead + "iterations 2147483648\n", 2, "bad iterations value '2147483648' (at most 2147483647)"},
      {"iter_long", "", lead + "iterations 4294967298\n", 2, "bad iterations value '4294967298' (at most 2147483647)"},
      {"iter_huge", "", lead + "iterations " + std::string(40, '9') + "\n", 2,
       "bad iterations value '" + std::string(40, '9') + "' (at most 2147483647)"},
      // A byte-order mark is skipped; bytes that are no printable UTF-8 are escaped.
      {"bom", "", "\xEF\xBB\xBF" "bogus\n", 1, "unknown statement 'bogus'"},
      {"not_utf8", "", "a\xff\xc3\xa9\xc2\x85\xed\xa0\x80\xc0\xafz\n", 1,
       "unknown statement 'a\\xff\xc3\xa9\\xc2\\x85\\xed\\xa0\\x80\\xc0\\xafz'"},
      {"empty", "", "# nothing but a comment\n\n", 0, "no node in the description"},
      {"float_small", "", lead + "param sig AMPLITUDE float 1e-300\n", 2,
       "float value '1e-300' is out of the range of a float"},
      {"float_big", "", lead + "param sig AMPLITUDE float -4e38\n", 2,
       "float value '-4e38' is out of the range of a float"},
      {"float_huge", "", lead + "param sig AMPLITUDE float 1e99999\n", 2,
       "float value '1e99999' is out of the range of a float"},
      {"float_bad", "", lead + "param sig AMPLITUDE float 1e\n", 2, "bad float value '1e'"},
      // A name far from any a node reads is not compared letter by letter.
      {"huge_name", "", lead + "param sig " + std::string(1000000, 'C') + " int 1\npull sig OUTPUT\n", 1,
       "node sig (TestSignal): parameter CHANNELS: ParameterSet, line 0: Missing parameter: CHANNELS"},
  };
  for (const Case& c : cases) {
    const std::string path = c.name.empty() ? c.path : descriptionPath(c.name);
    SCOPED_TRACE(path);
    // A runner that read the whole of /dev/zero would run out of this.
    RunResult r = c.name.empty() ? runLimited(path, 400000) : runNetwork(c.name, c.text);
    const std::string where = "murv-run: " + path + ":" + std::to_string(c.line) + ": ";
    EXPECT_EQ(r.status, 2) << r.output.substr(0, 1000);
    EXPECT_EQ(r.output, where + c.error + "\n") << r.output.substr(0, 1000);
    EXPECT_LE(murvtext::characterCount(r.output), where.size() + 300);
  }

  // A line of exactly the bound is read, and floats within a float's range.
  RunResult bound = runNetwork("bound_line", "#" + std::string(1048575, 'x') + "\nnode sig TestSignal\n"
                                             "param sig CHANNELS int 1\nparam sig LENGTH int 1\n"
                                             "param sig SAMPLING_RATE int 1\nparam sig AMPLITUDE float 1e-40\n"
                                             "pull sig OUTPUT\niterations 0\n");
  EXPECT_EQ(bound.status, 0) << bound.output.substr(0, 1000);
  EXPECT_EQ(bound.output, "");
}

// A stop signal ends the wait for a description that does not come: a FIFO
// that nobody opens for writing, a pipe whose writer stays and writes
// nothing.
TEST(NetworkDescription, AStopSignalEndsTheReadAtOnce) {
  const std::string fifo = descriptionPath("unwritten_fifo");
  std::remove(fifo.c_str());
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::string runner = std::string("exec ") + MURV_RUNNER_PATH + " --toolbox " + MURV_TOOLBOX_PATH + " ";
  const struct {
    std::string command, read;
    bool writer;  // whether the test holds the FIFO open for writing
    int sig;
  } rows[] = {{runner + fifo, fifo, false, SIGTERM},
              {runner + "/dev/stdin < " + fifo, "/dev/stdin", true, SIGINT},
              {runner + "- < " + fifo, "-", true, SIGHUP}};
  for (const auto& r : rows) {
    const int writer = r.writer ? open(fifo.c_str(), O_RDWR | O_CLOEXEC) : -1;
    murvtest::BackgroundCommand run(r.command);
    EXPECT_TRUE(murvtest::waitFor([&] {
      return murvtest::aThreadBlockedIn(run.pid(), SYS_poll) || murvtest::aThreadBlockedIn(run.pid(), SYS_ppoll);
    })) << r.command;
    run.signal(r.sig);
    EXPECT_EQ(run.waitExit(std::chrono::seconds(5)), 128 + r.sig) << r.command;
    EXPECT_EQ(run.output(), "murv-run: " + r.read + ":1: stopped while reading the network description\n");
    if (writer >= 0) close(writer);
  }
  std::remove(fifo.c_str());
}

// A terminal given as the description does not become the controlling
// terminal of a runner that has none: closing it ends the file, not the
// run with SIGHUP.
TEST(NetworkDescription, ATerminalReadIsNotTheRunnersControllingTerminal) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_TRUE(master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0);
  const std::string terminal = ptsname(master);
  // setsid, a process group leader here, starts the runner as its child.
  murvtest::BackgroundCommand run(std::string("exec setsid -w ") + MURV_RUNNER_PATH + " --toolbox " +
                                  MURV_TEST_NODES_PATH + " " + terminal);
  const std::string self = std::to_string(run.pid());
  EXPECT_TRUE(murvtest::waitFor([&] {
    pid_t runner = 0;
    std::ifstream("/proc/" + self + "/task/" + self + "/children") >> runner;
    return runner > 0 && (murvtest::aThreadBlockedIn(runner, SYS_poll) || murvtest::aThreadBlockedIn(runner, SYS_ppoll));
  }));
  close(master);
  EXPECT_EQ(run.waitExit(std::chrono::seconds(5)), 2);
  EXPECT_EQ(run.output(), "murv-run: " + terminal + ":0: no node in the description\n");
}
