#ifndef MURV_SHARED_HANDLE_H
#define MURV_SHARED_HANDLE_H

#include <ros/node_handle.h>

// The process-wide handle on which the toolbox's ROS nodes advertise and
// subscribe; made by RosNodeGenerator, null until then and once it has gone.
extern ros::NodeHandle* __MasterRosNodeHandler__;

#endif
