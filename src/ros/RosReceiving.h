#ifndef MURV_ROS_RECEIVING_H
#define MURV_ROS_RECEIVING_H

// The ROS side of a node that receives: its subscription on the shared
// handle, its own spinner, and the order in which they end.

#include <ros/poll_manager.h>
#include <ros/ros.h>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <type_traits>

#include "stop/LeaveWatch.h"
#include "stop/StopSignalsHeld.h"
#include "convert/MurvMsgReader.h"
#include "support/NodeSupport.h"
#include "RosHandle.h"
#include "StreamSelection.h"

namespace murvnode {

// Subscribes holder's callback to topic, the value of parameter, on the
// shared handle, through the checking message reader, with a queue of
// queueSize messages (0 or less: unbounded). A topic of another type in the
// process, or a subscription roscpp refuses, is refused naming parameter
// (onSharedTopicFor).
template <class M, class Holder>
TopicSubscriber subscribeShared(MURV::Node* node, const char* file, int line, const std::string& parameter,
                                const std::string& topic, int queueSize,
                                void (Holder::*callback)(const boost::shared_ptr<const M>&), Holder* holder) {
  return onSharedTopicFor(node, file, line, parameter, topic, TopicRole::subscribes, messageTypeOf<M>(),
                          [&](ros::NodeHandle& nh) {
                            return murvSubscribe<M>(nh, topic, rosQueueSize(queueSize), callback, holder);
                          });
}

// Whether Holder has a callback for the recognition results of MurvSorvex.
template <class Holder, class = void>
struct takesSorvex : std::false_type {};
template <class Holder>
struct takesSorvex<Holder, std::void_t<decltype(&Holder::cb_murvsorvex)>> : std::true_type {};

// Subscribes holder's callback of the murv_msgs type selected to its topic
// (topics holds one per type, in type order), as subscribeShared does.
// Nothing is subscribed for None, nor for MurvSorvex when holder takes no
// recognition results.
template <class Holder>
TopicSubscriber subscribeSelected(MURV::Node* node, const char* file, int line, murvmsg::StreamType selection,
                                  const std::string* topics, int queueSize, Holder* holder) {
  auto to = [&](auto callback) {
    return subscribeShared(node, file, line, murvmsg::topicParameter(selection), topics[static_cast<int>(selection)],
                           queueSize, callback, holder);
  };
  using T = murvmsg::StreamType;
  switch (selection) {
    case T::MurvWave: return to(&Holder::cb_murvwave);
    case T::MurvFFT: return to(&Holder::cb_murvfft);
    case T::MurvFeature: return to(&Holder::cb_murvfeature);
    case T::MurvSource: return to(&Holder::cb_murvsource);
    case T::MurvSrcWave: return to(&Holder::cb_murvsrcwave);
    case T::MurvSrcFFT: return to(&Holder::cb_murvsrcfft);
    case T::MurvSrcFeature: return to(&Holder::cb_murvsrcfeature);
    case T::MurvSrcFeatureMFM: return to(&Holder::cb_murvsrcfeaturemfm);
    case T::MurvSorvex:
      if constexpr (takesSorvex<Holder>::value) return to(&Holder::cb_murvsorvex);
      break;
    case T::None: break;
  }
  return TopicSubscriber();
}

// Starts the node's spinner of threads threads (one by default), once; ROS
// must be up.
inline void startSpinner(MURV::Node* node, const char* file, int line, std::unique_ptr<ros::AsyncSpinner>& spinner,
                         std::uint32_t threads = 1) {
  if (spinner) return;
  onSharedRosHandle(node, file, line, [&](ros::NodeHandle&) {
    spinner.reset(new ros::AsyncSpinner(threads));
    const murvstream::StopSignalsHeld held;  // for the spinner's threads
    spinner->start();
  });
}

// Ends a node's ROS traffic before its callback holder may go. Other
// spinners and ros::spinOnce() callers serve the same callback queue, so
// stopping our own spinner alone stops nothing: the subscriptions are shut
// down first (roscpp then waits for a callback in flight and delivers no
// more), then the spinner is stopped. A service server ends otherwise: see
// stopServing.
template <class Handle>
void stopReceiving(Handle* handles, std::size_t n, std::unique_ptr<ros::AsyncSpinner>& spinner) {
  {
    const murvmaster::LeaveCall leaving;
    for (std::size_t i = 0; i < n; ++i) handles[i].shutdown();
  }
  if (spinner) spinner->stop();
  spinner.reset();
}
template <std::size_t N>
void stopReceiving(TopicSubscriber (&subscribers)[N], std::unique_ptr<ros::AsyncSpinner>& spinner) {
  stopReceiving(subscribers, N, spinner);
}
inline void stopReceiving(TopicSubscriber& subscriber, std::unique_ptr<ros::AsyncSpinner>& spinner) {
  stopReceiving(&subscriber, 1, spinner);
}

// Lets roscpp's poll thread go twice round its loop, for at most deadline.
// A service answer is written by the thread whose call made it, unless the
// poll thread holds the connection at that moment; then the poll thread
// writes it on its next round. So whatever was handed over before this
// call has gone to the socket once it returns in time.
inline void awaitPollRounds(std::chrono::milliseconds deadline) {
  struct Rounds {
    std::mutex lock;
    std::condition_variable passed;
    int count = 0;
  };
  const auto rounds = std::make_shared<Rounds>();
  const ros::PollManagerPtr& poll = ros::PollManager::instance();
  const boost::signals2::connection listener = poll->addPollThreadListener([rounds] {
    {
      std::lock_guard<std::mutex> guard(rounds->lock);
      ++rounds->count;
    }
    rounds->passed.notify_all();
  });
  const auto until = std::chrono::steady_clock::now() + deadline;
  // A whole round lies between the first start seen and the second.
  for (int seen = 0; seen < 2;) {
    poll->getPollSet().signal();  // it may be idle, waiting for traffic
    std::unique_lock<std::mutex> guard(rounds->lock);
    if (!rounds->passed.wait_until(guard, until, [&] { return rounds->count > seen; })) break;
    seen = rounds->count;
  }
  poll->removePollThreadListener(listener);
}

// Ends a service server so that every call it has started is answered.
// Withdrawing a service closes its callers' connections at once, answered
// or not; so first the node's spinner is stopped (a call it runs ends),
// then awaitCalls() waits for the calls other threads still run (the
// caller has made sure no new one starts by then), then roscpp is let finish
// writing their answers, bounded; only then is the service withdrawn.
template <class AwaitCalls>
void stopServing(ros::ServiceServer& service, std::unique_ptr<ros::AsyncSpinner>& spinner, AwaitCalls&& awaitCalls) {
  if (spinner) spinner->stop();
  spinner.reset();
  awaitCalls();
  if (service && ros::ok()) awaitPollRounds(std::chrono::seconds(2));
  murvmaster::shutDownLeaving(service);
}

}  // namespace murvnode

#endif
