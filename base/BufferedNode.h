#ifndef MURV_BUFFERED_NODE_H
#define MURV_BUFFERED_NODE_H

#include <string>
#include <vector>

#include "Buffer.h"
#include "Node.h"

namespace MURV {

// Per output: its results by count, and how many counts it must keep. A node
// that fills several outputs in one calculate() raises their depths together.
struct OutputRecord {
  std::string name;
  Buffer* buffer = nullptr;
  int firstDepth = 0;
  int secondDepth = 0;
};

// A node whose outputs are computed once per iteration count by calculate()
// and kept in buffers. calculate() runs once per count for the whole node,
// whichever output is asked first: it is expected to fill every output.
class BufferedNode : public Node {
public:
  BufferedNode(std::string nodeName, const ParameterSet& params);
  ~BufferedNode() override;

  int addOutput(const std::string& outputName) override;
  int addInput(const std::string& inputName) override;
  ObjectRef getOutput(int output_id, int count) override;
  void initialize() override;

  virtual void calculate(int output_id, int count, Buffer& out) = 0;
  virtual void initializeBuffers();

  // What output_id's buffer holds for count, or null: no such output, or
  // the count calculated or kept no longer.
  ObjectRef buffered(int output_id, int count) const;

protected:
  std::vector<OutputRecord> outputRecords;
  int lastCount = -1;
  // When set, a request that skips counts calculates each skipped count in
  // order; otherwise only the requested count is calculated.
  bool inOrder = false;
};

}  // namespace MURV

#endif
