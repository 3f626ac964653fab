#include "NetworkThread.h"

#include <pthread.h>
#include <signal.h>

#include <cstring>
#include <stdexcept>
#include <string>

namespace murvrun {

namespace {

struct Job {
  const std::function<int()>* body;
  sigset_t mask;  // the caller's signal mask, which the thread takes
  int result;
};

extern "C" void* runJob(void* arg) {
  Job* job = static_cast<Job*>(arg);
  pthread_sigmask(SIG_SETMASK, &job->mask, nullptr);
  job->result = (*job->body)();
  return nullptr;
}

}  // namespace

int runWithStackFor(int chain, const std::function<int()>& body) {
  const std::size_t size = stackBase + static_cast<std::size_t>(chain < 0 ? 0 : chain) * stackPerNode;
  Job job{&body, {}, 0};
  // The network's thread takes the signals sent to the process, as the
  // first thread would without it: a signal handler that wakes a waiting
  // node then runs to its end before the node's thread goes on, and the
  // thread that waits for the network takes none. The threads the nodes
  // start later come after it in the order the system tries.
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
    if (chain <= shortChain) return body();
    throw std::runtime_error("cannot start the network's thread with a stack of " + std::to_string(size >> 20) +
                             " MiB for a chain of " + std::to_string(chain) + " nodes: " + std::strerror(error));
  }
  pthread_join(thread, nullptr);
  pthread_sigmask(SIG_SETMASK, &job.mask, nullptr);
  return job.result;
}

}  // namespace murvrun
