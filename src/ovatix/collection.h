// Series descriptions read from a collection file.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace Ovatix {

struct SeriesParams {
  std::string wavFile;
  float proportion = 0.5f;
  float proportionSpread = 0.5f;
  float pitchSpread = 0.3f;
  float ahead = 0.1f;
  float aheadSpread = 0.5f;
  float volumeReducing = 0.5f;
  float volumeReducingSpread = 0.3f;
  int32_t number = 3;
  int32_t numberSpread = 0;
  int32_t midiSynch = 0;
};

class Collection {
 public:
  // Replaces the content by the series of the file; false (and empty) when it cannot be read.
  bool Read(const std::string& path);
  // Same from text already in memory.
  void ReadText(std::string_view text);
  const SeriesParams& Find(const std::string& name) const;
  bool Contains(const std::string& name) const { return series_.count(name) != 0; }
  void Clear() { series_.clear(); }
  std::vector<std::string> Names() const;
  const std::map<std::string, SeriesParams>& Series() const { return series_; }

 private:
  std::map<std::string, SeriesParams> series_;
};

// The file-name part of a path written with "/" or "\\" separators or a drive colon.
std::string FileNamePart(const std::string& path);

}  // namespace Ovatix
