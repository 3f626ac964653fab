// A toolbox for the signal tests that holds the network runner where a test
// wants it, so that a signal comes at a known step. Loaded while
// MURV_TEST_LOAD_GATE names a FIFO, it waits at load time until a byte
// comes through that FIFO; its node type Gate waits the same way, on the
// FIFO its parameter PATH names, while it is made. A test knows the runner
// is at the gate once the FIFO has a reader.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <utility>

#include "Node.h"
#include "String.h"
#include "net_types.h"

namespace {

void waitAtGate(const char* path) {
  int fd;
  while ((fd = open(path, O_RDONLY | O_CLOEXEC)) < 0 && errno == EINTR) {
  }
  if (fd < 0) return;
  char c;
  while (read(fd, &c, 1) < 0 && errno == EINTR) {
  }
  close(fd);
}

class Gate : public MURV::Node {
public:
  Gate(std::string name, MURV::ParameterSet params) : MURV::Node(std::move(name), params) {
    waitAtGate(MURV::object_cast<MURV::String>(parameters.get("PATH")).c_str());
  }
  MURV::ObjectRef getOutput(int, int) override { return MURV::ObjectRef(); }
};

struct GateRegistration {
  GateRegistration() {
    if (const char* path = std::getenv("MURV_TEST_LOAD_GATE")) waitAtGate(path);
    MURV::Node::addFactory("Gate", new MURV::NodeFactory<Gate>("Gate"));
  }
};

const GateRegistration registration;

}  // namespace
