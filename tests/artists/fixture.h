// A throw-away program directory with "config/" and "artists/": a patch map, an artist index and
// small artists whose images are tiny PNG sequences. Every image's colour says which artist, set
// kind and image it is, so that rendered frames can be checked pixel by pixel.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "common/temp_dir.h"
#include "gfx/image.h"

namespace Fixture {

constexpr int kSpriteWidth = 8;
constexpr int kSpriteHeight = 10;

// The colour of image `index` of set `kind` of artist `id`.
constexpr uint32_t SetColour(int id, int kind, int index) {
  return Vell::Gfx::Argb(255, static_cast<uint32_t>(id * 40), static_cast<uint32_t>(kind * 18),
                         static_cast<uint32_t>(index * 20));
}
// The colour of the opaque corner of an artist's body sprite.
constexpr uint32_t BodyColour(int id) {
  return Vell::Gfx::Argb(255, 250, 250, static_cast<uint32_t>(id * 40));
}

struct SetDef {
  std::string element;  // "slr" ... "crb"
  int kind = 0;
  int frames = 4;
  std::string attributes;  // e.g. velocity="8"
};

struct ArtistDef {
  std::string file;
  int id = 1;
  std::string name;
  std::string patch;
  std::string type = "M";
  std::string place = "1,1";
  std::string extra;  // further attributes of the artist element
  std::string animation = "SLen=\"4\" RLen=\"4\" SPos=\"2\" RPos=\"2\"";
  std::vector<SetDef> sets;
  bool body = true;
};

// All thirteen sets: walking sets at 8 pixels per frame, arrivals and departures of 5 images,
// playing and rest sets of 4, joins of 3.
inline std::vector<SetDef> AllSets(const std::string& walkAttributes = "velocity=\"8\"") {
  return {{"slr", 1, 4, walkAttributes},
          {"srl", 2, 4, walkAttributes},
          {"lta", 3, 5, ""},
          {"rta", 4, 5, ""},
          {"atl", 5, 5, ""},
          {"atr", 6, 5, ""},
          {"csa", 7, 4, ""},
          {"cra", 8, 4, ""},
          {"cfa", 9, 4, ""},
          {"jab", 10, 3, ""},
          {"jba", 11, 3, ""},
          {"csb", 12, 4, ""},
          {"crb", 13, 4, ""}};
}

class Program {
 public:
  Program() {
    std::filesystem::create_directories(dir.path / "artists");
    std::filesystem::create_directories(dir.path / "config");
  }

  std::string Root() const { return dir.path.string(); }
  std::string Path(const std::string& relative) const { return (dir.path / relative).string(); }

  void WriteText(const std::string& relative, const std::string& text) const {
    std::ofstream out(dir.path / relative, std::ios::binary);
    out << text;
  }

  // A patch map naming programs 0 ... count-1; programs without an entry in maps get "1".
  void WritePatchMap(const std::map<int, std::string>& maps, int count = 128,
                     const std::string& extraChild = "") const {
    std::ostringstream xml;
    xml << "<profile><patchmap><melodic>\n<!-- General MIDI programs -->\n";
    for (int program = 0; program < count; ++program) {
      auto it = maps.find(program);
      xml << "<m in=\"" << program << "\" map=\"" << (it == maps.end() ? "1" : it->second)
          << "\" n=\"Instrument " << program << "\"/>\n";
    }
    xml << extraChild << "</melodic></patchmap></profile>\n";
    WriteText("artists/patchmap.xml", xml.str());
  }

  void WriteIndex(const std::vector<std::string>& files) const {
    std::ostringstream xml;
    xml << "<profile><artists>\n";
    for (const auto& file : files) {
      xml << "<include file=\"" << file << "\"/>\n";
    }
    xml << "</artists></profile>\n";
    WriteText("artists/artists.xml", xml.str());
  }

  void WriteArtist(const ArtistDef& def) const {
    std::ostringstream xml;
    xml << "<profile><artists><artist name=\"" << def.name << "\" patch=\"" << def.patch
        << "\" type=\"" << def.type << "\" place=\"" << def.place << "\" desc=\"The " << def.name
        << "\" thumb=\"" << def.name << ".png\" " << def.extra << ">\n";
    const std::string prefix = "a" + std::to_string(def.id) + "_";
    if (def.body) {
      Vell::Gfx::Image body(12, 12, 0);
      for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 2; ++x) {
          body.SetPixel(x, y, BodyColour(def.id));
        }
      }
      EXPECT_TRUE(body.SavePng(Path("artists/" + prefix + "body.png")));
      xml << "<childs><sprite image=\"" << prefix << "body.png\" z-order=\"1\"/></childs>\n";
    }
    xml << "<animation " << def.animation << ">\n";
    for (const SetDef& set : def.sets) {
      const std::string images = prefix + set.element + "_";
      for (int i = 0; i < set.frames; ++i) {
        Vell::Gfx::Image image(kSpriteWidth, kSpriteHeight, SetColour(def.id, set.kind, i));
        char number[16];
        std::snprintf(number, sizeof number, "%02d", i);
        EXPECT_TRUE(image.SavePng(Path("artists/" + images + number + ".png")));
      }
      xml << "<" << set.element << " " << set.attributes << "><sprite images=\"" << images
          << "\" first=\"0\" last=\"" << set.frames - 1 << "\"/></" << set.element << ">\n";
    }
    xml << "</animation></artist></artists></profile>\n";
    WriteText("artists/" + def.file, xml.str());
  }

 private:
  TempDir dir;
};

// The standard band: a pianist (patch 1), a keyboarder (2), a bassist (3, in the rightmost
// column), a drummer (200-203) and two violinists sharing patch 5, one for high parts (range 60)
// and one for low parts (range -60). Program 0 maps to 1 then 2, programs 32-39 to 3, 40 to 5.
inline void WriteBand(const Program& program) {
  std::map<int, std::string> maps{{0, "1,2"}, {40, "5"}};
  for (int bass = 32; bass <= 39; ++bass) {
    maps[bass] = "3";
  }
  program.WritePatchMap(maps);
  program.WriteArtist({"pianist.xml", 1, "Pianist", "1", "M", "2,1", "",
                       "SLen=\"4\" RLen=\"4\" SPos=\"2\" RPos=\"2\"", AllSets()});
  program.WriteArtist({"keys.xml", 2, "Keys", "2", "M", "3,1", "",
                       "SLen=\"4\" RLen=\"4\" SPos=\"2\" RPos=\"2\"", AllSets()});
  program.WriteArtist({"bassist.xml", 3, "Bassist", "3", "M", "4,1", "",
                       "SLen=\"4\" RLen=\"4\" SPos=\"2\" RPos=\"2\"", AllSets()});
  program.WriteArtist({"drummer.xml", 4, "Drummer", "200,201,202,203", "P", "2,3",
                       "priority=\"200\"", "SLen=\"4\" RLen=\"4\" SPos=\"2\" RPos=\"2\"",
                       AllSets()});
  program.WriteArtist({"violin_high.xml", 5, "HighViolin", "5", "M", "2,2", "range=\"60\"",
                       "SLen=\"4\" RLen=\"4\" SPos=\"2\" RPos=\"2\"", AllSets()});
  program.WriteArtist({"violin_low.xml", 6, "LowViolin", "5", "M", "2,2", "range=\"-60\"",
                       "SLen=\"4\" RLen=\"4\" SPos=\"2\" RPos=\"2\"", AllSets()});
  program.WriteIndex({"pianist.xml", "keys.xml", "bassist.xml", "drummer.xml", "violin_high.xml",
                      "violin_low.xml"});
}

}  // namespace Fixture
