// What happens when the host loads the toolbox: the module version is
// recorded, then one factory per node type is registered, in a fixed order.
// All of it is one initialiser in one translation unit, so the order cannot
// depend on how the library happens to be linked.
#include "nodes/AudioStreamFromRos.h"
#include "nodes/BeatCandidate.h"
#include "nodes/IfRosStdMsgsPublisher.h"
#include "nodes/MurvMsgsStreamFromRos.h"
#include "Node.h"
#include "nodes/RosAddMurvIntClient.h"
#include "nodes/RosAddMurvIntServer.h"
#include "nodes/RosMurvIntPublisher.h"
#include "nodes/RosMurvIntDynReconf.h"
#include "nodes/RosMurvIntSubscriber.h"
#include "nodes/RosMurvMsgsPublisher.h"
#include "nodes/RosMurvMsgsSubscriber.h"
#include "nodes/RosMurvParamsDynReconf.h"
#include "nodes/RosMurvParamsSubscriber.h"
#include "nodes/RosNodeGenerator.h"
#include "nodes/RosStdMsgsPublisher.h"
#include "nodes/RosStdMsgsSubscriber.h"
#include "nodes/STPMPublisher.h"
#include "nodes/StdMsgsStreamFromRos.h"
#include "nodes/SyncMurvMsgsAndJointState.h"

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
    registerNode<RosAddMurvIntServer>("RosAddMurvIntServer");
    registerNode<RosAddMurvIntClient>("RosAddMurvIntClient");
    registerNode<RosMurvIntDynReconf>("RosMurvIntDynReconf");
    registerNode<RosMurvParamsDynReconf>("RosMurvParamsDynReconf");
    registerNode<MurvMsgsStreamFromRos>("MurvMsgsStreamFromRos");
    registerNode<IfRosStdMsgsPublisher>("IfRosStdMsgsPublisher");
    registerNode<RosMurvParamsSubscriber>("RosMurvParamsSubscriber");
    registerNode<RosStdMsgsPublisher>("RosStdMsgsPublisher");
    registerNode<RosStdMsgsSubscriber>("RosStdMsgsSubscriber");
    registerNode<StdMsgsStreamFromRos>("StdMsgsStreamFromRos");
    registerNode<AudioStreamFromRos>("AudioStreamFromRos");
    registerNode<BeatCandidate>("BeatCandidate");
    registerNode<STPMPublisher>("STPMPublisher");
    registerNode<SyncMurvMsgsAndJointState>("SyncMurvMsgsAndJointState");
  }
};

const ToolboxRegistration registration;

}  // namespace
