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
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>

#include <ros/console.h>

#include "BaseException.h"
#include "convert/MsgCopy.h"
#include "convert/MsgToHost.h"

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
// Logs why a message of typeName was not queued or not used; never throws.
inline void logDropped(const char* typeName, const char* why) noexcept {
  try {
    ROS_ERROR("%s message dropped: %s", typeName, why);
  } catch (...) {
  }
}

// Runs step() and answers why it failed, or nothing when it did not. Any
// failure counts: a standard exception (out of memory included), a host
// exception thrown by pointer (deleted here), anything else. doing names the
// step for the failures that carry no text of their own.
template <class Step>
std::optional<std::string> failureOf(Step&& step, const char* doing) noexcept {
  try {
    try {
      step();
      return std::nullopt;
    } catch (MURV::BaseException* e) {
      std::unique_ptr<MURV::BaseException> owned(e);
      std::string why = owned->text();
      while (!why.empty() && why.back() == '\n') why.pop_back();
      return why;
    } catch (const std::bad_array_new_length& e) {
      return std::string(e.what());
    } catch (const std::bad_alloc&) {
      return std::string("out of memory while ") + doing + " it";
    } catch (const std::exception& e) {
      return std::string(e.what());
    } catch (...) {
      return std::string("unknown exception while ") + doing + " it";
    }
  } catch (...) {
    return std::string();  // no memory left even for the reason
  }
}
}  // namespace detail

// What a callback does with a received message: refuses one that would
// turn into more than maxHostValues host values (as countValues() says),
// then queues what makeCopy() builds. Nothing leaves it: an exception
// escaping a ROS callback would end the process, so a copy that fails (out
// of memory included) is logged at Error level and the message dropped.
// Answers whether the message was queued; alsoUnderLock() runs only when it
// was.
template <class M, class CountValues, class MakeCopy, class AlsoUnderLock>
bool queueCopy(const char* typeName, CountValues&& countValues, MakeCopy&& makeCopy, std::mutex& lock,
               std::deque<M>& fifo, int capacity, AlsoUnderLock&& alsoUnderLock) noexcept {
  bool queued = false;
  const std::optional<std::string> failure = detail::failureOf(
      [&] {
        const std::uint64_t values = countValues();
        if (values > maxHostValues)
          throw std::length_error("it would make " + std::to_string(values) + " values on the host, more than " +
                                  std::to_string(maxHostValues));
        appendBounded(lock, fifo, capacity, makeCopy(), alsoUnderLock);
        queued = true;
      },
      "copying");
  if (failure) detail::logDropped(typeName, failure->c_str());
  return queued;
}

// The same for a message queued as copy(msg) makes it.
template <class M, class Copy, class AlsoUnderLock>
bool receiveCopyInto(const char* typeName, const M& msg, Copy&& copy, std::mutex& lock, std::deque<M>& fifo,
                     int capacity, AlsoUnderLock&& alsoUnderLock) noexcept {
  return queueCopy(
      typeName, [&msg] { return hostValueCount(msg); }, [&] { return copy(msg); }, lock, fifo, capacity,
      std::forward<AlsoUnderLock>(alsoUnderLock));
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

// What the consumer's step found.
enum class Oldest { None, Used, Dropped };

// The consumer's step, under lock: when the FIFO holds an entry, calls
// use(oldest, entries held) and then removes the oldest, except when
// keepLast is set and it is the only entry. No message from the wire may
// stop a node: when use fails in any way, the message is dropped (removed,
// keepLast or not, so that it cannot hold the FIFO's head), the failure is
// logged at Error level, and the answer is Dropped; whatever use has made of
// the message by then is the caller's to undo.
template <class M, class Use>
Oldest useOldest(const char* typeName, std::mutex& lock, std::deque<M>& fifo, bool keepLast, Use&& use) {
  std::optional<M> done;  // destroyed after the lock is released
  std::optional<std::string> failure;
  {
    std::lock_guard<std::mutex> guard(lock);
    if (fifo.empty()) return Oldest::None;
    failure = detail::failureOf([&] { use(static_cast<const M&>(fifo.front()), fifo.size()); }, "converting");
    if (failure || !(keepLast && fifo.size() == 1)) {
      done.emplace(std::move(fifo.front()));
      fifo.pop_front();
    }
  }
  if (!failure) return Oldest::Used;
  detail::logDropped(typeName, failure->c_str());
  return Oldest::Dropped;
}

// Runs convert() on a message taken out of its FIFO; a failure of any kind
// is logged at Error level as the message's drop. Answers whether it ran.
template <class Convert>
bool convertOrDrop(const char* typeName, Convert&& convert) noexcept {
  const std::optional<std::string> failure = detail::failureOf(convert, "converting");
  if (failure) detail::logDropped(typeName, failure->c_str());
  return !failure;
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
