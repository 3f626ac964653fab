#include "StoppableServiceCall.h"

#include <ros/connection.h>
#include <ros/service_manager.h>
#include <ros/service_server_link.h>

#include <system_error>
#include <thread>

#include "StopPause.h"
#include "StopSignals.h"
#include "StopSignalsHeld.h"

namespace murvnode {

namespace {

// How long the watch sleeps between two looks when nothing wakes it.
const std::int64_t watchLookMicros = 3600LL * 1000000;

// The watch beside one call: it waits until the call is over or a stop
// signal has come since since, and in the latter case closes the call's
// connection. Gone once it has been told the call is over and has ended.
class CallWatch {
public:
  CallWatch(const StopPause::Since& since, ros::ConnectionPtr connection) {
    try {
      thread = murvstream::threadWithoutStopSignals([this, since, connection] {
        while (!callOver.wait(since, watchLookMicros)) {}
        if (!callOver.ended()) connection->drop(ros::Connection::Destructing);
      });
    } catch (const std::system_error&) {
      // No thread to be had: the call goes on as roscpp's own, unwatched.
    }
  }
  ~CallWatch() {
    callOver.end();
    if (thread.joinable()) thread.join();
  }
  CallWatch(const CallWatch&) = delete;
  CallWatch& operator=(const CallWatch&) = delete;

private:
  StopPause callOver;  // ended once the call has returned
  std::thread thread;
};

}  // namespace

bool callUntilStopped(ros::ServiceClient& client, const ros::SerializedMessage& request,
                      ros::SerializedMessage& response, const std::string& md5sum, int count) {
  // The call counts the stops of its whole iteration, begun here if it has
  // not yet: one that came before the call fails it at once, one during it
  // through the watch.
  const murvstream::IterationStop iteration(count);
  const StopPause::Since since;
  if (iteration.stopped()) return false;
  const ros::ServiceServerLinkPtr link = ros::ServiceManager::instance()->createServiceServerLink(
      client.getService(), false, md5sum, md5sum, ros::M_string());
  if (!link) return false;  // no such service, or ROS shutting down
  const CallWatch watch(since, link->getConnection());
  return link->call(request, response);
}

}  // namespace murvnode
