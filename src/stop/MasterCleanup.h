#ifndef MURV_MASTER_CLEANUP_H
#define MURV_MASTER_CLEANUP_H

// The clean-up after a stop that came while roscpp started: what the
// master took after roscpp's own unregistering is asked for and
// unregistered over XML-RPC, one call per registration.

namespace murvmaster {

// Unregisters what the master still holds of this process's ROS node once
// roscpp has been shut down: a registration that reached the master after
// roscpp's shutdown had unregistered it (a stop that came while roscpp
// registered at start-up), or one whose call was cut but reached the
// master all the same. One call to the master when it holds nothing. Call
// it inside a LeaveCall: a master that does not answer does not hold it.
void leaveForGood();

}  // namespace murvmaster

#endif
