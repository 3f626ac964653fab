// What happens when the host loads the toolbox: the module version is
// recorded, then one factory per node type is registered, in a fixed order.
// All of it is one initialiser in one translation unit, so the order cannot
// depend on how the library happens to be linked.
#include "AudioStreamFromRos.h"
#include "BeatCandidate.h"
#include "IfRosStdMsgsPublisher.h"
#include "MurvMsgsStreamFromRos.h"
#include "Node.h"
#include "RosAddMurvIntClient.h"
#include "RosAddMurvIntServer.h"
#include "RosMurvIntPublisher.h"
#include "RosMurvIntDynReconf.h"
#include "RosMurvIntSubscriber.h"
#include "RosMurvMsgsPublisher.h"
#include "RosMurvMsgsSubscriber.h"
#include "RosMurvParamsDynReconf.h"
#include "RosMurvParamsSubscriber.h"
#include "RosNodeGenerator.h"
#include "RosStdMsgsPublisher.h"
#include "RosStdMsgsSubscriber.h"
#include "STPMPublisher.h"
#include "StdMsgsStreamFromRos.h"
#include "SyncMurvMsgsAndJointState.h"

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
