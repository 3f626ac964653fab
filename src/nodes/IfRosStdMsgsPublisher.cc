#include "IfRosStdMsgsPublisher.h"

#include <utility>

IfRosStdMsgsPublisher::IfRosStdMsgsPublisher(std::string nodeName, MURV::ParameterSet params)
    : RosStdMsgsPublisher(std::move(nodeName), std::move(params), Variant{true, "src/IfRosStdMsgsPublisher", 831}) {}
