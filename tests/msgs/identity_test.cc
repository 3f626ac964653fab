// Identity of every message type: datatype, MD5 sum, full definition text and
// has-header flag, as peers see them in the connection header.
#include <cstdio>
#include <map>
#include <sstream>
#include <string>

#include <boost/uuid/detail/md5.hpp>
#include <gtest/gtest.h>
#include <ros/message_traits.h>
#include <ros/service_traits.h>
#include <std_msgs/Int64.h>

#include "sample_msgs.h"

namespace {

struct Identity {
  std::string datatype;
  std::string md5;
  std::string definition;
  bool hasHeader;
};

template <class M>
Identity identityOf() {
  namespace mt = ros::message_traits;
  return {mt::datatype<M>(), mt::md5sum<M>(), mt::definition<M>(), mt::hasHeader<M>()};
}

struct Expected {
  const char* datatype;
  const char* md5;
  size_t definitionLength;  // 0: not pinned
  bool hasHeader;
  Identity actual;
};

TEST(MsgIdentity, EveryTypeCarriesItsIdentity) {
  using namespace murv_msgs;
  using namespace murv_params;
  const Expected table[] = {
      {"murv_msgs/MurvWave", "24c5654436a3ff03c563377fdbcc56a1", 913, true, identityOf<MurvWave>()},
      {"murv_msgs/MurvFFT", "8aab5c2ab0dcabc23cdf16e2742a6c6d", 903, true, identityOf<MurvFFT>()},
      {"murv_msgs/MurvFeature", "e61d4af0b817ab09bd341b909e7c1ed9", 920, true, identityOf<MurvFeature>()},
      {"murv_msgs/MurvSource", "967ad288a031a049b6e521f5e5c98ed7", 938, true, identityOf<MurvSource>()},
      {"murv_msgs/MurvSrcWave", "fe343f127b243f0d55a5041b50cff0b2", 1015, true, identityOf<MurvSrcWave>()},
      {"murv_msgs/MurvSrcFFT", "6b5eabf2db115daafd1929becc2a3f68", 1022, true, identityOf<MurvSrcFFT>()},
      {"murv_msgs/MurvSrcFeature", "8a71aa359a92ae8d4755f99e4e542879", 1021, true, identityOf<MurvSrcFeature>()},
      {"murv_msgs/MurvSrcFeatureMFM", "3c402b144d75021c458e937ef7944b34", 1135, true,
       identityOf<MurvSrcFeatureMFM>()},
      {"murv_msgs/MurvWaveVal", "6d4ffa9fffe078365bb941098c16cdfd", 0, false, identityOf<MurvWaveVal>()},
      {"murv_msgs/MurvFFTVal", "a7b9ef54d8fd113072a96e094d31eaff", 0, false, identityOf<MurvFFTVal>()},
      {"murv_msgs/MurvFeatureVal", "a91db0f9f140ce90dece0bff7d606075", 0, false, identityOf<MurvFeatureVal>()},
      {"murv_msgs/MurvSourceVal", "ee0b7cc36255925b0a96b74055ee462f", 0, false, identityOf<MurvSourceVal>()},
      {"murv_msgs/MurvSrcWaveVal", "f2410c61edbbd2c45ea6056e2fb13e62", 0, false, identityOf<MurvSrcWaveVal>()},
      {"murv_msgs/MurvSrcFFTVal", "94acf8949ad4989403dee204649029bc", 0, false, identityOf<MurvSrcFFTVal>()},
      {"murv_msgs/MurvSrcFeatureVal", "d113c763364c0f932a790285d83f9656", 0, false,
       identityOf<MurvSrcFeatureVal>()},
      {"murv_msgs/MurvSrcFeatureMFMVal", "127ac60e264e1ad6ade4a918cf7daa0e", 0, false,
       identityOf<MurvSrcFeatureMFMVal>()},
      {"murv_msgs/MurvInt", "34add168574510e6e17f5d23ecc077ef", 11, false, identityOf<MurvInt>()},
      // The sum that the recognition definitions yield (see the recomputation below).
      {"murv_msgs/MurvSorvex", "c975b84b6e4c22ac49963e5ca463cac8", 0, true, identityOf<MurvSorvex>()},
      {"murv_params/DiradureZIDID", "e153c85ee682045538315f87c1a9f5f0", 0, false, identityOf<DiradureZIDID>()},
      {"murv_params/SourceTracker", "0e5eca4812a7b46014118d0b366889e2", 0, false, identityOf<SourceTracker>()},
      {"murv_params/DODA", "d573ce11b1610cdf85e2c98f807f43dc", 0, false, identityOf<DODA>()},
  };
  for (const Expected& e : table) {
    SCOPED_TRACE(e.datatype);
    EXPECT_EQ(e.actual.datatype, e.datatype);
    EXPECT_EQ(e.actual.md5, e.md5);
    if (e.definitionLength) {
      EXPECT_EQ(e.actual.definition.size(), e.definitionLength);
    }
    EXPECT_EQ(e.actual.hasHeader, e.hasHeader);
  }
  EXPECT_EQ(identityOf<MurvInt>().definition, "int64 data\n");
  // Same text and sum as std_msgs/Int64, so either side may use either type.
  EXPECT_EQ(identityOf<MurvInt>().md5, ros::message_traits::md5sum<std_msgs::Int64>());
  EXPECT_EQ(SourceTracker::DEG, 0);
  EXPECT_EQ(SourceTracker::TFINDEX, 1);
}

TEST(MsgIdentity, ServiceRequestAndResponseCarryTheServiceSum) {
  namespace st = ros::service_traits;
  using murv_msgs::MurvIntSrv;
  using murv_msgs::MurvIntSrvRequest;
  using murv_msgs::MurvIntSrvResponse;
  const std::string sum = "d7cb842c6c7464a3fde72eceb28b3b81";
  EXPECT_EQ(st::datatype<MurvIntSrv>(), std::string("murv_msgs/MurvIntSrv"));
  EXPECT_EQ(st::md5sum<MurvIntSrv>(), sum);
  EXPECT_EQ(st::md5sum<MurvIntSrvRequest>(), sum);
  EXPECT_EQ(st::md5sum<MurvIntSrvResponse>(), sum);
  EXPECT_EQ(st::datatype<MurvIntSrvRequest>(), std::string("murv_msgs/MurvIntSrv"));
  EXPECT_EQ(identityOf<MurvIntSrvRequest>().datatype, "murv_msgs/MurvIntSrvRequest");
  EXPECT_EQ(identityOf<MurvIntSrvResponse>().datatype, "murv_msgs/MurvIntSrvResponse");
  EXPECT_FALSE(identityOf<MurvIntSrvRequest>().hasHeader);
  EXPECT_FALSE(identityOf<MurvIntSrvResponse>().hasHeader);
}

// ---- Recomputing the sums from the definition texts, by ROS 1's rule ----

std::string md5Hex(const std::string& text) {
  boost::uuids::detail::md5 hash;
  hash.process_bytes(text.data(), text.size());
  boost::uuids::detail::md5::digest_type digest;
  hash.get_digest(digest);
  std::string out;
  char buf[9];
  for (const auto& part : digest) {
    // Older Boost hands out four 32-bit words, newer sixteen bytes.
    if constexpr (sizeof(part) == 4) {
      std::snprintf(buf, sizeof buf, "%08x", static_cast<unsigned>(part));
    } else {
      std::snprintf(buf, sizeof buf, "%02x", static_cast<unsigned>(part));
    }
    out += buf;
  }
  return out;
}

bool isBuiltin(const std::string& type) {
  static const char* builtins[] = {"bool",   "byte",   "char",   "int8",    "uint8",   "int16",
                                   "uint16", "int32",  "uint32", "int64",   "uint64",  "float32",
                                   "float64", "string", "time",  "duration"};
  for (const char* b : builtins)
    if (type == b) return true;
  return false;
}

// The sections of a full definition text: the type's own text under "", and
// each used type's text under its datatype.
std::map<std::string, std::string> sections(const std::string& full) {
  const std::string sep = "\n" + std::string(80, '=') + "\nMSG: ";
  std::map<std::string, std::string> out;
  size_t pos = full.find(sep);
  out[""] = full.substr(0, pos == std::string::npos ? full.size() : pos + 1);
  while (pos != std::string::npos) {
    const size_t nameStart = pos + sep.size();
    const size_t nameEnd = full.find('\n', nameStart);
    const size_t next = full.find(sep, nameEnd);
    out[full.substr(nameStart, nameEnd - nameStart)] =
        full.substr(nameEnd + 1, (next == std::string::npos ? full.size() : next + 1) - nameEnd - 1);
    pos = next;
  }
  return out;
}

std::string trim(const std::string& s) {
  const size_t b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return "";
  return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

std::string md5Text(const std::map<std::string, std::string>& defs, const std::string& key, const std::string& pkg);

std::string md5Of(const std::map<std::string, std::string>& defs, const std::string& key, const std::string& pkg) {
  return md5Hex(md5Text(defs, key, pkg));
}

std::string md5Text(const std::map<std::string, std::string>& defs, const std::string& key, const std::string& pkg) {
  std::istringstream in(defs.at(key));
  std::string line, constants, fields;
  while (std::getline(in, line)) {
    line = trim(line.substr(0, line.find('#')));
    if (line.empty()) continue;
    const size_t space = line.find(' ');
    const std::string type = line.substr(0, space);
    const std::string rest = trim(line.substr(space + 1));
    const size_t eq = rest.find('=');
    if (eq != std::string::npos) {
      constants += type + " " + trim(rest.substr(0, eq)) + "=" + trim(rest.substr(eq + 1)) + "\n";
      continue;
    }
    const std::string base = type.substr(0, type.find('['));
    if (isBuiltin(base)) {
      fields += type + " " + rest + "\n";
    } else {
      std::string full = base == "Header" ? "std_msgs/Header" : base;
      if (full.find('/') == std::string::npos) full = pkg + "/" + full;
      fields += md5Of(defs, full, full.substr(0, full.find('/'))) + " " + rest + "\n";
    }
  }
  std::string text = constants + fields;
  if (!text.empty()) text.pop_back();
  return text;
}

template <class M>
std::string recomputed() {
  const std::string datatype = ros::message_traits::datatype<M>();
  return md5Of(sections(ros::message_traits::definition<M>()), "", datatype.substr(0, datatype.find('/')));
}

TEST(MsgIdentity, SumsFollowFromTheDefinitionTexts) {
  using namespace murv_msgs;
  using namespace murv_params;
  namespace mt = ros::message_traits;
  EXPECT_EQ(md5Hex("2176decaecbce78abc3b96ef049fabed header\nint32 count\nint32 nch\nint32 length\n"
                   "int32 data_bytes\n6d4ffa9fffe078365bb941098c16cdfd src"),
            mt::md5sum<MurvWave>());
  EXPECT_EQ(recomputed<MurvWave>(), mt::md5sum<MurvWave>());
  EXPECT_EQ(recomputed<MurvFFT>(), mt::md5sum<MurvFFT>());
  EXPECT_EQ(recomputed<MurvFeature>(), mt::md5sum<MurvFeature>());
  EXPECT_EQ(recomputed<MurvSource>(), mt::md5sum<MurvSource>());
  EXPECT_EQ(recomputed<MurvSrcWave>(), mt::md5sum<MurvSrcWave>());
  EXPECT_EQ(recomputed<MurvSrcFFT>(), mt::md5sum<MurvSrcFFT>());
  EXPECT_EQ(recomputed<MurvSrcFeature>(), mt::md5sum<MurvSrcFeature>());
  EXPECT_EQ(recomputed<MurvSrcFeatureMFM>(), mt::md5sum<MurvSrcFeatureMFM>());
  EXPECT_EQ(recomputed<MurvInt>(), mt::md5sum<MurvInt>());
  EXPECT_EQ(recomputed<MurvSorvex>(), mt::md5sum<MurvSorvex>());
  EXPECT_EQ(recomputed<MurvSorvexSrc>(), mt::md5sum<MurvSorvexSrc>());
  EXPECT_EQ(recomputed<MurvSorvexSrcVal>(), mt::md5sum<MurvSorvexSrcVal>());
  EXPECT_EQ(recomputed<DiradureZIDID>(), mt::md5sum<DiradureZIDID>());
  EXPECT_EQ(recomputed<SourceTracker>(), mt::md5sum<SourceTracker>());
  EXPECT_EQ(recomputed<DODA>(), mt::md5sum<DODA>());
  // A service's sum covers the request's text followed by the response's.
  const auto req = sections(mt::definition<MurvIntSrvRequest>());
  const auto res = sections(mt::definition<MurvIntSrvResponse>());
  EXPECT_EQ(md5Hex(md5Text(req, "", "murv_msgs") + md5Text(res, "", "murv_msgs")),
            ros::service_traits::md5sum<MurvIntSrv>());
}

TEST(MsgIdentity, FullTextIsOwnTextThenEachUsedTypeOnce) {
  const std::string full = ros::message_traits::definition<murv_msgs::MurvWave>();
  const std::string bar = std::string(80, '=');
  const std::string own =
      "Header header\nint32 count\nint32 nch\nint32 length\nint32 data_bytes\n"
      "MurvWaveVal[] src # Audio stream and source info for each source\n";
  ASSERT_EQ(full.compare(0, own.size(), own), 0);
  const size_t header = full.find("\n" + bar + "\nMSG: std_msgs/Header\n");
  const size_t element = full.find("\n" + bar + "\nMSG: murv_msgs/MurvWaveVal\n");
  EXPECT_EQ(header, own.size());
  ASSERT_NE(element, std::string::npos);
  EXPECT_LT(header, element);
  EXPECT_EQ(full.substr(element + 1 + bar.size() + 1), "MSG: murv_msgs/MurvWaveVal\nfloat32[] wavedata\n");
  EXPECT_EQ(full.find("MSG: std_msgs/Header", header + 1), header + 1 + bar.size() + 1);
  EXPECT_EQ(full.find("MSG: std_msgs/Header", header + bar.size() + 3), std::string::npos);
}

}  // namespace
