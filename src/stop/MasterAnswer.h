#ifndef MURV_MASTER_ANSWER_H
#define MURV_MASTER_ANSWER_H

// What an answer from the ROS master's address says: a master's, or what
// else answered there (see MasterCheck.h for the asking).

#include <string>

namespace murvmaster {

struct MasterAnswer {
  enum Kind {
    master,     // a ROS master answered
    notMaster,  // something answered, but not as a ROS master: text says what
    noAnswer,   // the connection failed at once (refused, say); roscpp's own
                // wait says so and retries. From readMasterAnswer(): the
                // answer was cut short, which is no answer either
    stopped,    // the wait was ended
  };
  Kind kind;
  std::string text;
};

// What an answer to method, getPid or lookupNode (an HTTP response, or
// whatever came back before the connection ended), says. A master answers
// status code 1, a status message and its pid; and to lookupNode the
// node's address, or status code -1 and an empty one for a node it does
// not know. Fewer bytes
// than its Content-Length, or a header that never ended, is an answer cut
// short: noAnswer. Without a Content-Length the answer is whatever came.
// What a notMaster answer's text quotes is shown as a terminal can take it,
// in at most 200 bytes.
MasterAnswer readMasterAnswer(const std::string& response, const std::string& method = "getPid");

// Whether response holds a whole HTTP answer: its header, and as much body
// as its Content-Length says (without one, the answer ends when the server
// closes the connection).
bool answerComplete(const std::string& response);

}  // namespace murvmaster

#endif
