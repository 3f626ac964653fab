// One speech-recognition result for one sound source, as the host sees it.
// It prints itself and clones deeply; it has no serialised or readable form,
// so writing one leaves nothing in a stream and reading one changes nothing.
#ifndef MURV_RECOG_SOURCE_H
#define MURV_RECOG_SOURCE_H

#include <iosfwd>
#include <string>
#include <vector>

#include "ObjectRef.h"

class RecogSource : public MURV::Object {
public:
  // One recognition entry: a plain value, copies included.
  struct tag_ASR_SRC {
    std::string entry_text;
    int entry_index = 0;
    std::string entry_subtext;
    float entry_value = 0.0f;
  };

  RecogSource() = default;
  ~RecogSource() override;

  void serialize(std::ostream& out) const override;
  void unserialize(std::istream& in) override;
  // "<Source ", then id, azimuth, elevation and status one per line, then ">".
  void printOn(std::ostream& out) const override;
  void readFrom(std::istream& in) override;
  MURV::ObjectRef clone() override;

  int id = 0;
  float azimuth = 0.0f;
  float elevation = 0.0f;
  int aux1 = 0;
  int aux2 = 0;
  int aux3 = 0;
  int aux4 = 0;
  int status = 0;
  std::vector<tag_ASR_SRC> entries;
};

#endif
