#include "MasterAnswer.h"

#include "PrintableText.h"

#include <xmlrpcpp/XmlRpcUtil.h>
#include <xmlrpcpp/XmlRpcValue.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <sstream>

namespace murvmaster {

namespace {

// What answered, on one line that a terminal shows as it is: a peer's text
// may hold controls, reordering characters or a UTF-8 character that a cut
// would split.
MasterAnswer notMaster(const std::string& what) {
  const size_t end = what.find_last_not_of(" \t\r\n");
  if (end == std::string::npos) return {MasterAnswer::notMaster, "an empty answer"};
  return {MasterAnswer::notMaster, murvtext::printable(what.substr(0, end + 1), 200)};
}

// Whether response holds its whole header, and whether its Content-Length is given.
bool complete(const std::string& response, bool* lengthGiven) {
  if (lengthGiven) *lengthGiven = false;
  const size_t headerEnd = response.find("\r\n\r\n");
  if (headerEnd == std::string::npos) return false;
  std::string header = response.substr(0, headerEnd);
  for (char& c : header) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const size_t length = header.find("\ncontent-length:");
  if (length == std::string::npos) return false;
  if (lengthGiven) *lengthGiven = true;
  return response.size() - headerEnd - 4 >= std::strtoul(header.c_str() + length + 16, nullptr, 10);
}

// Whether response, as it stood when the connection ended, is an answer cut
// short: an HTTP header that never ended, or less body than it announced.
bool cutShort(const std::string& response) {
  const std::string http = "HTTP/";
  const size_t n = std::min(response.size(), http.size());
  if (n == 0 || response.compare(0, n, http, 0, n) != 0) return false;
  if (response.find("\r\n\r\n") == std::string::npos) return true;
  bool lengthGiven = false;
  return !complete(response, &lengthGiven) && lengthGiven;
}

// A master's answer carries a value of type wanted after its status, 1, or
// -1 too where unknown is.
MasterAnswer readAnswer(const std::string& response, XmlRpc::XmlRpcValue::Type wanted, bool unknown) {
  if (cutShort(response)) return {MasterAnswer::noAnswer, ""};
  const size_t lineEnd = response.find("\r\n");
  const std::string statusLine = response.substr(0, lineEnd);
  std::istringstream status(statusLine);
  std::string version;
  int code = 0;
  if (!(status >> version >> code) || version.compare(0, 5, "HTTP/") != 0) return notMaster(response);
  if (code != 200) return notMaster(statusLine);
  const size_t headerEnd = response.find("\r\n\r\n");
  const std::string body = headerEnd == std::string::npos ? "" : response.substr(headerEnd + 4);
  const MasterAnswer notXmlRpc = notMaster(statusLine + " " + body);
  int offset = 0;
  if (!XmlRpc::XmlRpcUtil::findTag("<methodResponse>", body, &offset)) return notXmlRpc;
  XmlRpc::XmlRpcValue value;
  std::ostringstream answer;
  if (XmlRpc::XmlRpcUtil::nextTagIs("<fault>", body, &offset)) {
    if (!value.fromXml(body, &offset) || value.getType() != XmlRpc::XmlRpcValue::TypeStruct ||
        !value.hasMember("faultCode") || !value.hasMember("faultString"))
      return notXmlRpc;
    answer << "fault " << value["faultCode"] << " \"" << value["faultString"] << "\"";
    return notMaster(answer.str());
  }
  if (!XmlRpc::XmlRpcUtil::nextTagIs("<params>", body, &offset) ||
      !XmlRpc::XmlRpcUtil::nextTagIs("<param>", body, &offset) || !value.fromXml(body, &offset))
    return notXmlRpc;
  // A master's answer: status code 1, a status message and the value, as
  // roscpp wants it.
  if (value.getType() == XmlRpc::XmlRpcValue::TypeArray && value.size() == 3 &&
      value[0].getType() == XmlRpc::XmlRpcValue::TypeInt &&
      (static_cast<int>(value[0]) == 1 || (unknown && static_cast<int>(value[0]) == -1)) &&
      value[2].getType() == wanted)
    return {MasterAnswer::master, ""};
  answer << value;
  return notMaster(answer.str());
}

}  // namespace

bool answerComplete(const std::string& response) { return complete(response, nullptr); }

MasterAnswer readMasterAnswer(const std::string& response, const std::string& method) {
  const bool lookup = method == "lookupNode";
  return readAnswer(response, lookup ? XmlRpc::XmlRpcValue::TypeString : XmlRpc::XmlRpcValue::TypeInt, lookup);
}

}  // namespace murvmaster
