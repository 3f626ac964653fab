// The example nodes, registered when the host loads this library.
#include "ChannelLevel.h"
#include "Node.h"
#include "ParamsMonitor.h"
#include "TestSignal.h"

namespace {

struct ExampleRegistration {
  ExampleRegistration() {
    MURV::Node::addFactory("TestSignal", new MURV::NodeFactory<TestSignal>("TestSignal"));
    MURV::Node::addFactory("ChannelLevel", new MURV::NodeFactory<ChannelLevel>("ChannelLevel"));
    MURV::Node::addFactory("ParamsMonitor", new MURV::NodeFactory<ParamsMonitor>("ParamsMonitor"));
  }
};

const ExampleRegistration registration;

}  // namespace
