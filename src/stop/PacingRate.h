#ifndef MURV_PACING_RATE_H
#define MURV_PACING_RATE_H

// How a node paces the network on its ROS_LOOP_RATE: one sleep per
// iteration, on ROS time, that a stop signal ends.
//
// A node makes a PacingRate where an iteration's cycle starts and sleeps on
// it once, where the iteration ends; it behaves as a ros::Rate made at the
// same moment and slept once. So the pace follows ROS time: the wall clock,
// or /clock when /use_sim_time is set. A stop signal (SIGINT, SIGHUP,
// SIGTERM) ends the sleep at once, and every other sleep of the same
// iteration returns at once: neither a slow rate nor a /clock that has
// stopped (a bag paused or ended) can keep a run that was asked to stop
// after its iteration from stopping. Later iterations pace as usual, so a
// host that handles the signal itself and goes on keeps its pace.
// Once ROS has been shut down (rosnode kill, a master that shut the node
// down) the sleep ends the run as a stream node's wait does: nothing the
// node does reaches ROS any more.

#include <ros/duration.h>
#include <ros/time.h>

#include <cstdint>
#include <optional>

#include "Node.h"
#include "StopSignals.h"

namespace murvnode {

class PacingRate {
public:
  // Starts a cycle of 1 / frequency seconds now, on ROS time, for the
  // iteration count of node, made as made says (see
  // murvstream::IterationStop). A frequency whose cycle ros::Duration
  // cannot hold throws as ros::Rate does.
  PacingRate(const MURV::Node& node, const murvstream::NodeMade& made, double frequency, int count);

  // Sleeps until the cycle's end on ROS time; returns at once when the
  // cycle has already passed or a stop signal has come in this iteration.
  // Throws a node exception ("NAME stopped waiting: ROS has been shut
  // down") once ROS that had started has been shut down, looking at it
  // about every 100 ms while it sleeps.
  // With clockStillLimit (a stream node's silence limit, see
  // murvstream::silenceLimit), a sleep on /clock also ends once /clock has
  // stood still for more than that many microseconds of steady time: the
  // node's next wait for data then measures the silence as on the wall
  // clock, so a stream whose messages and /clock stop together (a bag
  // played with --clock to its end) ends its network.
  void sleep(std::optional<std::int64_t> clockStillLimit = std::nullopt);

  // Called by the constructor of every node that paces but does not wait
  // for data (a stream node's handler for its waits serves its pacing as
  // well): installs the toolbox's stop-signal handler, so that a stop
  // signal reaches the node's sleeps whatever host runs it. The node keeps
  // what it answers for its PacingRates.
  static murvstream::NodeMade installStopSignals();

private:
  void giveUpIfRosGone() const;
  const MURV::Node& node;
  murvstream::IterationStop stop;
  ros::Time start;
  ros::Duration cycle;
};

}  // namespace murvnode

#endif
