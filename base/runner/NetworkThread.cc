#include "NetworkThread.h"

#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>

#include "RunStop.h"
#include "SignalWake.h"
#include "StandardStreams.h"
#include "TeardownProgress.h"

namespace murvrun {

namespace {

struct Job {
  const std::function<int()>* body;
  sigset_t mask;  // the caller's signal mask, which the thread takes
  int result;
  int done;  // an eventfd written once result is set
};

extern "C" void* runJob(void* arg) {
  Job* job = static_cast<Job*>(arg);
  pthread_sigmask(SIG_SETMASK, &job->mask, nullptr);
  job->result = (*job->body)();
  murvwake::wake(job->done);
  return nullptr;
}

// Waits until the job is done, or, once a stop signal has come, as long as
// its teardown makes progress: a node blocked where no stop reaches it (a
// call to a ROS master that has stopped answering, say) must not hold the
// runner. The network is then left as it is, and the process ends with the
// signal's status without running destructors that other threads may
// still be inside.
void awaitOrEnd(int done) {
  pollfd fds[2] = {{done, POLLIN, 0}, {stopWakeFd(), POLLIN, 0}};
  using Clock = std::chrono::steady_clock;
  Clock::time_point stopped = Clock::time_point::max(), deadline = Clock::time_point::max();
  while (true) {
    int timeout = -1;
    if (deadline != Clock::time_point::max()) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      // Rounded up: woken a little early, the wait would spin.
      timeout = left > 0 ? static_cast<int>(left) + 1 : 0;
    }
    const int n = poll(fds, deadline == Clock::time_point::max() ? 2 : 1, timeout);
    if (n > 0 && (fds[0].revents & POLLIN)) return;
    if (n > 0 && fds[1].revents) {
      stopped = Clock::now();
      deadline = stopped + stopGrace;
      fds[1].revents = 0;
      continue;
    }
    if (n < 0 && errno != EINTR) return;  // no waiting possible: join as before
    if (n != 0) continue;
    const Clock::time_point progress = MURV::lastTeardownProgress();
    const Clock::time_point next = std::min(std::max(progress, stopped) + stopGrace, stopped + stopCeiling);
    if (next <= Clock::now()) break;
    deadline = next;
  }
  const Clock::time_point now = Clock::now(), progress = MURV::lastTeardownProgress();
  const auto tenths = std::chrono::duration_cast<std::chrono::milliseconds>(now - stopped).count() / 100;
  std::string within;
  if (now >= stopped + stopCeiling)
    within = std::to_string(stopCeiling.count()) + " s of the stop signal";
  else if (progress > stopped)
    within = std::to_string(stopGrace.count()) + " s of its teardown's last progress (" + std::to_string(tenths / 10) +
             "." + std::to_string(tenths % 10) + " s after the stop signal)";
  else
    within = std::to_string(stopGrace.count()) + " s of the stop signal";
  say("the network did not end within " + within + "; ending without destroying its nodes");
  std::fflush(nullptr);
  _exit(128 + stopSignal());
}

}  // namespace

int runWithStackFor(int chain, const std::function<int()>& body) {
  const std::size_t size = stackBase + static_cast<std::size_t>(chain < 0 ? 0 : chain) * stackPerNode;
  Job job{&body, {}, 0, eventfd(0, EFD_CLOEXEC)};
  // The network's thread takes the signals sent to the process but the
  // stop signals (which the signal thread takes: see RunStop.h), as the
  // first thread would without it; the thread that waits for the network
  // takes none.
  sigset_t all;
  sigfillset(&all);
  pthread_sigmask(SIG_SETMASK, &all, &job.mask);
  pthread_attr_t attr;
  pthread_t thread;
  int error = pthread_attr_init(&attr);
  if (!error) {
    error = pthread_attr_setstacksize(&attr, size);
    if (!error) error = pthread_create(&thread, &attr, runJob, &job);
    pthread_attr_destroy(&attr);
  }
  if (error) pthread_sigmask(SIG_SETMASK, &job.mask, nullptr);
  if (error) {
    if (job.done >= 0) close(job.done);
    if (chain <= shortChain) return body();
    throw std::runtime_error("cannot start the network's thread with a stack of " + std::to_string(size >> 20) +
                             " MiB for a chain of " + std::to_string(chain) + " nodes: " + std::strerror(error));
  }
  if (job.done >= 0) awaitOrEnd(job.done);
  pthread_join(thread, nullptr);
  // Closed once the thread that writes it has ended: a number closed
  // earlier could be given to another file before that write.
  if (job.done >= 0) close(job.done);
  pthread_sigmask(SIG_SETMASK, &job.mask, nullptr);
  return job.result;
}

}  // namespace murvrun
