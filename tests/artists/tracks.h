// Hand-made analysed tracks for the tests: a bar grid and instrument tracks of bar ranges.
#pragma once

#include <memory>
#include <vector>

#include "data/events.h"
#include "data/track.h"

namespace Fixture {

struct RangeSpec {
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

// One bar range per bar of the bar track, from the specs in order (missing specs: silent bars).
inline std::unique_ptr<Kesh::Data::Tracks::Event> MakeTrack(int patch,
                                                            const Kesh::Data::Tracks::Event& bars,
                                                            const std::vector<RangeSpec>& specs,
                                                            int channel = 0) {
  auto track = std::make_unique<Kesh::Data::Tracks::Event>(patch, channel);
  size_t i = 0;
  for (const auto* bar : bars.GetEvents()) {
    auto* range = new Kesh::Data::Events::BarRange(*bar);
    RangeSpec spec = i < specs.size() ? specs[i] : RangeSpec{0, 0, 0, 0, 0};
    range->SetParam(Kesh::Data::Events::BarRange::kNoteCount, spec.count);
    range->SetParam(Kesh::Data::Events::BarRange::kLowest, spec.lowest);
    range->SetParam(Kesh::Data::Events::BarRange::kHighest, spec.highest);
    range->SetParam(Kesh::Data::Events::BarRange::kCoverage, spec.coverage);
    range->SetParam(Kesh::Data::Events::BarRange::kWeight, spec.weight);
    track->Insert(range);
    ++i;
  }
  return track;
}

}  // namespace Fixture
