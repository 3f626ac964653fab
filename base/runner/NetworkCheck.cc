#include "NetworkCheck.h"

#include <algorithm>
#include <deque>
#include <map>
#include <utility>

#include "NearNames.h"
#include "Node.h"
#include "NetworkThread.h"

namespace murvrun {

namespace {

// The instances and the connections in force between them (a later
// connection to the same input replaces the earlier one), in file order.
struct Graph {
  std::vector<std::string> names;
  struct Edge {
    int from, to;
    const Connection* statement;
  };
  std::vector<Edge> edges;
};

// The instances in an order where each comes after those that feed it,
// using the first count edges; shorter than the instances when those edges
// hold a cycle. Linear in the instances and edges.
std::vector<int> feedOrder(const Graph& g, std::size_t count) {
  const std::size_t n = g.names.size();
  std::vector<int> waiting(n, 0);
  std::vector<std::vector<int>> feeds(n);
  for (std::size_t e = 0; e < count; ++e) {
    feeds[g.edges[e].from].push_back(g.edges[e].to);
    ++waiting[g.edges[e].to];
  }
  std::vector<int> order;
  order.reserve(n);
  for (std::size_t v = 0; v < n; ++v)
    if (!waiting[v]) order.push_back(static_cast<int>(v));
  for (std::size_t i = 0; i < order.size(); ++i)
    for (int next : feeds[order[i]])
      if (--waiting[next] == 0) order.push_back(next);
  return order;
}

// Nodes pull their inputs for the same count, so a cycle would recurse
// without end. The first connection in file order that closes a cycle is
// refused at its line, with the instances on the cycle in the direction the
// objects flow. The search halves the connections taken: E log E.
void refuseCycle(const Graph& g, const std::string& path) {
  const std::size_t n = g.names.size();
  std::size_t clean = 0, cyclic = g.edges.size();  // feedOrder(clean) is whole, feedOrder(cyclic) is not
  while (cyclic - clean > 1) {
    const std::size_t mid = clean + (cyclic - clean) / 2;
    (feedOrder(g, mid).size() == n ? clean : cyclic) = mid;
  }
  const Graph::Edge& closing = g.edges[cyclic - 1];
  // The shortest way from the closing connection's node back to its source,
  // over the connections before it.
  std::vector<std::vector<int>> feeds(n);
  for (std::size_t e = 0; e + 1 < cyclic; ++e) feeds[g.edges[e].from].push_back(g.edges[e].to);
  std::vector<int> cameFrom(n, -2);
  std::deque<int> next{closing.to};
  cameFrom[closing.to] = -1;
  while (!next.empty() && cameFrom[closing.from] == -2) {
    const int at = next.front();
    next.pop_front();
    for (int to : feeds[at])
      if (cameFrom[to] == -2) {
        cameFrom[to] = at;
        next.push_back(to);
      }
  }
  std::vector<int> way;
  for (int at = closing.from; at != -1; at = cameFrom[at]) way.push_back(at);
  std::string cycle = g.names[closing.from];
  for (auto it = way.rbegin(); it != way.rend(); ++it) cycle += " -> " + g.names[*it];
  fail(path, closing.statement->line, "connections form a cycle: " + excerpt(cycle));
}

// A node type no toolbox loaded has: the registered types close to it, or,
// when none is, how to load the toolbox that has it. Only the toolboxes
// the user named are ever loaded, so another one's types are not known.
std::string unknownType(const std::string& type, const std::vector<std::string>& toolboxes) {
  const std::string head =
      "unknown node type " + excerpt(type) + " (toolboxes loaded: " + excerpt(joined(toolboxes, ", ")) + "): ";
  const std::vector<std::string> types = MURV::Node::factoryNames();
  std::vector<std::string> near;
  for (std::size_t i : nearest(type, types)) near.push_back(types[i]);
  if (!near.empty()) return head + "perhaps " + excerpt(joined(near, " or "));
  return head + "for a type of another toolbox, load that one too: --toolbox PATH for each toolbox the network uses";
}

}  // namespace

int checkNetwork(const Network& net, const std::string& path, const std::vector<std::string>& toolboxes) {
  Graph g;
  std::map<std::string, int> index;
  for (const NodeDecl& decl : net.nodes) {
    if (!MURV::Node::getFactoryNamed(decl.type)) fail(path, decl.line, unknownType(decl.type, toolboxes));
    index[decl.name] = static_cast<int>(g.names.size());
    g.names.push_back(decl.name);
  }
  auto instance = [&](const std::string& name, int line) {
    auto it = index.find(name);
    if (it == index.end()) fail(path, line, "unknown node " + excerpt(name));
    return it->second;
  };
  std::map<std::pair<int, std::string>, std::size_t> inForce;  // (instance, input) -> its edge
  for (const Connection& c : net.connections) {
    const int to = instance(c.node, c.line), from = instance(c.from, c.line);
    auto it = inForce.find({to, c.input});
    if (it != inForce.end()) g.edges[it->second].statement = nullptr;
    inForce[{to, c.input}] = g.edges.size();
    g.edges.push_back(Graph::Edge{from, to, &c});
  }
  g.edges.erase(std::remove_if(g.edges.begin(), g.edges.end(), [](const Graph::Edge& e) { return !e.statement; }),
                g.edges.end());
  std::vector<const Port*> pulled;
  for (const Port& p : net.outputs) pulled.push_back(&p);
  if (net.eof) pulled.push_back(net.eof.get());
  std::vector<int> pulledAt;
  for (const Port* p : pulled) pulledAt.push_back(instance(p->node, p->line));

  const std::vector<int> order = feedOrder(g, g.edges.size());
  if (order.size() != g.names.size()) refuseCycle(g, path);
  // The longest chain that ends at each instance, its own node included.
  std::vector<std::vector<int>> fedBy(g.names.size());
  for (const Graph::Edge& e : g.edges) fedBy[e.to].push_back(e.from);
  std::vector<int> chain(g.names.size(), 1);
  for (int v : order)
    for (int from : fedBy[v]) chain[v] = std::max(chain[v], chain[from] + 1);
  int longest = 0;
  for (std::size_t i = 0; i < pulled.size(); ++i) {
    const int length = chain[pulledAt[i]];
    if (length > maxChain)
      fail(path, pulled[i]->line,
           "this pulls a chain of " + std::to_string(length) + " nodes; the runner pulls chains of at most " +
               std::to_string(maxChain));
    longest = std::max(longest, length);
  }
  return longest;
}

}  // namespace murvrun
