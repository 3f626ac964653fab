#include "NetworkThread.h"

#include <pthread.h>

#include <cstring>
#include <stdexcept>
#include <string>

namespace murvrun {

namespace {

struct Job {
  const std::function<int()>* body;
  int result;
};

extern "C" void* runJob(void* arg) {
  Job* job = static_cast<Job*>(arg);
  job->result = (*job->body)();
  return nullptr;
}

}  // namespace

int runWithStackFor(int chain, const std::function<int()>& body) {
  const std::size_t size = stackBase + static_cast<std::size_t>(chain < 0 ? 0 : chain) * stackPerNode;
  Job job{&body, 0};
  pthread_attr_t attr;
  pthread_t thread;
  int error = pthread_attr_init(&attr);
  if (!error) {
    error = pthread_attr_setstacksize(&attr, size);
    if (!error) error = pthread_create(&thread, &attr, runJob, &job);
    pthread_attr_destroy(&attr);
  }
  if (error) {
    if (chain <= shortChain) return body();
    throw std::runtime_error("cannot start the network's thread with a stack of " + std::to_string(size >> 20) +
                             " MiB for a chain of " + std::to_string(chain) + " nodes: " + std::strerror(error));
  }
  pthread_join(thread, nullptr);
  return job.result;
}

}  // namespace murvrun
