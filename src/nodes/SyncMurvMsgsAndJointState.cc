#include "SyncMurvMsgsAndJointState.h"

#include <complex>
#include <cstdio>
#include <iostream>
#include <optional>
#include <type_traits>
#include <utility>

#include "JointStatePairing.h"
#include "Map.h"
#include "Matrix.h"
#include "ros/MsgFifo.h"
#include "convert/MsgToHost.h"
#include "support/NodeSupport.h"
#include "stop/PacingRate.h"
#include "ros/RosLogAt.h"
#include "ros/RosReceiving.h"
#include "SharedObjects.h"
#include "Vector.h"

murvstream::StopFlag exit_flag_SyncMurvMsgsAndJointState;

namespace {

const char* const fileName = "src/SyncMurvMsgsAndJointState";

// The lines the force-quit exception names: the first-message wait, and the
// stream wait and the joint-state wait of each type in type order.
const int firstMessageWaitLine = 1023;
const int streamWaitLines[murvmsg::audioTypeCount] = {1052, 1156, 1258, 1361, 1466, 1582, 1700, 1816};
const int jointWaitLines[murvmsg::audioTypeCount] = {1073, 1185, 1287, 1390, 1495, 1611, 1729, 1845};

template <class M>
constexpr bool isChannelType = std::is_same_v<M, murv_msgs::MurvWave> || std::is_same_v<M, murv_msgs::MurvFFT>;

// A float vector of a joint state's doubles, each rounded to the nearest float.
MURV::ObjectRef floatsOf(const std::vector<double>& values) {
  MURV::Vector<float>* v = new MURV::Vector<float>(values.size(), 0.0f);
  MURV::ObjectRef owner(v);
  for (std::size_t i = 0; i < values.size(); ++i) (*v)[i] = static_cast<float>(values[i]);
  return owner;
}

}  // namespace

SyncMurvMsgsAndJointState::SyncMurvMsgsAndJointState(std::string nodeName, MURV::ParameterSet params)
    : MURV::BufferedNode(std::move(nodeName), params),
      waiter(getName(), exit_flag_SyncMurvMsgsAndJointState, fileName) {
  positionID = addOutput("POSITION");
  velocityID = addOutput("VELOCITY");
  timestamp1ID = addOutput("TIMESTAMP1");
  timestamp2ID = addOutput("TIMESTAMP2");
  notEofID = addOutput("NOT_EOF");

  using namespace murvnode;
  audio.readTopics(parameters);
  jointTopic = paramTopic(this, parameters, "TOPIC_NAME", fileName, __LINE__);
  audio.readSelection(parameters);
  enableDebug = paramBool(parameters, "ENABLE_DEBUG");
  enableSyncDebug = paramBool(parameters, "ENABLE_SYNC_DEBUG");
  enableStatusDebug = paramBool(parameters, "ENABLE_STATUS_DEBUG");
  pacing.read(this, parameters, fileName, __LINE__);
  audio.warnIfNoType(*this);

  made = murvstream::installStopSignals();
  stream.reset(new callbackFuncSyncMurvMsgsAndJointState(pacing.dataBufferNum, enableDebug));
  joint.reset(new callbackFuncSyncRosJointState(pacing.dataBufferNum, enableDebug));
  inOrder = true;
  std::cout << murvnode::shownName(*this) << " constructor end..." << std::endl;
}

SyncMurvMsgsAndJointState::~SyncMurvMsgsAndJointState() {
  murvnode::stopReceiving(subscribers, spinner);
  stream.reset();
  joint.reset();
}

int SyncMurvMsgsAndJointState::translateOutput(const std::string& outputName) {
  return ports.translate(*this, outputName);
}

void SyncMurvMsgsAndJointState::initialize() {
  std::cout << murvnode::shownName(*this) << " initialized..." << std::endl;

  ports.refuseUnserved(this, fileName, __LINE__);
  audio.requireType(this, fileName, __LINE__);
  ports.refuseUnwritten(this, audio.selection, fileName, __LINE__);

  // Both holders wake the one waiter: the audio wait and the joint-state
  // wait each look again when either kind arrives.
  stream->arrivals = waiter.notifier();
  joint->arrivals = waiter.notifier();
  // The callbacks are those of the stream source's holder, and are
  // subscribed on that type.
  callbackFuncMurvMsgsStreamFromRos* audioHolder = stream.get();
  subscribers[1] = murvnode::subscribeSelected(this, fileName, __LINE__, audio.selection, audio.topicNames,
                                               pacing.msgBufferNum, audioHolder);

  // The outputs filled together keep their counts together: the five fixed
  // outputs and the connected data ports of the type.
  const murvmsg::DataPorts data = murvmsg::dataPortsOf(audio.selection);
  murvnode::raiseDepthsTogether(outputRecords,
                                {positionID, velocityID, timestamp1ID, timestamp2ID, notEofID,
                                 data.matout ? ports.matout : -1, data.srcout ? ports.srcout : -1,
                                 data.mapout ? ports.mapout : -1});

  subscribers[0] = murvnode::subscribeShared(this, fileName, __LINE__, "TOPIC_NAME", jointTopic, pacing.msgBufferNum,
                                             &callbackFuncSyncRosJointState::cb, joint.get());
  // Two threads, so that joint states keep arriving while an audio callback
  // copies a large frame.
  murvnode::startSpinner(this, fileName, __LINE__, spinner, 2);

  MURV::BufferedNode::initialize();
}

// Waits until the joint states have caught up with base, at most
// KILL_TIME_LEN whatever KILL_NETWORK says, then takes the one in force at
// its time and drops those older than it, however the wait ended: a
// joint-state publisher that stops, or whose stamps lag, must neither hold
// the frames up for good nor fill the FIFO. A pass that gives up in the
// wait on a stop signal leaves base in the FIFO as it found it.
template <class M>
callbackFuncSyncRosJointState::InForce SyncMurvMsgsAndJointState::pairWith(std::deque<M>& fifo, M& base) {
  const ros::Time at = base.header.stamp;
  callbackFuncSyncRosJointState& j = *joint;
  const int line = jointWaitLines[static_cast<int>(audio.selection)];
  // A negative limit only looks whether they have caught up.
  const long long limit = lateJoints.worthWaiting(j.newestStamp()) ? pacing.killTimeLen : -1;
  try {
    waiter.waitUntil([&j, &at] { return murvsync::caughtUp(at, j.newestStamp()); }, limit, line);
  } catch (...) {
    try {
      murvmsg::putBackOldest(stream->fifo_lock, fifo, stream->capacity, std::move(base));
    } catch (...) {
    }
    throw;
  }
  callbackFuncSyncRosJointState::InForce paired = j.takeInForce(at);
  // Looked at again after the taking: a joint state that has just arrived
  // may have made the pairing exact after all.
  if (murvsync::caughtUp(at, paired.newest)) lateJoints.caughtUp();
  else if (lateJoints.fellBehind(paired.newest, waiter.nowMicros()))
    MURV_LOG_WARN_AT(fileName, line,
                     "%s: no joint state reached the message stamped %u.%09u within KILL_TIME_LEN; it goes out "
                     "with the newest joint state, stamped %u.%09u",
                     murvnode::shownName(*this).c_str(), at.sec, at.nsec, paired.newest.sec, paired.newest.nsec);
  return paired;
}

// One iteration of type M: the waits, the pairing and the conversion. Answers
// the joint state to output.
template <class M>
sensor_msgs::JointState SyncMurvMsgsAndJointState::pass(std::deque<M>& fifo, int count, MURV::TimeStamp& stamp) {
  callbackFuncSyncMurvMsgsAndJointState& h = *stream;
  waiter.waitFirstMessage([&h] { return h.firstMessageArrived(); }, firstMessageWaitLine);
  const bool arrived = waiter.waitForData([&] { return murvmsg::entriesIn(h.fifo_lock, fifo) > 0; }, pacing.killTimeLen,
                                          pacing.killNetwork, streamWaitLines[static_cast<int>(audio.selection)]);
  if (!arrived) slot(notEofID, count) = MURV::FalseObject;

  // The containers go out, empty after a time-out.
  MURV::Vector<MURV::ObjectRef>* sources = nullptr;
  MURV::Map<int, MURV::ObjectRef>* map = nullptr;
  const murvmsg::DataPorts data = murvmsg::dataPortsOf(audio.selection);
  if (data.srcout && ports.srcout != -1) {
    sources = new MURV::Vector<MURV::ObjectRef>;
    slot(ports.srcout, count) = MURV::ObjectRef(sources);
  }
  if (data.mapout && ports.mapout != -1) {
    map = new MURV::Map<int, MURV::ObjectRef>;
    slot(ports.mapout, count) = MURV::ObjectRef(map);
  }

  // The base message leaves the FIFO once: what is paired is what is
  // converted, whatever arrives meanwhile.
  std::size_t held = 0;
  std::optional<M> base = murvmsg::takeOldest(h.fifo_lock, fifo, &held);
  if (!base) {
    if constexpr (isChannelType<M>) {
      // With no message there is no shape to give the matrix: it goes out
      // empty, so that whatever reads the port still finds an object.
      using Cell = std::conditional_t<std::is_same_v<M, murv_msgs::MurvWave>, float, std::complex<float>>;
      if (ports.matout != -1) slot(ports.matout, count) = MURV::ObjectRef(new MURV::Matrix<Cell>(0, 0));
    }
    return joint->front();
  }

  const M& msg = *base;
  callbackFuncSyncRosJointState::InForce paired = pairWith(fifo, *base);
  if (enableSyncDebug) {
    const ros::Time& b = msg.header.stamp;
    const ros::Time& s = paired.state.header.stamp;
    const std::int64_t btime = audio.selection == murvmsg::StreamType::MurvWave ? murvsync::windowTime(b)
                                                                           : murvsync::traceBaseTime(b, paired.newest);
    std::cout << count << " [ Base : " << b.sec << "." << b.nsec << " , Sync : " << s.sec << "." << s.nsec
              << " , M Buf Size : " << held << " , S Buf Size : " << paired.held << " , btime : " << btime;
    if (audio.selection == murvmsg::StreamType::MurvWave)
      std::cout << " , stime_i : " << murvsync::windowTime(s) << " , stime_f : " << murvsync::windowTime(paired.newest)
                << " , btime - stime_i : " << btime - murvsync::windowTime(s) << " , index : " << paired.index;
    else
      std::cout << " , stime : " << murvsync::windowTime(s) << " , btime - stime : " << btime - murvsync::windowTime(s);
    std::cout << " ]" << std::endl;
  }

  murvmsg::setTimeStamp(stamp, msg.header.stamp);
  int size = 0;
  if constexpr (isChannelType<M>) {
    if (ports.matout != -1) slot(ports.matout, count) = murvmsg::toMatrix(msg);
    size = msg.nch;
  } else {
    if constexpr (!std::is_same_v<M, murv_msgs::MurvFeature>) {
      if (sources) murvmsg::appendSources(*sources, msg);
    }
    if constexpr (!std::is_same_v<M, murv_msgs::MurvSource>) {
      if (map) murvmsg::addMapEntries(*map, msg);
    }
    size = msg.exist_src_num;
  }
  if (enableDebug) std::cout << count << " : " << held << " : " << msg.count << " : " << size << std::endl;
  return std::move(paired.state);
}

void SyncMurvMsgsAndJointState::writeJointState(const sensor_msgs::JointState& state, int count) {
  MURV::TimeStamp* stamp = new MURV::TimeStamp;
  slot(timestamp2ID, count) = MURV::ObjectRef(stamp);
  murvmsg::setTimeStamp(*stamp, state.header.stamp);
  slot(positionID, count) = floatsOf(state.position);
  slot(velocityID, count) = floatsOf(state.velocity);
  if (enableStatusDebug) {
    std::printf("Current robot state:\n");
    for (double p : state.position) std::printf("%lf\t", p);
    std::printf("\n");
    for (double v : state.velocity) std::printf("%lf\t", v);
    std::printf("\n");
    std::fflush(stdout);
  }
}

void SyncMurvMsgsAndJointState::calculate(int, int count, MURV::Buffer&) {
  // A pass that converts no message says so with a stamp of 0 s 0 us.
  MURV::TimeStamp* stamp = new MURV::TimeStamp;
  slot(timestamp1ID, count) = MURV::ObjectRef(stamp);
  slot(notEofID, count) = MURV::TrueObject;
  murvnode::PacingRate rate(*this, made, pacing.rosLoopRate, count);

  callbackFuncSyncMurvMsgsAndJointState& h = *stream;
  sensor_msgs::JointState state;
  switch (audio.selection) {
    case murvmsg::StreamType::MurvWave: state = pass(h.fifo_murvwave, count, *stamp); break;
    case murvmsg::StreamType::MurvFFT: state = pass(h.fifo_murvfft, count, *stamp); break;
    case murvmsg::StreamType::MurvFeature: state = pass(h.fifo_murvfeature, count, *stamp); break;
    case murvmsg::StreamType::MurvSource: state = pass(h.fifo_murvsource, count, *stamp); break;
    case murvmsg::StreamType::MurvSrcWave: state = pass(h.fifo_murvsrcwave, count, *stamp); break;
    case murvmsg::StreamType::MurvSrcFFT: state = pass(h.fifo_murvsrcfft, count, *stamp); break;
    case murvmsg::StreamType::MurvSrcFeature: state = pass(h.fifo_murvsrcfeature, count, *stamp); break;
    case murvmsg::StreamType::MurvSrcFeatureMFM: state = pass(h.fifo_murvsrcfeaturemfm, count, *stamp); break;
    case murvmsg::StreamType::MurvSorvex:
    case murvmsg::StreamType::None: state = joint->front(); break;
  }
  writeJointState(state, count);
  // A /clock that stops with the stream (a bag played to its end) ends the
  // sleep after the silence limit, and the next wait for data ends the stream.
  rate.sleep(murvstream::silenceLimit(pacing.killTimeLen, pacing.killNetwork));
}
