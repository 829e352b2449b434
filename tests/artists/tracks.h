// Hand-made analysed tracks for the tests: a bar grid and instrument tracks of bar ranges.
#pragma once

#include <memory>
#include <vector>

#include "data/events.h"
#include "data/track.h"

namespace Fixture {

struct RangeDef {
  float count = 8;
  float lowest = 60;
  float highest = 72;
  float coverage = 0.8f;
  float weight = 1.0f;
};

// A bar track of bars of equal meter and tempo; duration in ms.
inline std::unique_ptr<Kesh::Data::Tracks::Event> MakeBars(int count, float numerator,
                                                           float denominator, float tempo,
                                                           uint32_t duration) {
  auto bars = std::make_unique<Kesh::Data::Tracks::Event>(-1, -1);
  for (int i = 0; i < count; ++i) {
    bars->Insert(new Kesh::Data::Events::BarBegin(static_cast<uint32_t>(i) * duration, duration,
                                                  static_cast<uint32_t>(i), numerator, denominator,
                                                  tempo));
  }
  return bars;
}

// One bar range per bar of the bar track, from the defs in order (missing defs: silent bars).
inline std::unique_ptr<Kesh::Data::Tracks::Event> MakeTrack(int patch,
                                                            const Kesh::Data::Tracks::Event& bars,
                                                            const std::vector<RangeDef>& defs,
                                                            int channel = 0) {
  auto track = std::make_unique<Kesh::Data::Tracks::Event>(patch, channel);
  size_t i = 0;
  for (const auto* bar : bars.GetEvents()) {
    auto* range = new Kesh::Data::Events::BarRange(*bar);
    RangeDef def = i < defs.size() ? defs[i] : RangeDef{0, 0, 0, 0, 0};
    range->SetParam(Kesh::Data::Events::BarRange::kNoteCount, def.count);
    range->SetParam(Kesh::Data::Events::BarRange::kLowest, def.lowest);
    range->SetParam(Kesh::Data::Events::BarRange::kHighest, def.highest);
    range->SetParam(Kesh::Data::Events::BarRange::kCoverage, def.coverage);
    range->SetParam(Kesh::Data::Events::BarRange::kWeight, def.weight);
    track->Insert(range);
    ++i;
  }
  return track;
}

}  // namespace Fixture
