#ifndef MURV_ROS_LOG_AT_H
#define MURV_ROS_LOG_AT_H

// A line of the ROS log under the default logger ("ros.unknown_package" in
// this toolbox), recorded at a fixed source location: the file and line
// that /rosout readers and log filters see stay the same whatever the
// layout of the code around the statement. Like ROS_INFO, each use has its
// own log location, so callbacks on different threads share nothing here.
#include <ros/console.h>

#define MURV_LOG_AT(level, file, line, ...)                                                                      \
  do {                                                                                                           \
    ROSCONSOLE_DEFINE_LOCATION(true, level, ROSCONSOLE_DEFAULT_NAME);                                            \
    if (ROS_UNLIKELY(__rosconsole_define_location__enabled)) {                                                   \
      ::ros::console::print(NULL, __rosconsole_define_location__loc.logger_,                                     \
                            __rosconsole_define_location__loc.level_, file, line, __ROSCONSOLE_FUNCTION__,       \
                            __VA_ARGS__);                                                                        \
    }                                                                                                            \
  } while (false)

#define MURV_LOG_INFO_AT(file, line, ...) MURV_LOG_AT(::ros::console::levels::Info, file, line, __VA_ARGS__)
#define MURV_LOG_WARN_AT(file, line, ...) MURV_LOG_AT(::ros::console::levels::Warn, file, line, __VA_ARGS__)

#endif
