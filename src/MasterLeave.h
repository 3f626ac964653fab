#ifndef MURV_MASTER_LEAVE_H
#define MURV_MASTER_LEAVE_H

// Leaving a ROS master that has stopped answering. roscpp unregisters a
// publisher, a subscriber or a service (when one goes away, and for all of
// them in ros::shutdown) with a call to the master that waits for the
// answer without a time limit: a master suspended with Ctrl-Z, or one that
// only accepts connections, would hold a node's destructor, and with it the
// end of the network, for ever.
//
// While a RosNodeGenerator lives, a watch looks at the connections to the
// master whenever roscpp begins to unregister something. When an
// unregistering call has had no answer for about a second, the watch says
// once, on standard error, that the ROS node could not be unregistered, and
// from then on cuts every connection to the master that waits for an answer
// (shutdown(2): the socket stays roscpp's), so each such call fails at
// once; calls that finish normally are left alone. Only a thread blocked in
// such a call without a time limit counts, and the master counts as gone
// until it answers an unregistering again.

#include <sys/socket.h>

#include <string>
#include <vector>

namespace murvmaster {

// One address the master's host name stands for, with the master's port.
struct MasterAddress {
  sockaddr_storage address;
  socklen_t length;
};

// Lets the watch see roscpp's calls (once for the process, through
// xmlrpcpp's log); best made before roscpp has threads that make calls.
void seeUnregistering();

// Starts watching the leaving of the ROS node rosName from the master at
// uri, whose host resolves to addresses; who begins the line the watch says
// (the generator's instance name). Each call is matched by one
// endWatchingLeave(); the latest names are the ones said.
void watchLeave(const std::string& who, const std::string& rosName, const std::string& uri,
                const std::vector<MasterAddress>& addresses);

// Ends one watchLeave(); the last one stops the watch, once roscpp has
// been shut down.
void endWatchingLeave();

// How long an unregistering call may wait for the master's answer.
constexpr int leaveLimitMillis = 1000;

}  // namespace murvmaster

#endif
