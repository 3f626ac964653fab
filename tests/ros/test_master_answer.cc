// What a getPid or lookupNode answer at the master's address says: a ROS
// master, or something else, named in one line of at most 200 bytes that a
// terminal shows as it is; an answer cut short when the connection ended is
// no answer.
#include <gtest/gtest.h>

#include "stop/MasterAnswer.h"

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
  auto masterAnswer = [](const std::string& value) {
    return response("<params><param><value><array><data><value><int>1</int></value><value><string></string>"
                    "</value><value>" + value + "</value></data></array></value></param></params>");
  };
  const std::string answered = masterAnswer("<int>4242</int>"), uri = masterAnswer("http://127.0.0.1:11311/");
  const std::string unknown =
      response("<params><param><value><array><data><value><int>-1</int></value><value>unknown node [/a]</value>"
               "<value><string></string></value></data></array></value></param></params>");
  const struct {
    const char* tag;
    std::string response;
    MasterAnswer::Kind kind;
    std::string text;
    const char* method = "getPid";
  } rows[] = {
      {"master", answered, MasterAnswer::master, ""},
      {"node known", uri, MasterAnswer::master, "", "lookupNode"},
      {"node unknown", unknown, MasterAnswer::master, "", "lookupNode"},
      {"unknown is no pid", unknown, MasterAnswer::notMaster, "{-1,unknown node [/a],}"},
      {"pid for the address", answered, MasterAnswer::notMaster, "{1,,4242}", "lookupNode"},
      {"fault", response(fault), MasterAnswer::notMaster, "fault 1 \"no such method getPid\""},
      {"error code",
       response("<params><param><value><array><data><value><int>-1</int></value><value>no</value>"
                "<value><int>0</int></value></data></array></value></param></params>"),
       MasterAnswer::notMaster, "{-1,no,0}"},
      {"http only", http("501 Unsupported method ('POST')", "<html>\n</html>\n"), MasterAnswer::notMaster,
       "HTTP/1.0 501 Unsupported method ('POST')"},
      {"not xml-rpc", http("200 OK", "<html>\n</html>\n"), MasterAnswer::notMaster,
       "HTTP/1.0 200 OK <html>\\n</html>"},
      {"not http", "SSH-2.0-OpenSSH_8.9\r\nProtocol mismatch.\n", MasterAnswer::notMaster,
       "SSH-2.0-OpenSSH_8.9\\r\\nProtocol mismatch."},
      {"terminal controls", "\x1b[2J\xe2\x80\xae", MasterAnswer::notMaster, "\\x1b[2J\\u{202e}"},
      {"cut before a character", std::string(199, 'x') + "\xc3\xa9\xc3\xa9", MasterAnswer::notMaster,
       std::string(199, 'x') + "\xc3\xa9..."},
      {"long", std::string(300, 'x'), MasterAnswer::notMaster, std::string(200, 'x') + "..."},
      {"cut in the body", answered.substr(0, answered.size() - 10), MasterAnswer::noAnswer, ""},
      {"cut in the header", "HTTP/1.0 200 OK\r\nContent-Type: text/xml\r\n", MasterAnswer::noAnswer, ""},
      {"cut in the status line", "HTT", MasterAnswer::noAnswer, ""},
      {"no length: ends at the close", "HTTP/1.0 200 OK\r\n\r\n<html>", MasterAnswer::notMaster,
       "HTTP/1.0 200 OK <html>"},
      {"empty", "", MasterAnswer::notMaster, "an empty answer"},
  };
  for (const auto& r : rows) {
    const MasterAnswer a = readMasterAnswer(r.response, r.method);
    EXPECT_EQ(a.kind, r.kind) << r.tag;
    EXPECT_EQ(a.text, r.text) << r.tag;
  }
}
