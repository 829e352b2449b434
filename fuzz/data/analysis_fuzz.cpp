// Arbitrary song records through the note analysis, and arbitrary bytes through the action list's
// Load (with a save and reload of what it accepted).
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "data/actions.h"
#include "data/analysis.h"
#include "framework/file.h"

namespace {

using Kesh::Audio::SongData;
using Kesh::Data::Events::Analysis;
using Kesh::Data::Events::AnalysisSettings;

const AnalysisSettings& Shipped() {
  static const AnalysisSettings settings = [] {
    AnalysisSettings loaded;
    loaded.Load(TAVRO_SOURCE_DIR "/data/config/analysis.xml");
    return loaded;
  }();
  return settings;
}

SongData MakeSong(FuzzedDataProvider& in) {
  SongData song;
  song.division = in.ConsumeIntegral<uint16_t>();
  const size_t tempos = in.ConsumeIntegralInRange<size_t>(0, 6);
  uint32_t tick = 0;
  for (size_t i = 0; i < tempos; ++i) {
    // Mostly ascending, sometimes anywhere.
    tick =
        in.ConsumeBool() ? tick + in.ConsumeIntegral<uint16_t>() : in.ConsumeIntegral<uint32_t>();
    song.tempoChanges.push_back(
        {tick, in.ConsumeIntegral<uint32_t>() >> in.ConsumeIntegralInRange(0, 31)});
  }
  const size_t meters = in.ConsumeIntegralInRange<size_t>(0, 5);
  int32_t meterTick = 0;
  for (size_t i = 0; i < meters; ++i) {
    meterTick = in.ConsumeBool() ? static_cast<int32_t>(static_cast<uint32_t>(meterTick) +
                                                        in.ConsumeIntegral<uint16_t>())
                                 : in.ConsumeIntegral<int32_t>();
    Kesh::Audio::TimeSignature ts;
    ts.tick = meterTick;
    ts.numerator = in.ConsumeIntegral<uint8_t>();
    ts.denominatorExp =
        in.ConsumeBool() ? in.ConsumeIntegralInRange<uint8_t>(0, 5) : in.ConsumeIntegral<uint8_t>();
    song.timeSignatures.push_back(ts);
  }
  const size_t tracks = in.ConsumeIntegralInRange<size_t>(0, 4);
  song.tracks.resize(tracks);
  for (auto& track : song.tracks) {
    const size_t events = in.ConsumeIntegralInRange<size_t>(0, 400);
    uint32_t at = 0;
    for (size_t i = 0; i < events && in.remaining_bytes() > 0; ++i) {
      const uint8_t shape = in.ConsumeIntegral<uint8_t>();
      at = shape & 0x80 ? in.ConsumeIntegral<uint32_t>() : at + in.ConsumeIntegral<uint8_t>() * 8u;
      track.events.push_back({at, in.ConsumeIntegral<uint8_t>(), in.ConsumeIntegral<uint8_t>(),
                              in.ConsumeIntegral<uint8_t>()});
    }
  }
  return song;
}

AnalysisSettings MakeSettings(FuzzedDataProvider& in) {
  if (in.ConsumeBool()) {
    return Shipped();
  }
  AnalysisSettings settings;
  const size_t groups = in.ConsumeIntegralInRange<size_t>(0, 6);
  for (size_t i = 0; i < groups; ++i) {
    Kesh::Data::Events::DrumGroup group;
    group.patch = in.ConsumeIntegralInRange<int>(-2, 260);
    group.exclusive = in.ConsumeBool();
    group.weight = in.ConsumeFloatingPoint<float>();
    group.SetNoteList(in.ConsumeRandomLengthString(40));
    settings.drumGroups.push_back(std::move(group));
  }
  return settings;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const bool actions = in.ConsumeBool();
  if (actions) {
    const std::vector<uint8_t> bytes = in.ConsumeRemainingBytes<uint8_t>();
    Vell::Data::MemoryStg stream(bytes.data(), bytes.size());
    Kesh::Data::Tracks::Action list;
    list.Add(0, 1);
    if (list.Load(stream)) {
      Vell::Data::MemoryStg saved;
      if (!list.Save(saved)) {
        std::abort();
      }
      Vell::Data::MemoryStg again(saved.Bytes());
      Kesh::Data::Tracks::Action copy;
      if (!copy.Load(again) || copy.Count() != list.Count()) {
        std::abort();
      }
    } else if (list.Count() != 1) {
      std::abort();  // a failed load adds nothing
    }
    return 0;
  }
  AnalysisSettings settings = MakeSettings(in);
  const SongData song = MakeSong(in);
  Analysis analysis(&song, std::move(settings));
  if (analysis.Run()) {
    // Every instrument track holds whole bars of ranges; the bar track one event per bar.
    const size_t bars = analysis.GetBarCount();
    for (const auto* track : analysis.GetTracks()) {
      if (track != analysis.GetBarTrack() && bars > 0 && track->Count() % bars != 0) {
        std::abort();
      }
    }
    analysis.Run();  // starts over
  }
  return 0;
}
