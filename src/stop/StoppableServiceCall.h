#ifndef MURV_STOPPABLE_SERVICE_CALL_H
#define MURV_STOPPABLE_SERVICE_CALL_H

// A service call that a stop signal ends as a failed call, whatever the
// server does (answers late, never, or is stopped itself).
//
// ros::ServiceClient::call waits for the answer without a time limit, on a
// connection only roscpp can reach. So the call is made as roscpp makes a
// non-persistent one (the service looked up, a connection of its own, the
// request, the answer, the connection closed), with a watch beside it that
// closes that connection, and nothing else, when a stop signal comes: the
// call then returns as one whose connection broke.

#include <ros/ros.h>
#include <ros/serialization.h>
#include <ros/service_traits.h>

#include <exception>
#include <string>

namespace murvnode {

// Calls the service of client (a non-persistent handle) with request and
// fills response, as ros::ServiceClient::call does; answers whether the
// call succeeded. A stop signal that comes in the calling thread's
// iteration count (see murvstream::IterationStop), before the call or
// during it, makes it a failed call at once. The node making the call has
// installed the stop signals' handler (murvnode::StopPause).
bool callUntilStopped(ros::ServiceClient& client, const ros::SerializedMessage& request,
                      ros::SerializedMessage& response, const std::string& md5sum, int count);

template <class Service>
bool callUntilStopped(ros::ServiceClient& client, Service& service, int count) {
  namespace ser = ros::serialization;
  ros::SerializedMessage response;
  if (!callUntilStopped(client, ser::serializeMessage(service.request), response,
                        ros::service_traits::md5sum(service), count))
    return false;
  try {
    ser::deserializeMessage(response, service.response);
  } catch (std::exception& e) {
    // roscpp's own report of an answer it cannot read.
    ROS_ERROR("Exception thrown while while deserializing service call: %s", e.what());
    return false;
  }
  return true;
}

}  // namespace murvnode

#endif
