// What the callback holders of the two standard-message receivers share:
// the twenty-two ROS callbacks, the six category FIFOs they fill, and the
// consumer's step that turns the oldest message of a category into a host
// object. RosStdMsgsSubscriber's and StdMsgsStreamFromRos's holders are
// this class; the stream's also shows its first-message flag.
#ifndef MURV_STD_MSGS_HOLDER_H
#define MURV_STD_MSGS_HOLDER_H

#include <ros/ros.h>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>

#include "Node.h"
#include "convert/StdMsgsToHost.h"
#include "ros/TopicTypes.h"
#include "stop/StreamWait.h"

namespace murvstd {

class StdMsgsHolder {
public:
  // capacity is the most entries one FIFO keeps (a value below 1 keeps 1);
  // debug switches the receipt line in the ROS log, which is logged at
  // receiptFile and receiptLine: the owning node's file, whichever code
  // writes it, so that /rosout readers see the node.
  StdMsgsHolder(int capacity, bool debug, const char* receiptFile, int receiptLine);
  StdMsgsHolder(const StdMsgsHolder&) = delete;
  StdMsgsHolder& operator=(const StdMsgsHolder&) = delete;

  // ROS callbacks: each queues the category message folded from what
  // arrived, dropping the oldest of a full FIFO. They never throw; a message
  // that cannot be queued (more than maxHostValues values, no memory) is
  // logged at Error level and dropped.
  void cb_stdbool(const std_msgs::Bool::ConstPtr& msg);
  void cb_stdstring(const std_msgs::String::ConstPtr& msg);
  void cb_stdint8(const std_msgs::Int8::ConstPtr& msg);
  void cb_stdint16(const std_msgs::Int16::ConstPtr& msg);
  void cb_stdint32(const std_msgs::Int32::ConstPtr& msg);
  void cb_stdint64(const std_msgs::Int64::ConstPtr& msg);
  void cb_stduint8(const std_msgs::UInt8::ConstPtr& msg);
  void cb_stduint16(const std_msgs::UInt16::ConstPtr& msg);
  void cb_stduint32(const std_msgs::UInt32::ConstPtr& msg);
  void cb_stduint64(const std_msgs::UInt64::ConstPtr& msg);
  void cb_stdfloat32(const std_msgs::Float32::ConstPtr& msg);
  void cb_stdfloat64(const std_msgs::Float64::ConstPtr& msg);
  void cb_stdint8multiarray(const std_msgs::Int8MultiArray::ConstPtr& msg);
  void cb_stdint16multiarray(const std_msgs::Int16MultiArray::ConstPtr& msg);
  void cb_stdint32multiarray(const std_msgs::Int32MultiArray::ConstPtr& msg);
  void cb_stdint64multiarray(const std_msgs::Int64MultiArray::ConstPtr& msg);
  void cb_stduint8multiarray(const std_msgs::UInt8MultiArray::ConstPtr& msg);
  void cb_stduint16multiarray(const std_msgs::UInt16MultiArray::ConstPtr& msg);
  void cb_stduint32multiarray(const std_msgs::UInt32MultiArray::ConstPtr& msg);
  void cb_stduint64multiarray(const std_msgs::UInt64MultiArray::ConstPtr& msg);
  void cb_stdfloat32multiarray(const std_msgs::Float32MultiArray::ConstPtr& msg);
  void cb_stdfloat64multiarray(const std_msgs::Float64MultiArray::ConstPtr& msg);

  // The consumer's step, in one holding of the lock: drops (with an Error
  // line) every message at the front of category's FIFO that format cannot
  // turn into a host object, so that a malformed message never blocks the
  // ones behind it; then, when one is left, sets out to its host object and
  // removes it, unless keepLast is set and it is the only one. Answers the
  // entries the FIFO held before the removal, 0 when none was left.
  std::size_t serveOldest(Category category, ArrayFormat format, bool keepLast, MURV::ObjectRef& out);
  // The same drops; answers whether a message is left to serve.
  bool hasServable(Category category, ArrayFormat format);
  // The entries category's FIFO holds, under the lock.
  std::size_t entries(Category category);

  // Oldest first. Read and changed only while holding fifo_lock.
  std::deque<std_msgs::Bool> fifo_bool;
  std::deque<std_msgs::String> fifo_string;
  std::deque<std_msgs::Int32> fifo_int32;
  std::deque<std_msgs::Float32> fifo_float32;
  std::deque<std_msgs::Int32MultiArray> fifo_int32multiarray;
  std::deque<std_msgs::Float32MultiArray> fifo_float32multiarray;
  // Set before any callback can run and never changed: read without the lock.
  const bool enable_debug;
  const std::int32_t capacity;
  const char* const receipt_file;
  const int receipt_line;
  std::mutex fifo_lock;
  // Woken after every queued message. The stream node sets it to its
  // waiter's notifier before it subscribes; the subscriber leaves it alone.
  murvstream::WaitNotifier arrivals;

protected:
  // 1 until the first callback has queued its copy, then 0 for good; under
  // fifo_lock.
  std::int32_t first_message_flag = 1;

private:
  template <class In, class Out>
  void receive(const char* typeName, const boost::shared_ptr<const In>& msg, std::deque<Out>& fifo);
  template <class F>
  void onFifo(Category category, F&& f);
  // Called after every queued message, once the lock is released: the one
  // place where a waiting consumer is to be woken.
  void queued();
};

// The type typeName names, for a node whose OUT_ARRAY_FORMAT is formatName.
// A name of none of the twenty-two types, or an array type with a format of
// none of the four shapes, could only leave the node doing nothing or
// waiting for ever: a NodeException of node that names the parameter,
// ROS_MESSAGE_TYPE or OUT_ARRAY_FORMAT, and what it takes.
StdType checkedStdType(MURV::Node* node, const char* file, int line, const std::string& typeName,
                       const std::string& formatName);

// Subscribes holder's callback for type to topic, the value of TOPIC_NAME,
// on the shared handle, with a queue of queueSize messages; an empty
// subscriber for StdType::None.
murvnode::TopicSubscriber subscribeStdType(MURV::Node* node, const char* file, int line, StdType type,
                                           const std::string& topic, int queueSize, StdMsgsHolder* holder);

}  // namespace murvstd

#endif
