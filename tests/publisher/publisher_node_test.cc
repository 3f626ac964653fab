// RosMurvMsgsPublisher as the host builds it, before any ROS is involved:
// parameters, ports and what it refuses.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <limits>

#include "PublisherTestSupport.h"
#include "nodes/RosNodeGenerator.h"

using namespace pubtest;

namespace {

std::unique_ptr<MURV::BaseException> constructionFailure(const MURV::ParameterSet& params) {
  return hostExceptionOf([&] {
    std::string out = stdoutOf([&] { makePublisher("pub", params)->unref(); });
    ADD_FAILURE() << "constructed: " << out;
  });
}

MURV::NodeException* asNodeException(const std::unique_ptr<MURV::BaseException>& e) {
  return dynamic_cast<MURV::NodeException*>(e.get());
}

}  // namespace

TEST(RosMurvMsgsPublisherNode, ConstructsFromItsParametersWithOneOutput) {
  MURV::Node* node = nullptr;
  std::string out = stdoutOf([&] { node = makePublisher("publisher_1", publisherParams("t")); });
  NodeRef pub(node);
  EXPECT_EQ(out, "publisher_1 constructor end...\n");
  EXPECT_EQ(pub->getOutputNames(), std::vector<std::string>{"OUTPUT"});
  EXPECT_TRUE(pub->getInputs().empty()) << "inputs exist only once connected";

  // A parameter of another type is that cast's error; a missing one names it.
  MURV::ParameterSet p = publisherParams("t");
  p.add("ADVANCE", ObjectRef(new MURV::NetCType<float>(3.0f)));
  EXPECT_EQ(textOf(constructionFailure(p)),
            "Cast error: Trying to cast ObjectRef (N4MURV8NetCTypeIfEE) into i\n");
  p = publisherParams("t");
  p.add("TOPIC_NAME_MURVSRCFFT", ObjectRef(new MURV::NetCType<int>(1)));
  EXPECT_NE(dynamic_cast<MURV::CastException<MURV::String>*>(constructionFailure(p).get()), nullptr);
  p = publisherParams("t");
  p.add("ROS_LOOP_RATE", ObjectRef(new MURV::NetCType<int>(10)));
  EXPECT_NE(dynamic_cast<MURV::CastException<float>*>(constructionFailure(p).get()), nullptr);
  p = publisherParams("t");
  p.erase("SAMPLING_RATE");
  EXPECT_NE(textOf(constructionFailure(p)).find("SAMPLING_RATE"), std::string::npos);
}

TEST(RosMurvMsgsPublisherNode, RefusesRatesItCannotUse) {
  const float rates[] = {0.0f, -1.0f, std::numeric_limits<float>::quiet_NaN(),
                         std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity()};
  for (float rate : rates) {
    MURV::ParameterSet p = publisherParams("t");
    p.add("ROS_LOOP_RATE", ObjectRef(new MURV::NetCType<float>(rate)));
    auto e = constructionFailure(p);
    ASSERT_NE(asNodeException(e), nullptr) << rate << ": " << textOf(e);
    EXPECT_EQ(asNodeException(e)->file, "RosMurvMsgsPublisher");
    EXPECT_EQ(asNodeException(e)->nodeName, "pub");
    EXPECT_EQ(asNodeException(e)->message.rfind("ROS_LOOP_RATE", 0), 0u) << textOf(e);
  }

  // The sampling rate divides the stamps' period only for CONSTANT_INCREMENT.
  for (int rate : {0, -16000}) {
    MURV::ParameterSet p = publisherParams("t");
    p.add("TIMESTAMP_TYPE", ObjectRef(new MURV::String("CONSTANT_INCREMENT")));
    p.add("SAMPLING_RATE", ObjectRef(new MURV::NetCType<int>(rate)));
    auto e = constructionFailure(p);
    ASSERT_NE(asNodeException(e), nullptr) << textOf(e);
    EXPECT_EQ(asNodeException(e)->message.rfind("SAMPLING_RATE", 0), 0u) << textOf(e);

    p.add("TIMESTAMP_TYPE", ObjectRef(new MURV::String("ROS_TIME_NOW")));
    std::string out = stdoutOf([&] { makePublisher("pub", p)->unref(); });
    EXPECT_EQ(out, "pub constructor end...\n");
  }

  // A negative ADVANCE matters only to source waves, which refuse it.
  MURV::ParameterSet p = publisherParams("t");
  p.add("ADVANCE", ObjectRef(new MURV::NetCType<int>(-1)));
  EXPECT_EQ(stdoutOf([&] { makePublisher("pub", p)->unref(); }), "pub constructor end...\n");
}

TEST(RosMurvMsgsPublisherNode, AddsExactlyItsEightInputsWhenConnected) {
  MURV::Node* node = nullptr;
  stdoutOf([&] { node = makePublisher("pub", publisherParams("t")); });
  NodeRef pub(node);
  NodeRef feed(new Feed("feed", [](int) { return floats({}); }));

  // Connected in an order of their own: ids follow the connections.
  const char* ports[] = {"TIMESTAMP", "SRC_RELIABILITY", "MIC_WAVE", "SRC_FEATURE",
                         "SRC_INFO",  "MIC_FFT",         "SRC_FFT",  "SRC_WAVE"};
  for (int i = 0; i < 8; ++i) {
    pub->connectToNode(ports[i], feed.node, "OUTPUT");
    ASSERT_EQ(pub->getInputs().size(), static_cast<size_t>(i + 1));
    EXPECT_EQ(pub->getInputs()[i].name, ports[i]);
    EXPECT_EQ(pub->getInputs()[i].node, feed.node);
  }

  for (std::string bad : {"mic_wave", "MIC_WAVE ", "OUTPUT", "SRC_FEATURES", ""}) {
    auto e = hostExceptionOf([&] { pub->translateInput(bad); });
    MURV::NodeException* ne = asNodeException(e);
    ASSERT_NE(ne, nullptr) << textOf(e);
    EXPECT_EQ(ne->message, bad + " is not supported.");
    EXPECT_EQ(ne->file, "RosMurvMsgsPublisher");
    EXPECT_EQ(ne->line, 336);
    EXPECT_EQ(ne->node, pub.node);
  }
  EXPECT_EQ(pub->getInputs().size(), 8u) << "a refused port is not added";
}

TEST(RosMurvMsgsPublisherNode, UnknownPortThroughTheNetworkRunner) {
  std::string net = std::string(MURV_BINARY_DIR) + "/publisher-bad-port.net";
  std::ofstream file(net);
  file << "node a RosMurvMsgsPublisher\n"
          "node b RosMurvMsgsPublisher\n";
  for (const char* node : {"a", "b"}) {
    file << "param " << node << " ADVANCE int 160\nparam " << node << " ENABLE_DEBUG bool false\n";
    for (const char* t : {"WAVE", "FFT", "FEATURE", "SOURCE", "SRCWAVE", "SRCFFT", "SRCFEATURE", "SRCFEATUREMFM"})
      file << "param " << node << " TOPIC_NAME_MURV" << t << " string " << node << "_" << t << "\n";
    file << "param " << node << " BUFFER_NUM int 10\nparam " << node << " ROS_LOOP_RATE float 100\n"
         << "param " << node << " ROS_FRAME_ID string mic\nparam " << node << " TIMESTAMP_TYPE string ROS_TIME_NOW\n"
         << "param " << node << " SAMPLING_RATE int 16000\n";
  }
  file << "connect a MIC_SPECTRUM b OUTPUT\n";
  file.close();
  std::string command = std::string(MURV_RUNNER_PATH) + " --toolbox " + MURV_TOOLBOX_PATH + " " + net + " 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string output;
  char buf[512];
  size_t n;
  while ((n = fread(buf, 1, sizeof(buf), pipe)) > 0) output.append(buf, n);
  int status = pclose(pipe);
  EXPECT_EQ(WEXITSTATUS(status), 2) << output;
  EXPECT_NE(output.find("publisher-bad-port.net:33: node a (RosMurvMsgsPublisher): input MIC_SPECTRUM: "
                        "RosMurvMsgsPublisher, line 336: Node a: MIC_SPECTRUM is not supported."),
            std::string::npos)
      << output;
}

TEST(RosMurvMsgsPublisherNode, NeedsARosConnectionAndBuffersBeforeRunning) {
  MURV::Node* node = nullptr;
  stdoutOf([&] { node = makePublisher("pub", publisherParams("t")); });
  NodeRef pub(node);
  NodeRef feed(new Feed("feed", [](int) { return timeStamp(1, 0); }));
  pub->connectToNode("TIMESTAMP", feed.node, "OUTPUT");

  // Asked before initialize(): no buffer to fill yet.
  auto e = hostExceptionOf([&] { pub->getOutput(0, 0); });
  ASSERT_NE(asNodeException(e), nullptr) << textOf(e);
  EXPECT_EQ(asNodeException(e)->message, "Output requested before the node was initialized");
  e = hostExceptionOf([&] { pub->getOutput(1, 0); });
  ASSERT_NE(asNodeException(e), nullptr) << textOf(e);
  EXPECT_EQ(asNodeException(e)->message, "Unknown output id 1");
  EXPECT_TRUE(static_cast<Feed*>(feed.node)->asked.empty()) << "nothing was calculated";

  // Even a node that publishes nothing paces itself on the ROS clock.
  ASSERT_EQ(__MasterRosNodeHandler__, nullptr);
  std::string out;
  e = hostExceptionOf([&] { out = stdoutOf([&] { pub->initialize(); }); });
  ASSERT_NE(asNodeException(e), nullptr) << textOf(e);
  EXPECT_EQ(asNodeException(e)->file, "RosMurvMsgsPublisher");
  EXPECT_EQ(asNodeException(e)->message.rfind("No ROS connection", 0), 0u) << textOf(e);
  EXPECT_FALSE(pub->isInitialized());
}
