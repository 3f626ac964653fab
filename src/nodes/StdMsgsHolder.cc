#include "StdMsgsHolder.h"

#include <exception>
#include <type_traits>
#include <utility>
#include <vector>

#include "ros/MsgFifo.h"
#include "support/NodeSupport.h"
#include "ros/RosLogAt.h"
#include "ros/RosReceiving.h"

namespace murvstd {

namespace {

// Under the holder's lock: the drops and the conversion of serveOldest
// (out null: the drops only). Every malformed message goes, not only those
// at the front, so that the entries counted for keepLast are messages that
// can be served. Dropped messages move to gone, to be destroyed once the
// lock is released; the reasons go to faults.
template <class M>
std::size_t serveFront(std::deque<M>& fifo, ArrayFormat format, bool keepLast, MURV::ObjectRef* out,
                       std::vector<std::string>& faults, std::deque<M>& gone) {
  auto drop = [&](typename std::deque<M>::iterator it, std::string why) {
    faults.push_back(std::move(why));
    gone.push_back(std::move(*it));
    return fifo.erase(it);
  };
  for (auto it = fifo.begin(); it != fifo.end();) {
    std::string fault = layoutFault(*it, format);
    it = fault.empty() ? it + 1 : drop(it, std::move(fault));
  }
  while (out && !fifo.empty()) {
    try {
      *out = toHost(fifo.front(), format);
      break;
    } catch (const std::exception& e) {
      drop(fifo.begin(), std::string("its conversion failed: ") + e.what());
    }
  }
  const std::size_t held = fifo.size();
  if (out && held > 0 && !(keepLast && held == 1)) {
    gone.push_back(std::move(fifo.front()));
    fifo.pop_front();
  }
  return held;
}

}  // namespace

StdMsgsHolder::StdMsgsHolder(int capacity_, bool debug, const char* receiptFile, int receiptLine)
    : enable_debug(debug), capacity(capacity_ < 1 ? 1 : capacity_), receipt_file(receiptFile),
      receipt_line(receiptLine) {}

template <class F>
void StdMsgsHolder::onFifo(Category category, F&& f) {
  switch (category) {
    case Category::Bool: f(fifo_bool); break;
    case Category::String: f(fifo_string); break;
    case Category::Int32: f(fifo_int32); break;
    case Category::Float32: f(fifo_float32); break;
    case Category::Int32MultiArray: f(fifo_int32multiarray); break;
    case Category::Float32MultiArray: f(fifo_float32multiarray); break;
    case Category::None: break;
  }
}

std::size_t StdMsgsHolder::serveOldest(Category category, ArrayFormat format, bool keepLast, MURV::ObjectRef& out) {
  std::vector<std::string> faults;
  std::size_t held = 0;
  onFifo(category, [&](auto& fifo) {
    std::decay_t<decltype(fifo)> gone;
    std::lock_guard<std::mutex> guard(fifo_lock);
    held = serveFront(fifo, format, keepLast, &out, faults, gone);
  });
  for (const std::string& why : faults) murvmsg::detail::logDropped(categoryName(category), why.c_str());
  return held;
}

bool StdMsgsHolder::hasServable(Category category, ArrayFormat format) {
  std::vector<std::string> faults;
  std::size_t held = 0;
  onFifo(category, [&](auto& fifo) {
    std::decay_t<decltype(fifo)> gone;
    std::lock_guard<std::mutex> guard(fifo_lock);
    held = serveFront(fifo, format, true, nullptr, faults, gone);
  });
  for (const std::string& why : faults) murvmsg::detail::logDropped(categoryName(category), why.c_str());
  return held > 0;
}

std::size_t StdMsgsHolder::entries(Category category) {
  std::size_t n = 0;
  onFifo(category, [&](auto& fifo) { n = murvmsg::entriesIn(fifo_lock, fifo); });
  return n;
}

void StdMsgsHolder::queued() { arrivals.notify(); }

template <class In, class Out>
void StdMsgsHolder::receive(const char* typeName, const boost::shared_ptr<const In>& msg, std::deque<Out>& fifo) {
  if (!msg) return;
  if (enable_debug) {
    try {
      MURV_LOG_INFO_AT(receipt_file, receipt_line, "Received [thread=%s]", murvmsg::threadIdText().c_str());
    } catch (...) {
    }
  }
  const In& m = *msg;
  if (murvmsg::queueCopy(
          typeName, [&m] { return valueCount(m); }, [&m] { return fold(m); }, fifo_lock, fifo, capacity,
          [this] { first_message_flag = 0; }))
    queued();
}

void StdMsgsHolder::cb_stdbool(const std_msgs::Bool::ConstPtr& m) { receive("Bool", m, fifo_bool); }
void StdMsgsHolder::cb_stdstring(const std_msgs::String::ConstPtr& m) { receive("String", m, fifo_string); }
void StdMsgsHolder::cb_stdint8(const std_msgs::Int8::ConstPtr& m) { receive("Int8", m, fifo_int32); }
void StdMsgsHolder::cb_stdint16(const std_msgs::Int16::ConstPtr& m) { receive("Int16", m, fifo_int32); }
void StdMsgsHolder::cb_stdint32(const std_msgs::Int32::ConstPtr& m) { receive("Int32", m, fifo_int32); }
void StdMsgsHolder::cb_stdint64(const std_msgs::Int64::ConstPtr& m) { receive("Int64", m, fifo_int32); }
void StdMsgsHolder::cb_stduint8(const std_msgs::UInt8::ConstPtr& m) { receive("UInt8", m, fifo_int32); }
void StdMsgsHolder::cb_stduint16(const std_msgs::UInt16::ConstPtr& m) { receive("UInt16", m, fifo_int32); }
void StdMsgsHolder::cb_stduint32(const std_msgs::UInt32::ConstPtr& m) { receive("UInt32", m, fifo_int32); }
void StdMsgsHolder::cb_stduint64(const std_msgs::UInt64::ConstPtr& m) { receive("UInt64", m, fifo_int32); }
void StdMsgsHolder::cb_stdfloat32(const std_msgs::Float32::ConstPtr& m) { receive("Float32", m, fifo_float32); }
void StdMsgsHolder::cb_stdfloat64(const std_msgs::Float64::ConstPtr& m) { receive("Float64", m, fifo_float32); }
void StdMsgsHolder::cb_stdint8multiarray(const std_msgs::Int8MultiArray::ConstPtr& m) {
  receive("Int8MultiArray", m, fifo_int32multiarray);
}
void StdMsgsHolder::cb_stdint16multiarray(const std_msgs::Int16MultiArray::ConstPtr& m) {
  receive("Int16MultiArray", m, fifo_int32multiarray);
}
void StdMsgsHolder::cb_stdint32multiarray(const std_msgs::Int32MultiArray::ConstPtr& m) {
  receive("Int32MultiArray", m, fifo_int32multiarray);
}
void StdMsgsHolder::cb_stdint64multiarray(const std_msgs::Int64MultiArray::ConstPtr& m) {
  receive("Int64MultiArray", m, fifo_int32multiarray);
}
void StdMsgsHolder::cb_stduint8multiarray(const std_msgs::UInt8MultiArray::ConstPtr& m) {
  receive("UInt8MultiArray", m, fifo_int32multiarray);
}
void StdMsgsHolder::cb_stduint16multiarray(const std_msgs::UInt16MultiArray::ConstPtr& m) {
  receive("UInt16MultiArray", m, fifo_int32multiarray);
}
void StdMsgsHolder::cb_stduint32multiarray(const std_msgs::UInt32MultiArray::ConstPtr& m) {
  receive("UInt32MultiArray", m, fifo_int32multiarray);
}
void StdMsgsHolder::cb_stduint64multiarray(const std_msgs::UInt64MultiArray::ConstPtr& m) {
  receive("UInt64MultiArray", m, fifo_int32multiarray);
}
void StdMsgsHolder::cb_stdfloat32multiarray(const std_msgs::Float32MultiArray::ConstPtr& m) {
  receive("Float32MultiArray", m, fifo_float32multiarray);
}
void StdMsgsHolder::cb_stdfloat64multiarray(const std_msgs::Float64MultiArray::ConstPtr& m) {
  receive("Float64MultiArray", m, fifo_float32multiarray);
}

StdType checkedStdType(MURV::Node* node, const char* file, int line, const std::string& typeName,
                       const std::string& formatName) {
  const StdType type = stdTypeNamed(typeName);
  if (type == StdType::None) murvnode::refuseValue(node, "ROS_MESSAGE_TYPE", typeName, stdTypesTaken, file, line);
  if (isArray(categoryOf(type)) && arrayFormatNamed(formatName) == ArrayFormat::None)
    murvnode::refuseChoice(node, "OUT_ARRAY_FORMAT", formatName, arrayFormatNames(), file, line);
  return type;
}

murvnode::TopicSubscriber subscribeStdType(MURV::Node* node, const char* file, int line, StdType type,
                                           const std::string& topic, int queueSize, StdMsgsHolder* holder) {
  auto on = [&](auto callback) {
    return murvnode::subscribeShared(node, file, line, "TOPIC_NAME", topic, queueSize, callback, holder);
  };
  using H = StdMsgsHolder;
  switch (type) {
    case StdType::Bool: return on(&H::cb_stdbool);
    case StdType::String: return on(&H::cb_stdstring);
    case StdType::Int8: return on(&H::cb_stdint8);
    case StdType::Int16: return on(&H::cb_stdint16);
    case StdType::Int32: return on(&H::cb_stdint32);
    case StdType::Int64: return on(&H::cb_stdint64);
    case StdType::UInt8: return on(&H::cb_stduint8);
    case StdType::UInt16: return on(&H::cb_stduint16);
    case StdType::UInt32: return on(&H::cb_stduint32);
    case StdType::UInt64: return on(&H::cb_stduint64);
    case StdType::Float32: return on(&H::cb_stdfloat32);
    case StdType::Float64: return on(&H::cb_stdfloat64);
    case StdType::Int8MultiArray: return on(&H::cb_stdint8multiarray);
    case StdType::Int16MultiArray: return on(&H::cb_stdint16multiarray);
    case StdType::Int32MultiArray: return on(&H::cb_stdint32multiarray);
    case StdType::Int64MultiArray: return on(&H::cb_stdint64multiarray);
    case StdType::UInt8MultiArray: return on(&H::cb_stduint8multiarray);
    case StdType::UInt16MultiArray: return on(&H::cb_stduint16multiarray);
    case StdType::UInt32MultiArray: return on(&H::cb_stduint32multiarray);
    case StdType::UInt64MultiArray: return on(&H::cb_stduint64multiarray);
    case StdType::Float32MultiArray: return on(&H::cb_stdfloat32multiarray);
    case StdType::Float64MultiArray: return on(&H::cb_stdfloat64multiarray);
    case StdType::None: break;
  }
  return murvnode::TopicSubscriber();
}

}  // namespace murvstd
