// What happens when the host loads the toolbox: the module version is
// recorded, then one factory per node type is registered, in a fixed order.
// All of it is one initialiser in one translation unit, so the order cannot
// depend on how the library happens to be linked.
#include "AudioStreamFromRos.h"
#include "BeatCandidate.h"
#include "MurvMsgsStreamFromRos.h"
#include "Node.h"
#include "RosMurvIntPublisher.h"
#include "RosMurvIntDynReconf.h"
#include "RosMurvIntSubscriber.h"
#include "RosMurvMsgsPublisher.h"
#include "RosMurvMsgsSubscriber.h"
#include "RosMurvParamsDynReconf.h"
#include "RosMurvParamsSubscriber.h"
#include "RosNodeGenerator.h"
#include "STPMPublisher.h"

namespace {

template <class T> void registerNode(const char* name) {
  MURV::Node::addFactory(name, new MURV::NodeFactory<T>(name));
}

struct ToolboxRegistration {
  ToolboxRegistration() {
    MURV::Object::setModuleVersion("MURVROS", "9303", "3.1.0");
    registerNode<RosNodeGenerator>("RosNodeGenerator");
    registerNode<RosMurvIntPublisher>("RosMurvIntPublisher");
    registerNode<RosMurvIntSubscriber>("RosMurvIntSubscriber");
    registerNode<RosMurvMsgsPublisher>("RosMurvMsgsPublisher");
    registerNode<RosMurvMsgsSubscriber>("RosMurvMsgsSubscriber");
    registerNode<RosMurvIntDynReconf>("RosMurvIntDynReconf");
    registerNode<RosMurvParamsDynReconf>("RosMurvParamsDynReconf");
    registerNode<MurvMsgsStreamFromRos>("MurvMsgsStreamFromRos");
    registerNode<RosMurvParamsSubscriber>("RosMurvParamsSubscriber");
    registerNode<AudioStreamFromRos>("AudioStreamFromRos");
    registerNode<BeatCandidate>("BeatCandidate");
    registerNode<STPMPublisher>("STPMPublisher");
  }
};

const ToolboxRegistration registration;

}  // namespace
