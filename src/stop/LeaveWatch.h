#ifndef MURV_LEAVE_WATCH_H
#define MURV_LEAVE_WATCH_H

// Leaving a ROS master that has stopped answering. roscpp unregisters a
// publisher, a subscriber or a service (when one is shut down, and for all
// of them in ros::shutdown) with a call to the master that waits for the
// answer without a time limit: a master suspended with Ctrl-Z, or one that
// only accepts connections, would hold a node's destructor, and with it the
// end of the network, for ever.
//
// The toolbox marks where its own code has roscpp unregister (a LeaveCall
// on the calling thread). While a RosNodeGenerator lives, a watch looks at
// the threads inside such a mark. When one has waited about a second in
// poll() without a time limit for the whole answer to one request on its
// connection to the master (which a mark's later calls keep using), counted
// from when the request was sent, the watch cuts that one connection
// (shutdown(2): the descriptor stays roscpp's), so the call fails at once,
// and says once on standard error that the master did not answer, so the
// node may still be listed. Bytes of an answer that trickle in do not
// extend the limit. The master then counts as gone until it answers a call
// of ours whole again, or a call of ours ends without being cut: later
// calls are cut as soon as they are seen waiting. Nothing else is touched:
// not the connections of other threads, nor of the host, nor xmlrpcpp's
// settings.
//
// Each whole answer to a marked call, and each mark that ends without a
// cut, tells the host that a stop's teardown moves on (TeardownProgress.h),
// so that a host that gives a stopped network a short time to end gives it
// that time again. The calls a node makes as it is set up are marked too
// (a SetUpCall), for the same purpose, but never cut: a node whose set-up
// is under way when a stop comes finishes it, and the stop waits for that.
//
// The watch reads /proc/self/mem and the threads' /proc/self/task/*/syscall;
// a process that may not (one that is not dumpable, unless root) is told so
// once, on standard error, when the watch first starts.

#include <sys/socket.h>
#include <sys/types.h>

#include <string>
#include <vector>

namespace murvmaster {

// One address the master's host name stands for, with the master's port.
struct MasterAddress {
  sockaddr_storage address;
  socklen_t length;
};

// Starts watching the leaving of the ROS node rosName from the master at
// uri, whose host resolves to addresses; who begins the line the watch says
// (the generator's instance name). Each call is matched by one
// endWatchingLeave(); the latest names are the ones said.
void watchLeave(const std::string& who, const std::string& rosName, const std::string& uri,
                const std::vector<MasterAddress>& addresses);

// Ends one watchLeave(); the last one stops the watch.
void endWatchingLeave();

// A thread of this process marked, for the mark's lifetime, as one whose
// calls to the master the watch looks at. Marks may nest, of either kind.
class MasterCallMark {
public:
  MasterCallMark(const MasterCallMark&) = delete;
  MasterCallMark& operator=(const MasterCallMark&) = delete;

protected:
  // cutting: a call of the thread left unanswered is cut.
  MasterCallMark(pid_t thread, bool cutting);
  ~MasterCallMark();

private:
  const pid_t thread;
  const bool cutting;
};

// Marks the calling thread as one in which the toolbox's own code has
// roscpp unregister: only such a thread's calls are ever cut.
class LeaveCall : public MasterCallMark {
public:
  LeaveCall();
  // Marks thread, a thread of this process that outlives the mark, as the
  // calling one would be: for a thread held in roscpp's calls, which cannot
  // mark itself.
  explicit LeaveCall(pid_t thread) : MasterCallMark(thread, true) {}
};

// Marks the calling thread as one in which the toolbox's code has roscpp
// register (a node's set-up): the answers the thread waits for tell the
// host that a stop moves on; its calls are never cut.
class SetUpCall : public MasterCallMark {
public:
  SetUpCall();
};

// Shuts each ROS handle down (a publisher, a subscriber, a service server)
// inside a LeaveCall.
template <class... Handles>
void shutDownLeaving(Handles&... handles) {
  const LeaveCall call;
  (handles.shutdown(), ...);
}

// How long an unregistering call may wait for the master's answer.
constexpr int leaveLimitMillis = 1000;

}  // namespace murvmaster

#endif
