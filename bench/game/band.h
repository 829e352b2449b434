// A program folder for the game benchmarks built from the shipped data: the shipped config and
// styles, and a band of thirteen artists made from the shipped artists (twelve players taking
// patches 1-12, each General MIDI program mapped to all of them, on twelve stage cells, and the
// drummer), so that a song with a dozen instruments fills the stage. The artists' images are the
// shipped ones, linked, not copied. Removed with the object.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

namespace BenchBand {

inline std::string ReadText(const std::filesystem::path& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class Folder {
 public:
  Folder() {
    char name[] = "/tmp/tavro-bench-XXXXXX";
    root = ::mkdtemp(name) != nullptr ? name : "";
    if (root.empty()) {
      return;
    }
    const std::filesystem::path data = TAVRO_SOURCE_DIR "/data";
    std::filesystem::copy(data / "config", root / "config");
    std::filesystem::create_directory_symlink(data / "styles", root / "styles");
    std::filesystem::create_directories(root / "artists");
    for (const auto& entry : std::filesystem::directory_iterator(data / "artists")) {
      if (entry.is_directory()) {
        std::filesystem::create_directory_symlink(entry.path(),
                                                  root / "artists" / entry.path().filename());
      }
    }
    const char* const players[] = {"pianist",         "keyboardist",  "singer",
                                   "bassist",         "upright_bass", "lead_guitar",
                                   "acoustic_guitar", "rhythm_guitar"};
    std::string index = "<profile><artists>\n<include file=\"drummer.xml\"/>\n";
    for (int i = 0; i < 12; ++i) {
      std::string xml = ReadText(data / "artists" / (std::string(players[i % 8]) + ".xml"));
      xml = std::regex_replace(xml, std::regex(" patch=\"[^\"]*\""),
                               " patch=\"" + std::to_string(i + 1) + "\"");
      // Twelve of the sixteen cells, leaving the drummer's.
      const int cell = i < 5 ? i : i + 1;
      xml = std::regex_replace(
          xml, std::regex(" place=\"[^\"]*\""),
          " place=\"" + std::to_string(cell % 4 + 1) + "," + std::to_string(cell / 4 + 1) + "\"");
      xml = std::regex_replace(xml, std::regex(" range=\"[^\"]*\""), "");
      const std::string file = "player" + std::to_string(i + 1) + ".xml";
      std::ofstream(root / "artists" / file) << xml;
      index += "<include file=\"" + file + "\"/>\n";
    }
    std::filesystem::copy_file(data / "artists" / "drummer.xml", root / "artists" / "drummer.xml");
    std::ofstream(root / "artists" / "artists.xml") << index << "</artists></profile>\n";
    std::string map = "<profile><patchmap><melodic>\n";
    for (int program = 0; program < 128; ++program) {
      map += "<m in=\"" + std::to_string(program) + "\" map=\"1,2,3,4,5,6,7,8,9,10,11,12\" n=\"" +
             std::to_string(program) + "\"/>\n";
    }
    std::ofstream(root / "artists" / "patchmap.xml") << map << "</melodic></patchmap></profile>\n";
  }
  ~Folder() {
    std::error_code ignored;
    if (!root.empty()) {
      std::filesystem::remove_all(root, ignored);
    }
  }
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;

  std::string Root() const { return root.string(); }

 private:
  std::filesystem::path root;
};

}  // namespace BenchBand
