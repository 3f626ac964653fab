// The runner's command line: each fault named in one line before the usage,
// and the toolboxes it loads.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "RunnerTestSupport.h"

using namespace runnertest;

TEST(RunnerCommandLine, NamesEachFaultAndLoadsOnlyTheToolboxesItMeans) {
  // A library of the default toolbox's name, left in the folder the user
  // stands in, whose code writes a marker when it runs.
  namespace fs = std::filesystem;
  const fs::path planted = fs::path(MURV_BINARY_DIR) / "planted";
  fs::create_directories(planted);
  fs::copy_file(MURV_TEST_NODES_PATH, planted / "libmurv-ros.tlb.so", fs::copy_options::overwrite_existing);
  const fs::path marker = planted / "ran";
  const std::string there = "cd " + planted.string() + " && MURV_TEST_TOOLBOX_MARKER=ran";
  const std::string usage = "\nusage: murv-run [--toolbox PATH]... [--count N] NETWORK-FILE\n";
  const std::string testNodes = std::string("--toolbox ") + MURV_TEST_NODES_PATH;
  const std::string refuserNet = "printf 'node r Refuser\\nparam r VALUE int 7\\noutput r OUTPUT\\niterations 1\\n' |";
  // The runner with its standard output redirected as given, its errors read.
  auto outputTo = [](const std::string& redirection) { return "sh -c '\"$0\" \"$@\" " + redirection + "'"; };
  const std::string full = "murv-run: cannot write to standard output: No space left on device\n";
  const struct {
    std::string arguments, prefix;
    int status;
    std::string text;
    bool ran = false;  // whether the planted library ran
  } rows[] = {
      {"--toolbx x.net", "", 2, "murv-run: unknown option --toolbx" + usage},
      {"\"$(printf -- '--a\\033[2J')\" x.net", "", 2, "murv-run: unknown option --a\\x1b[2J" + usage},
      {"x.net --count", "", 2, "murv-run: --count needs a value" + usage},
      {"--list --toolbox", "", 2, "murv-run: --toolbox needs a value" + usage},
      {"--toolbox '' --list", "", 2, "murv-run: --toolbox needs a file name, not an empty one" + usage},
      {"a.net b.net", "", 2, "murv-run: one network file only: b.net after a.net" + usage},
      {"''", "", 2, "murv-run: the network file's name is empty" + usage},
      {"", "", 2, "murv-run: no network file given" + usage},
      {"--help", "", 0, "usage: murv-run"},
      {"--help", "", 0, "docs/nodes.md"},
      // --NAME=VALUE, and -- before a file whose name begins with -.
      {"--toolbox=" + std::string(MURV_TEST_NODES_PATH) + " --list", "", 0, "node type Refuser\n"},
      {"--count=2x x.net", "", 2, "murv-run: bad --count value '2x' (a whole number)\n"},
      {"--list=1", "", 2, "murv-run: unknown option --list=1" + usage},
      {testNodes + " -- -x.net", "", 2, "murv-run: -x.net:0: cannot open the network description: No such file"},
      // A toolbox loaded because another needs it is named too.
      {std::string("--toolbox ") + MURV_EXAMPLES_PATH + " -", "printf 'node x NoSuchNode\\n' |", 2,
       std::string("-:1: unknown node type NoSuchNode (toolboxes loaded: ") + MURV_EXAMPLES_PATH + ", " +
           MURV_TOOLBOX_PATH + "): "},
      {"--help", "", 0, "Any stop signal within 100 ms of the first, from any sender, is part of the\n"},
      // - is standard input, named so in errors.
      {testNodes + " -", refuserNet, 0, "[0] r.OUTPUT = <Int 7 >\n"},
      {testNodes + " -", "printf 'node r Refuser\\nbogus\\n' |", 2, "murv-run: -:2: unknown statement 'bogus'\n"},
      {testNodes + " - < /dev/null", "", 2, "murv-run: -:0: no node in the description\n"},
      {"- -", "", 2, "murv-run: one network file only: - after -" + usage},
      // A closed standard stream is /dev/null; an output that cannot be
      // written ends the run.
      {testNodes + " - <&-", "", 2, "murv-run: -:0: cannot read the network description: standard input is closed\n"},
      {testNodes + " -", refuserNet + outputTo(">&-"), 0, ""},
      {testNodes + " -", refuserNet + outputTo(">/dev/full"), 1, full},
      {"--help", outputTo(">/dev/full"), 1, full},
      // The default toolbox comes from the loader's search path alone.
      {"--list", there + " LD_LIBRARY_PATH=", 2,
       "murv-run: cannot load libmurv-ros.tlb.so: libmurv-ros.tlb.so: cannot open shared object file: No such file or "
       "directory; name its file with --toolbox PATH, or put its folder on LD_LIBRARY_PATH\n"},
      {"--list", there + " LD_LIBRARY_PATH=" + MURV_TOOLBOX_DIR, 0, "node type RosNodeGenerator\n"},
      // A file the user names is that file.
      {"--toolbox libmurv-ros.tlb.so --list", there, 0, "node type Refuser\n", true},
  };
  for (const auto& r : rows) {
    fs::remove(marker);
    RunResult run = runRunner(r.arguments, r.prefix);
    EXPECT_EQ(run.status, r.status) << r.arguments << "\n" << run.output;
    EXPECT_NE(run.output.find(r.text), std::string::npos) << r.arguments << "\n" << run.output;
    if (r.text.empty()) {
      EXPECT_EQ(run.output, "") << r.arguments;
    }
    EXPECT_EQ(fs::exists(marker), r.ran) << r.arguments;
  }
}
