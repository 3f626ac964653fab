// What a getPid answer at the master's address says: a ROS master, or
// something else, named in one line of at most 200 characters; an answer
// cut short when the connection ended is no answer.
#include <gtest/gtest.h>

#include "MasterAnswer.h"

using murvmaster::MasterAnswer;
using murvmaster::readMasterAnswer;

namespace {

std::string http(const std::string& status, const std::string& body) {
  return "HTTP/1.0 " + status + "\r\nContent-Type: text/xml\r\nContent-Length: " + std::to_string(body.size()) +
         "\r\n\r\n" + body;
}

std::string response(const std::string& inside) {
  return http("200 OK", "<?xml version='1.0'?>\n<methodResponse>\n" + inside + "\n</methodResponse>\n");
}

}  // namespace

TEST(MasterAnswer, OnlyAMasterAnswerIsAMaster) {
  const std::string fault =
      "<fault><value><struct><member><name>faultCode</name><value><int>1</int></value></member><member><name>"
      "faultString</name><value><string>no such method getPid</string></value></member></struct></value></fault>";
  const std::string answered =
      response("<params><param><value><array><data><value><int>1</int></value><value><string></string></value>"
               "<value><int>4242</int></value></data></array></value></param></params>");
  const struct {
    const char* tag;
    std::string response;
    MasterAnswer::Kind kind;
    std::string text;
  } rows[] = {
      {"master", answered, MasterAnswer::master, ""},
      {"fault", response(fault), MasterAnswer::notMaster, "fault 1 \"no such method getPid\""},
      {"error code",
       response("<params><param><value><array><data><value><int>-1</int></value><value>no</value>"
                "<value><int>0</int></value></data></array></value></param></params>"),
       MasterAnswer::notMaster, "{-1,no,0}"},
      {"http only", http("501 Unsupported method ('POST')", "<html>\n</html>\n"), MasterAnswer::notMaster,
       "HTTP/1.0 501 Unsupported method ('POST')"},
      {"not xml-rpc", http("200 OK", "<html>\n</html>\n"), MasterAnswer::notMaster, "HTTP/1.0 200 OK <html> </html>"},
      {"not http", "SSH-2.0-OpenSSH_8.9\r\nProtocol mismatch.\n", MasterAnswer::notMaster,
       "SSH-2.0-OpenSSH_8.9  Protocol mismatch."},
      {"long", std::string(300, 'x'), MasterAnswer::notMaster, std::string(200, 'x') + "..."},
      {"cut in the body", answered.substr(0, answered.size() - 10), MasterAnswer::noAnswer, ""},
      {"cut in the header", "HTTP/1.0 200 OK\r\nContent-Type: text/xml\r\n", MasterAnswer::noAnswer, ""},
      {"cut in the status line", "HTT", MasterAnswer::noAnswer, ""},
      {"no length: ends at the close", "HTTP/1.0 200 OK\r\n\r\n<html>", MasterAnswer::notMaster,
       "HTTP/1.0 200 OK <html>"},
      {"empty", "", MasterAnswer::notMaster, "an empty answer"},
  };
  for (const auto& r : rows) {
    const MasterAnswer a = readMasterAnswer(r.response);
    EXPECT_EQ(a.kind, r.kind) << r.tag;
    EXPECT_EQ(a.text, r.text) << r.tag;
  }
}
