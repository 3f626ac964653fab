// Bounded reader for the toolbox's ROS messages, and the subscription glue
// that makes roscpp use it.
//
// roscpp's own list reader sizes a list to the count it has read before it
// looks at the bytes that remain, and forms 4 x count in 32 bits: a body of a
// few bytes can ask for gigabytes, or a wrapped byte count can let a 4 GiB
// list of zeros through. This reader compares every count with the bytes that
// remain (at the element's smallest wire size, in 64 bits) before it sizes
// anything, and otherwise reads exactly as roscpp does: same encoding, same
// StreamOverrunException, bytes after the last field ignored.
//
// It walks a message with the Serializer<M>::allInOne that gencpp generates,
// so the generated code is used as it is.
#ifndef MURV_MSG_READER_H
#define MURV_MSG_READER_H

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

#include <boost/array.hpp>
#include <boost/function.hpp>
#include <boost/make_shared.hpp>
#include <boost/shared_ptr.hpp>
#include <ros/node_handle.h>
#include <ros/serialization.h>
#include <ros/subscribe_options.h>
#include <ros/subscription_callback_helper.h>
#include <ros/time.h>

class MurvMsgReader {
 public:
  // The most elements a list of messages (a message's channels or sources, a
  // result's entries, a reconfiguration request's parameters) may hold, which
  // no real array reaches. An element can be a few bytes on the wire and many
  // times that in memory, where the message is then copied and converted, so
  // a count within the body's bytes can still cost far more than the body:
  // such a list is refused before anything is allocated, as a count beyond
  // the body is.
  static constexpr uint32_t maxMessageListElements = 65536;

  MurvMsgReader(const uint8_t* data, uint32_t size) : data_(data), end_(data + size) {}

  uint32_t remaining() const { return static_cast<uint32_t>(end_ - data_); }

  // Primitives are copied as they lie (the wire is little-endian like the
  // machine); anything else is a message, read field by field.
  template <class T>
  void next(T& value) {
    if constexpr (std::is_arithmetic_v<T>) {
      take(&value, sizeof(T));
    } else {
      ros::serialization::Serializer<T>::template allInOne<MurvMsgReader, T&>(*this, value);
    }
  }

  void next(ros::Time& t) {
    next(t.sec);
    next(t.nsec);
  }

  void next(ros::Duration& d) {
    next(d.sec);
    next(d.nsec);
  }

  template <class C, class Tr, class A>
  void next(std::basic_string<C, Tr, A>& s) {
    static_assert(sizeof(C) == 1, "ROS strings are byte strings");
    uint32_t len;
    next(len);
    if (len > remaining()) {
      ros::serialization::throwStreamOverrun();
    }
    s.assign(reinterpret_cast<const C*>(data_), len);
    data_ += len;
  }

  template <class E, class A>
  void next(std::vector<E, A>& v) {
    uint32_t count;
    next(count);
    checkListCount<E>(count, remaining());
    v.resize(count);
    if constexpr (std::is_arithmetic_v<E>) {
      if (count > 0) {
        take(v.data(), static_cast<size_t>(count) * sizeof(E));
      }
    } else {
      for (E& e : v) {
        next(e);
      }
    }
  }

  template <class E, size_t N>
  void next(boost::array<E, N>& a) {
    if constexpr (std::is_arithmetic_v<E>) {
      take(a.data(), N * sizeof(E));
    } else {
      for (E& e : a) {
        next(e);
      }
    }
  }

  // Throws roscpp's StreamOverrunException when count elements of E cannot
  // lie in the remaining bytes, or make a list of messages longer than
  // maxMessageListElements. Called before a list is sized.
  template <class E>
  static void checkListCount(uint32_t count, uint32_t remaining) {
    if (static_cast<uint64_t>(count) * minWireSize<E>() > remaining) {
      ros::serialization::throwStreamOverrun();
    }
    if constexpr (ros::message_traits::IsMessage<E>::value) {
      if (count > maxMessageListElements) {
        ros::serialization::throwStreamOverrun();
      }
    }
  }

  // The fewest bytes one list element can take on the wire: every list and
  // string in it empty. An element with no bytes at all still counts as one,
  // so that no count can outgrow the body.
  template <class E>
  static uint64_t minWireSize() {
    if constexpr (std::is_arithmetic_v<E>) {
      return sizeof(E);
    } else {
      static const uint64_t size =
          std::max<uint64_t>(ros::serialization::serializationLength(E()), 1);
      return size;
    }
  }

 private:
  void take(void* dst, size_t n) {
    if (n > remaining()) {
      ros::serialization::throwStreamOverrun();
    }
    std::memcpy(dst, data_, n);
    data_ += n;
  }

  const uint8_t* data_;
  const uint8_t* end_;
};

// Reads one message body (without roscpp's length word) into out. Throws
// ros::serialization::StreamOverrunException when the body is too short for
// what it announces; out is then partly written and must be dropped.
template <class M>
void murvDeserialize(const uint8_t* data, uint32_t size, M& out) {
  MurvMsgReader reader(data, size);
  reader.next(out);
}

// roscpp's subscription helper for const-pointer callbacks with the bounded
// reader in place of roscpp's. roscpp calls deserialize() for every message
// that arrives as bytes (from another process, or from a publisher in this
// process that published by reference); a publisher in this process that
// publishes a shared pointer of the same type hands the object over without
// any bytes.
template <class M>
class MurvSubscriptionHelper
    : public ros::SubscriptionCallbackHelperT<const boost::shared_ptr<const M>&> {
  using Base = ros::SubscriptionCallbackHelperT<const boost::shared_ptr<const M>&>;

 public:
  using typename Base::Callback;
  using typename Base::CreateFunction;

  explicit MurvSubscriptionHelper(const Callback& callback,
                                  const CreateFunction& create = CreateFunction(&makeMessage))
      : Base(callback, create), create_(create) {}

  ros::VoidConstPtr deserialize(const ros::SubscriptionCallbackHelperDeserializeParams& params) override {
    boost::shared_ptr<M> msg = create_();
    if (!msg) {
      ROS_DEBUG("Allocation failed for message of type [%s]", this->getTypeInfo().name());
      return ros::VoidConstPtr();
    }
    ros::serialization::PreDeserializeParams<M> predes;
    predes.message = msg;
    predes.connection_header = params.connection_header;
    ros::serialization::PreDeserialize<M>::notify(predes);

    murvDeserialize(params.buffer, params.length, *msg);
    return ros::VoidConstPtr(msg);
  }

 private:
  // A plain function rather than roscpp's empty creator object, which
  // boost::function copies as uninitialised bytes.
  static boost::shared_ptr<M> makeMessage() { return boost::make_shared<M>(); }

  CreateFunction create_;
};

// Subscribes callback to topic on nh so that every received body goes
// through the bounded reader. Give the message type explicitly:
//   murvSubscribe<murv_msgs::MurvWave>(nh, "murv_wave", 10, cb);
template <class M>
ros::Subscriber murvSubscribe(ros::NodeHandle& nh, const std::string& topic, uint32_t queue_size,
                              const boost::function<void(const boost::shared_ptr<const M>&)>& callback,
                              const ros::TransportHints& hints = ros::TransportHints()) {
  ros::SubscribeOptions ops(topic, queue_size, ros::message_traits::md5sum<M>(),
                            ros::message_traits::datatype<M>());
  ops.helper = boost::make_shared<MurvSubscriptionHelper<M>>(callback);
  ops.transport_hints = hints;
  return nh.subscribe(ops);
}

template <class M, class T>
ros::Subscriber murvSubscribe(ros::NodeHandle& nh, const std::string& topic, uint32_t queue_size,
                              void (T::*member)(const boost::shared_ptr<const M>&), T* object,
                              const ros::TransportHints& hints = ros::TransportHints()) {
  return murvSubscribe<M>(
      nh, topic, queue_size,
      boost::function<void(const boost::shared_ptr<const M>&)>(
          [member, object](const boost::shared_ptr<const M>& msg) { (object->*member)(msg); }),
      hints);
}

#endif  // MURV_MSG_READER_H
