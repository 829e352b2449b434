#include "ovatix/collection.h"

#include "ovatix/error.h"
#include "ovatix/ini_file.h"

namespace Ovatix {

namespace {

void ReadSections(const IniFile& ini, std::map<std::string, SeriesParams>& series) {
  for (const std::string& name : ini.Sections()) {
    SeriesParams& p = series[name];
    const SeriesParams d;
    p.wavFile = ini.Get(name, "WavFile").value_or(d.wavFile);
    p.proportion = ini.GetReal(name, "Proportion", d.proportion);
    p.proportionSpread = ini.GetReal(name, "ProportionRND", d.proportionSpread);
    p.pitchSpread = ini.GetReal(name, "PitchRND", d.pitchSpread);
    p.ahead = ini.GetReal(name, "Ahead", d.ahead);
    p.aheadSpread = ini.GetReal(name, "AheadRND", d.aheadSpread);
    p.volumeReducing = ini.GetReal(name, "VolumeReducing", d.volumeReducing);
    p.volumeReducingSpread = ini.GetReal(name, "VolumeReducingRND", d.volumeReducingSpread);
    p.number = ini.GetInt(name, "Number", d.number);
    p.numberSpread = ini.GetInt(name, "NumberRND", d.numberSpread);
    p.midiSynch = ini.GetInt(name, "MIDISynch", d.midiSynch);
  }
}

}  // namespace

bool Collection::Read(const std::string& path) {
  series_.clear();
  IniFile ini;
  if (!ini.Load(path)) {
    return false;
  }
  ReadSections(ini, series_);
  return true;
}

void Collection::ReadText(std::string_view text) {
  series_.clear();
  IniFile ini;
  ini.Parse(text);
  ReadSections(ini, series_);
}

const SeriesParams& Collection::Find(const std::string& name) const {
  auto it = series_.find(name);
  if (it == series_.end()) {
    throw Error("Series with name '" + name + "' not found in collection!");
  }
  return it->second;
}

std::vector<std::string> Collection::Names() const {
  std::vector<std::string> names;
  for (const auto& entry : series_) {
    names.push_back(entry.first);
  }
  return names;
}

std::string FileNamePart(const std::string& path) {
  const size_t cut = path.find_last_of("/\\:");
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

}  // namespace Ovatix
