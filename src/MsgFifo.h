// The message FIFOs of the callback holders: bounded queues of message
// copies between roscpp's callback threads and a node's calculate().
//
// A FIFO keeps arrival order; callbacks append at the back and the consumer
// reads and removes at the front. At capacity an append drops exactly one
// entry, the oldest, so a burst loses the oldest messages, never the newest.
// Every look at a FIFO is made under its holder's one lock; the copy is
// built before the lock is taken, and a dropped entry is destroyed after it
// is released.
#ifndef MURV_MSG_FIFO_H
#define MURV_MSG_FIFO_H

#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <mutex>
#include <new>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <utility>

#include <ros/console.h>

#include "MsgCopy.h"
#include "MsgToHost.h"

namespace murvmsg {

// The most entries a FIFO keeps: at least 1, so that a FIFO neither grows
// without bound nor drops the copy it has just taken.
inline std::size_t fifoCapacity(int capacity) { return capacity < 1 ? 1u : static_cast<std::size_t>(capacity); }

// The calling thread's id as the standard library prints it.
inline std::string threadIdText() {
  std::ostringstream s;
  s << std::this_thread::get_id();
  return s.str();
}

// Appends copy under lock, first dropping the oldest entry of a full FIFO,
// and runs alsoUnderLock() in the same holding. Appending comes first, so a
// failed allocation leaves the FIFO as it was.
template <class M, class AlsoUnderLock>
void appendBounded(std::mutex& lock, std::deque<M>& fifo, int capacity, M&& copy, AlsoUnderLock&& alsoUnderLock) {
  std::optional<M> dropped;
  std::lock_guard<std::mutex> guard(lock);
  fifo.push_back(std::move(copy));
  if (fifo.size() > fifoCapacity(capacity)) {
    dropped.emplace(std::move(fifo.front()));
    fifo.pop_front();
  }
  alsoUnderLock();
}

template <class M>
void appendBounded(std::mutex& lock, std::deque<M>& fifo, int capacity, M&& copy) {
  appendBounded(lock, fifo, capacity, std::move(copy), [] {});
}

namespace detail {
// Logs why a message of typeName was not queued; never throws.
inline void logDropped(const char* typeName, const char* why) noexcept {
  try {
    ROS_ERROR("%s message dropped: %s", typeName, why);
  } catch (...) {
  }
}
}  // namespace detail

// What a callback does with a received message: refuses one that would
// turn into more than maxHostValues host values, then queues the copy that
// copy(msg) makes. Nothing leaves it: an exception escaping a ROS callback
// would end the process, so a copy that fails (out of memory included) is
// logged at Error level and the message dropped. Answers whether the message
// was queued; alsoUnderLock() runs only when it was.
template <class M, class Copy, class AlsoUnderLock>
bool receiveCopyInto(const char* typeName, const M& msg, Copy&& copy, std::mutex& lock, std::deque<M>& fifo,
                     int capacity, AlsoUnderLock&& alsoUnderLock) noexcept {
  try {
    const std::uint64_t values = hostValueCount(msg);
    if (values > maxHostValues) {
      const std::string why = "it would make " + std::to_string(values) + " values on the host, more than " +
                              std::to_string(maxHostValues);
      detail::logDropped(typeName, why.c_str());
      return false;
    }
    appendBounded(lock, fifo, capacity, copy(msg), alsoUnderLock);
    return true;
  } catch (const std::bad_alloc&) {
    detail::logDropped(typeName, "out of memory while copying it");
  } catch (const std::exception& e) {
    detail::logDropped(typeName, e.what());
  } catch (...) {
    detail::logDropped(typeName, "unknown exception while copying it");
  }
  return false;
}

// The same with the holders' usual copy (MsgCopy.h).
template <class M, class AlsoUnderLock>
bool receiveInto(const char* typeName, const M& msg, std::mutex& lock, std::deque<M>& fifo, int capacity,
                 AlsoUnderLock&& alsoUnderLock) noexcept {
  return receiveCopyInto(
      typeName, msg, [](const M& m) { return fifoCopy(m); }, lock, fifo, capacity,
      std::forward<AlsoUnderLock>(alsoUnderLock));
}

template <class M>
bool receiveInto(const char* typeName, const M& msg, std::mutex& lock, std::deque<M>& fifo, int capacity) noexcept {
  return receiveInto(typeName, msg, lock, fifo, capacity, [] {});
}

// The consumer's step, under lock: when the FIFO holds an entry, calls
// use(oldest, entries held) and then removes the oldest, except when
// keepLast is set and it is the only entry. Answers whether there was one.
// If use throws, nothing is removed.
template <class M, class Use>
bool useOldest(std::mutex& lock, std::deque<M>& fifo, bool keepLast, Use&& use) {
  std::optional<M> done;  // destroyed after the lock is released
  std::lock_guard<std::mutex> guard(lock);
  if (fifo.empty()) return false;
  use(static_cast<const M&>(fifo.front()), fifo.size());
  if (!(keepLast && fifo.size() == 1)) {
    done.emplace(std::move(fifo.front()));
    fifo.pop_front();
  }
  return true;
}

// The entries a FIFO holds, read under lock.
template <class M>
std::size_t entriesIn(std::mutex& lock, const std::deque<M>& fifo) {
  std::lock_guard<std::mutex> guard(lock);
  return fifo.size();
}

// The consumer's step for a node that converts outside the lock: moves the
// oldest entry out of the FIFO under lock, so that a drop at capacity can
// never touch it while it is converted. Empty when the FIFO is. When held is
// given, it receives the entries the FIFO held before the removal.
template <class M>
std::optional<M> takeOldest(std::mutex& lock, std::deque<M>& fifo, std::size_t* held = nullptr) {
  std::optional<M> taken;
  std::lock_guard<std::mutex> guard(lock);
  if (held) *held = fifo.size();
  if (fifo.empty()) return taken;
  taken.emplace(std::move(fifo.front()));
  fifo.pop_front();
  return taken;
}

// Undoes takeOldest for a consumer that gives up before it has used the
// entry: it goes back to the front, unless the FIFO has filled up in the
// meantime, when it would have been the oldest entry dropped.
template <class M>
void putBackOldest(std::mutex& lock, std::deque<M>& fifo, int capacity, M&& entry) {
  std::lock_guard<std::mutex> guard(lock);
  if (fifo.size() < fifoCapacity(capacity)) fifo.push_front(std::move(entry));
}

}  // namespace murvmsg

#endif
