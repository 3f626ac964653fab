#include "BufferedNode.h"

#include <algorithm>

namespace MURV {

BufferedNode::BufferedNode(std::string nodeName, const ParameterSet& params) : Node(std::move(nodeName), params) {}

BufferedNode::~BufferedNode() {
  for (OutputRecord& r : outputRecords) delete r.buffer;
}

int BufferedNode::addOutput(const std::string& outputName) {
  int id = Node::addOutput(outputName);
  OutputRecord record;
  record.name = outputName;
  outputRecords.push_back(record);
  return id;
}

int BufferedNode::addInput(const std::string& inputName) { return Node::addInput(inputName); }

void BufferedNode::initializeBuffers() {
  for (OutputRecord& r : outputRecords) {
    delete r.buffer;
    r.buffer = nullptr;
    // Keep the counts the depths ask for, and at least the current and the
    // previous one, so outputs filled together stay readable together.
    int length = std::max(2, 1 + std::max(0, r.firstDepth) + std::max(0, r.secondDepth));
    r.buffer = new Buffer(length);
  }
}

void BufferedNode::initialize() {
  if (initialized) return;
  initializeBuffers();
  Node::initialize();
}

ObjectRef BufferedNode::buffered(int output_id, int count) const {
  if (!hasOutput(output_id) || !outputRecords[output_id].buffer) return ObjectRef();
  const Buffer& buffer = *outputRecords[output_id].buffer;
  return buffer.isValid(count) ? buffer.get(count) : ObjectRef();
}

ObjectRef BufferedNode::getOutput(int output_id, int count) {
  if (!hasOutput(output_id))
    throw new NodeException(this, "Unknown output id " + std::to_string(output_id), "BufferedNode", 0);
  if (!initialized || !outputRecords[output_id].buffer)
    throw new NodeException(this, "Output requested before the node was initialized", "BufferedNode", 0);
  Buffer& buffer = *outputRecords[output_id].buffer;
  if (count > lastCount) {
    // lastCount moves after each count that succeeded: a throwing count is
    // calculated again on the next request.
    for (int c = inOrder ? lastCount + 1 : count; c <= count; ++c) {
      calculate(output_id, c, buffer);
      lastCount = c;
    }
  }
  return buffer.get(count);
}

}  // namespace MURV
