#ifndef MURV_TEST_WIRE_BYTES_H
#define MURV_TEST_WIRE_BYTES_H

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <ros/serialization.h>

// Builds expected wire bytes one byte at a time, little-endian, without going
// through any ROS code, so that golden bodies are independent of what they
// check.
class WireBytes {
public:
  WireBytes& u8(uint8_t v) {
    bytes_.push_back(v);
    return *this;
  }
  WireBytes& u32(uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes_.push_back(static_cast<uint8_t>(v >> (8 * i)));
    return *this;
  }
  WireBytes& i32(int32_t v) { return u32(static_cast<uint32_t>(v)); }
  WireBytes& i64(int64_t v) {
    const uint64_t u = static_cast<uint64_t>(v);
    for (int i = 0; i < 8; ++i) bytes_.push_back(static_cast<uint8_t>(u >> (8 * i)));
    return *this;
  }
  WireBytes& f32(float v) {
    uint32_t bits;
    std::memcpy(&bits, &v, 4);
    return u32(bits);
  }
  WireBytes& str(const std::string& s) {
    u32(static_cast<uint32_t>(s.size()));
    bytes_.insert(bytes_.end(), s.begin(), s.end());
    return *this;
  }
  WireBytes& floats(const std::vector<float>& values) {
    u32(static_cast<uint32_t>(values.size()));
    for (float v : values) f32(v);
    return *this;
  }
  const std::vector<uint8_t>& bytes() const { return bytes_; }
  size_t size() const { return bytes_.size(); }

private:
  std::vector<uint8_t> bytes_;
};

// A message's body as roscpp writes it for publishing, without the length word.
template <class M>
std::vector<uint8_t> rosBody(const M& msg) {
  ros::SerializedMessage sm = ros::serialization::serializeMessage(msg);
  return std::vector<uint8_t>(sm.message_start, sm.buf.get() + sm.num_bytes);
}

// The full serialized message, length word included.
template <class M>
std::vector<uint8_t> rosSerialized(const M& msg) {
  ros::SerializedMessage sm = ros::serialization::serializeMessage(msg);
  return std::vector<uint8_t>(sm.buf.get(), sm.buf.get() + sm.num_bytes);
}

// Serialization of a value that is not sent on its own (an element type).
template <class M>
std::vector<uint8_t> rosBytes(const M& value) {
  std::vector<uint8_t> out(ros::serialization::serializationLength(value));
  ros::serialization::OStream stream(out.data(), static_cast<uint32_t>(out.size()));
  ros::serialization::serialize(stream, value);
  return out;
}

#endif
