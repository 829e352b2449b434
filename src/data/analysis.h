// The note analysis: turns a parsed song into one bar track (a BarBegin per bar) and one track per
// instrument (a BarRange per bar). Instruments are the General MIDI programs of the melodic
// channels and the drum groups of the configuration, which split the hits of channel 10.
// Notes are sampled on a grid of thirty-second notes.
#pragma once

#include <bitset>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "data/events.h"
#include "data/track.h"
#include "framework/enumerator.h"
#include "tavro/song_data.h"

namespace Vell::Data::Xml {
class Document;
}

namespace Kesh::Data::Events {

// One group of drum notes from the configuration; it becomes one track and one drum artist.
struct DrumGroup {
  int patch = -1;            // patch number of the group's track and artist
  bool exclusive = false;    // measured on its own instead of competing for the bar
  float weight = 1.0f;       // weight factor of the group's hits
  std::string name;          // stored, not used by the analysis
  std::string notes;         // the note list text with one "," appended
  std::bitset<128> members;  // the note numbers of the list

  // Sets notes and members from a list of decimal note numbers separated by commas. Pieces that
  // are not a number 0-127 are ignored.
  void SetNoteList(const std::string& list);
  // Whole-number membership: note 6 is not in the list "36,38".
  bool Contains(int note) const { return note >= 0 && note < 128 && members.test(note); }
};

// The analysis settings file.
struct AnalysisSettings {
  int histogramBinSize = 0;  // "params" hist_bin_size; kept, not used
  // Pause and solo settings; kept, not used by the analysis.
  double pauseBegShiftOnward = 0.0;
  double pauseEndShiftToward = 0.0;
  double pauseMidMinLength = 0.0;
  double pauseMidShiftOnward = 0.0;
  double pauseMidShiftToward = 0.0;
  double soloMinSoloLength = 0.0;
  double soloMinOverlapInterval = 0.0;
  double soloMaxOverlappedNotes = 0.0;
  std::vector<DrumGroup> drumGroups;  // in file order

  // Reads the file. Missing elements and attributes keep their defaults; a drum group without a
  // "Patch" is skipped. false (with a reason in error) when the file does not load or has no
  // "Analysis" element.
  [[nodiscard]] bool Load(const std::string& path, std::string* error = nullptr);
  // The same from XML text.
  [[nodiscard]] bool LoadText(const std::string& text, std::string* error = nullptr);

 private:
  [[nodiscard]] bool Read(const Vell::Data::Xml::Document& document, const std::string& source,
                          std::string* error);
};

class Analysis : public Vell::Collections::IEnumerable<Tracks::Event*> {
 public:
  static constexpr const char* kConfigPath = "./config/analysis.xml";
  // A song that would give more bars than this is refused (no real song comes near it; it keeps
  // a damaged file from exhausting memory).
  static constexpr uint32_t kMaxBars = 20000;

  // Keeps the song (not owned; it must outlive Run) and loads the settings file. When the file
  // cannot be read the analysis still runs, without drum groups; ConfigError() tells why.
  explicit Analysis(const Audio::SongData* song, const std::string& configPath = kConfigPath);
  // The same with settings given by the caller.
  Analysis(const Audio::SongData* song, AnalysisSettings settings);
  Analysis(const Analysis&) = delete;
  Analysis& operator=(const Analysis&) = delete;
  virtual ~Analysis();

  // Builds the bars and measures every instrument. false when the song has no tempo change or
  // no time signature (or is no song, or has too many bars); Error() then tells why.
  bool Run();

  // The tracks: the bar track first, then the melodic tracks in order of creation, then the drum
  // group tracks. Owned by the analysis.
  Vell::Collections::IEnumerator<Tracks::Event*>* GetEnumerator() override;
  const std::vector<Tracks::Event*>& GetTracks() const { return tracks; }
  Tracks::Event* GetBarTrack() const { return barTrack; }
  // The track of a program or drum group patch, or null.
  Tracks::Event* GetTrack(int patch) const;
  // Sum of all bar durations in milliseconds.
  int GetTotalLength() const;
  size_t GetBarCount() const { return barTrack != nullptr ? barTrack->Count() : 0; }

  const AnalysisSettings& GetSettings() const { return settings; }
  const std::vector<DrumGroup>& GetDrumGroups() const { return settings.drumGroups; }
  bool IsConfigLoaded() const { return configLoaded; }
  const std::string& ConfigError() const { return configError; }
  const std::string& Error() const { return error; }
  uint32_t GetDivision() const { return division; }
  // Ticks of one thirty-second note (division / 8, at least 1).
  uint32_t GetGridStep() const { return gridStep; }
  uint32_t GetLastTick() const { return lastTick; }
  uint32_t GetHistogramBin() const { return histogramBin; }

  // tempo (microseconds per quarter note) x ticks / (division x 1000), rounded to the nearest
  // millisecond, halves away from zero. 0 when division is 0.
  static int64_t ToMs(uint32_t tempo, uint64_t ticks, uint32_t division);

 private:
  // Grid steps [begin, end) at which one program sounds the same set of notes.
  struct Segment {
    uint32_t begin;
    uint32_t end;
    uint32_t notes;  // number of sounding notes
    uint8_t lowest;
    uint8_t highest;
  };
  struct Hit {
    uint32_t time;
    uint32_t note;
  };
  struct Bar {
    uint64_t end;     // first tick after the bar, as the measurements compute it
    uint32_t length;  // end - start
  };

  void Init();
  void Clear();
  bool BuildBars();
  void CollectMelodicNotes();
  void CollectDrumHits();
  void MeasureMelodicBars();
  void MeasureDrumBars();
  Tracks::Event* AddTrack(int patch, int channel);
  uint32_t GridTime(uint32_t tick) const { return tick - tick % gridStep; }
  Bar BarSpan(uint32_t start, const BarBegin& bar) const;

  AnalysisSettings settings;
  bool configLoaded = false;
  std::string configError;
  std::string error;

  std::vector<Tracks::Event*> tracks;
  Vell::Collections::Enumerator<std::vector<Tracks::Event*>> enumerator;
  const Audio::SongData* song;
  Tracks::Event* barTrack = nullptr;
  // Sounding notes of every program that has notes, as runs of grid steps in time order.
  std::map<int, std::vector<Segment>> notesByProgram;
  // Every channel-10 event on the grid, in time order.
  std::vector<Hit> drumHits;
  std::map<int, Tracks::Event*> trackByPatch;
  std::map<uint32_t, BarBegin*> barByTick;
  uint32_t division = 0;
  uint32_t lastTick = 0;
  uint32_t histogramBin = 0;
  int64_t totalLength = 0;
  uint32_t gridStep = 1;
};

}  // namespace Kesh::Data::Events
