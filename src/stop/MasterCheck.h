#ifndef MURV_MASTER_CHECK_H
#define MURV_MASTER_CHECK_H

// What answers at the ROS master's address, asked over a connection of our
// own. roscpp's own calls wait without a time limit and without a word for
// a server that accepts the connection and never answers, or for a host
// that cannot be reached, and retry for ever against a server that answers
// HTTP but not XML-RPC; asking first lets the node say what it waits for
// and refuse what is not a master. Every ROS node answers getPid as a
// master does, and a rospy node answers getUri too; only a master looks a
// node up, so a master is what answers lookupNode as well.

#include <functional>
#include <string>
#include <vector>

#include "LeaveWatch.h"
#include "MasterAnswer.h"

namespace murvmaster {

// Calls getPid, then lookupNode (of callerId itself), for callerId on the
// master at host:port and waits for each whole answer, however long it
// takes: the host name is resolved on a thread of its own (a name server
// that does not answer holds
// it for seconds), and a resolver that fails for the moment, a connection
// that times out and an answer cut short are tried again. The first answer
// that is not a master's ends the calls; its text begins with the call
// ("lookupNode answered ..."). The wait ends at once
// when wakeFd turns readable; keepWaiting() is called about every 100 ms
// while nothing has come back, and when it answers false the call gives
// up. addresses, when given, receives what the host name stands for.
MasterAnswer askMaster(const std::string& host, int port, const std::string& callerId, int wakeFd,
                       const std::function<bool()>& keepWaiting, std::vector<MasterAddress>* addresses = nullptr);

}  // namespace murvmaster

#endif
