// The show plan: what the player prepared for a song, in show time. For every performer its
// patch, name, stage box and the runs of animation sets it shows; the bars with their drum hits;
// the parts that got no musician and why. Made on the user-interface thread from a prepared
// player while no frame runs; the plan owns copies of everything it reports.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace Kesh::Game {

class Player;

struct ShowPlan {
  struct Run {
    uint64_t startMs = 0;
    uint64_t endMs = 0;
    std::string set;  // the set's three-letter name, lower case
  };
  struct Performer {
    std::string name;
    int patch = 0;  // the General MIDI program, or the drummer's first group (200)
    bool drummer = false;
    // x, y, width, height of the opaque part of its first playing image, as drawn on the stage.
    std::array<int, 4> box{};
    std::vector<Run> timeline;
  };
  struct Bar {
    int64_t startMs = 0;
    int drumHits = 0;
  };
  struct Unplaced {
    int patch = 0;
    int channel = 0;  // 1-16
    std::string name;
    std::string reason;
  };

  int64_t audioStartMs = 0;
  std::string style;
  std::vector<Performer> performers;
  std::vector<Bar> bars;
  std::vector<Unplaced> unplaced;
};

// The plan of the song the player has prepared.
ShowPlan MakeShowPlan(Player& player);

// The plan as one JSON object: audioStartMs, style, performers (name, patch, drummer, box,
// timeline of {startMs, endMs, set}), bars ({startMs, drumHits}) and noPerformer ({patch,
// channel, name, reason}).
std::string ShowPlanJson(const ShowPlan& plan);

// The plan for a reader: one line per performer with its box and its runs, the bars with drums
// in a row, the parts without a musician.
std::string ShowPlanText(const ShowPlan& plan);

}  // namespace Kesh::Game
