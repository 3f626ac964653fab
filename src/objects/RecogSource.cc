#include "RecogSource.h"

#include <ostream>

RecogSource::~RecogSource() {}

void RecogSource::serialize(std::ostream&) const {}

void RecogSource::unserialize(std::istream&) {}

void RecogSource::printOn(std::ostream& out) const {
  out << "<Source " << std::endl;
  out << "<id " << id << " >" << std::endl;
  out << "<azimuth " << static_cast<double>(azimuth) << " >" << std::endl;
  out << "<elevation " << static_cast<double>(elevation) << " >" << std::endl;
  out << "<status " << status << " >" << std::endl;
  out << ">" << std::endl;
}

void RecogSource::readFrom(std::istream&) {}

// Member-wise copy: the entries and their strings are the clone's own.
MURV::ObjectRef RecogSource::clone() { return MURV::ObjectRef(new RecogSource(*this)); }
