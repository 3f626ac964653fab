#ifndef MURV_MASTER_ANSWER_H
#define MURV_MASTER_ANSWER_H

// What answers at the ROS master's address, asked over a connection of our
// own. roscpp's own calls wait without a time limit and without a word for
// a server that accepts the connection and never answers, or for a host
// that cannot be reached, and retry for ever against a server that answers
// HTTP but not XML-RPC; asking first lets the node say what it waits for
// and refuse what is not a master.

#include <functional>
#include <string>

namespace murvmaster {

struct MasterAnswer {
  enum Kind {
    master,     // a ROS master answered
    notMaster,  // something answered, but not as a ROS master: text says what
    noAnswer,   // the connection failed at once (refused, say); roscpp's own
                // wait says so and retries
    stopped,    // keepWaiting() gave up
  };
  Kind kind;
  std::string text;
};

// Calls getPid for callerId on the master at host:port and waits for the
// whole answer, however long it takes: a connection that times out is made
// again. keepWaiting() is called at least every 50 ms while nothing has come
// back; when it answers false the call gives up.
MasterAnswer askMasterPid(const std::string& host, int port, const std::string& callerId,
                          const std::function<bool()>& keepWaiting);

// What a getPid answer (an HTTP response, or whatever came back) says.
MasterAnswer readMasterAnswer(const std::string& response);

}  // namespace murvmaster

#endif
