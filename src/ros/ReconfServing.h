#ifndef MURV_RECONF_SERVING_H
#define MURV_RECONF_SERVING_H

// The ROS side of a reconfiguration node: its dynamic_reconfigure server on
// the private namespace "~" of the process's ROS node, the spinner that
// serves its set requests, and the order in which they end.

#include <dynamic_reconfigure/server.h>
#include <ros/callback_queue.h>
#include <ros/ros.h>

#include <boost/function.hpp>
#include <boost/shared_ptr.hpp>
#include <cstdint>
#include <memory>

#include "stop/LeaveWatch.h"
#include "Node.h"
#include "RosHandle.h"
#include "RosReceiving.h"
#include "TopicTypes.h"
#include "stop/StopPause.h"
#include "stop/StopSignalsHeld.h"

namespace murvnode {

// A process has room for one reconfiguration server: every server sits on
// the same private namespace, so a second one could not advertise
// set_parameters (requests meant for it would reach the first) and would
// overwrite the first's parameters. The first reconfiguration node to start
// holds the namespace until it is destroyed; any other is refused.
class PrivateNamespaceClaim {
public:
  PrivateNamespaceClaim() = default;
  PrivateNamespaceClaim(const PrivateNamespaceClaim&) = delete;
  PrivateNamespaceClaim& operator=(const PrivateNamespaceClaim&) = delete;
  ~PrivateNamespaceClaim() { release(); }

  // Takes the namespace for node, or throws a NodeException of node at file
  // and line naming the node that holds it.
  void claim(MURV::Node* node, const char* file, int line);
  void release();
  bool held() const { return held_; }

private:
  bool held_ = false;
};

// The queue in which set requests wait until the reconfiguration node's own
// spinner runs them. Set requests stay off ROS's global queue, which other
// nodes' spinners and ros::spinOnce() also serve: only a spinner the node
// can stop may run its callback. One per process (there is one server at a
// time), never freed, since roscpp's connection threads may still reach it
// for a moment after a server has gone.
ros::CallbackQueue& reconfQueue();

// The topics a server on privateHandle advertises, with their types held in
// holds; a topic the process already advertises or subscribes with another
// type is a NodeException of node at file and line, before the server
// advertises anything.
using ServerTopicHolds = std::shared_ptr<const TopicHold>[2];
void holdServerTopics(MURV::Node* node, const char* file, int line, ros::NodeHandle& privateHandle,
                      ServerTopicHolds& holds);

template <class Config>
class ReconfServing {
public:
  using Callback = boost::function<void(Config&, uint32_t)>;

  ReconfServing() = default;
  ReconfServing(const ReconfServing&) = delete;
  ReconfServing& operator=(const ReconfServing&) = delete;
  ~ReconfServing() { stop(); }

  // Claims the private namespace and creates the server there. The server
  // takes its starting config (defaults, then the values already on the
  // parameter server, clamped) and runs cb once with it, on this thread,
  // before this returns; a stop signal from the start of this call on ends
  // that callback's pause.
  void serve(MURV::Node* node, const char* file, int line, const Callback& cb) {
    if (server) return;
    const StopPause::SetUp setUp;
    claim.claim(node, file, line);
    try {
      onSharedRosHandle(node, file, line, [&](ros::NodeHandle&) {
        ros::NodeHandle privateHandle("~");
        holdServerTopics(node, file, line, privateHandle, topicHolds);
        privateHandle.setCallbackQueue(&reconfQueue());
        server.reset(new dynamic_reconfigure::Server<Config>(privateHandle));
        server->setCallback(cb);
      });
    } catch (...) {
      release();
      claim.release();
      throw;
    }
  }

  // From now on set requests are served, one at a time, on the spinner's
  // thread.
  void spin() {
    if (!server || spinner) return;
    spinner.reset(new ros::AsyncSpinner(1, &reconfQueue()));
    const murvstream::StopSignalsHeld held;  // for the spinner's thread
    spinner->start();
  }

  // Stops serving set requests and waits for one being served (the spinner
  // joins its thread; the caller has ended its pause), lets roscpp finish
  // writing its answer, bounded, then lets the server go: after this no
  // callback runs and none can start, so the callback's holder may go.
  void stop() {
    if (!claim.held()) return;
    if (spinner) spinner->stop();
    spinner.reset();
    if (server && ros::ok()) awaitPollRounds(std::chrono::seconds(2));
    release();
    reconfQueue().clear();
    claim.release();
  }

private:
  // The server's topics and service are withdrawn as it goes, then its
  // topics' types are let go.
  void release() {
    {
      const murvmaster::LeaveCall leaving;
      server.reset();
    }
    for (auto& hold : topicHolds) hold.reset();
  }

  PrivateNamespaceClaim claim;
  ServerTopicHolds topicHolds;
  boost::shared_ptr<dynamic_reconfigure::Server<Config>> server;
  std::unique_ptr<ros::AsyncSpinner> spinner;
};

}  // namespace murvnode

#endif
