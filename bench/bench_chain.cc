// What a count costs each node of a chain that only passes its input on,
// as the beat and STPM nodes do: the input read, the write into the node's
// buffer and the read of that buffer by the next node. The source hands out
// one shared object, so no allocation is timed; the "hop" counter is the
// time of one count divided by the number of pass-through nodes.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "BufferedNode.h"
#include "net_types.h"

namespace {

class SharedSource : public MURV::BufferedNode {
public:
  explicit SharedSource(const std::string& n)
      : BufferedNode(n, MURV::ParameterSet()), value(new MURV::NetCType<float>(1.0f)) {
    addOutput("OUTPUT");
  }
  void calculate(int, int count, MURV::Buffer& out) override { out[count] = value; }

private:
  MURV::ObjectRef value;
};

class PassThrough : public MURV::BufferedNode {
public:
  explicit PassThrough(const std::string& n) : BufferedNode(n, MURV::ParameterSet()) {
    addOutput("OUTPUT");
    in = addInput("INPUT");
  }
  void calculate(int, int count, MURV::Buffer& out) override { out[count] = getInput(in, count); }

private:
  int in;
};

void BM_PassThroughChain(benchmark::State& state) {
  const int hops = static_cast<int>(state.range(0));
  SharedSource source("source");
  source.initialize();
  std::vector<std::unique_ptr<PassThrough>> chain;
  MURV::Node* upstream = &source;
  for (int i = 0; i < hops; ++i) {
    chain.emplace_back(new PassThrough("pass" + std::to_string(i)));
    chain.back()->connectToNode("INPUT", upstream, "OUTPUT");
    chain.back()->initialize();
    upstream = chain.back().get();
  }
  int count = 0;
  for (auto _ : state) {
    MURV::ObjectRef out = upstream->getOutput(0, count++);
    benchmark::DoNotOptimize(out.get());
  }
  state.counters["hop"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * hops, benchmark::Counter::kIsRate |
                                                                             benchmark::Counter::kInvert);
}
BENCHMARK(BM_PassThroughChain)->Arg(8);

}  // namespace
