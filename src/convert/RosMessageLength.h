#ifndef MURV_ROS_MESSAGE_LENGTH_H
#define MURV_ROS_MESSAGE_LENGTH_H

#include <cstdint>
#include <limits>

namespace murvmsg {

// The most bytes one ROS message may take. Its length goes on the wire as
// a 32-bit field, and roscpp sizes its send buffer as that length plus the
// field's own 4 bytes, summed in 32 bits: a longer message would wrap the
// count and be written past the buffer.
constexpr std::uint64_t maxMessageBytes = std::numeric_limits<std::uint32_t>::max() - 4u;

// Whether a message of fixed bytes and count elements of perElement bytes
// each fits one ROS message; divided rather than multiplied, so that no
// size can overflow the test.
constexpr bool fitsOneMessage(std::uint64_t fixed, std::uint64_t count, std::uint64_t perElement) {
  return fixed <= maxMessageBytes && (perElement == 0 || count <= (maxMessageBytes - fixed) / perElement);
}

}  // namespace murvmsg

#endif
