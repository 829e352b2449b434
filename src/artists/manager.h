// Decides which artist plays which instrument track of the song. Reads the patch map (the artist
// patch numbers that may play each General MIDI program, most preferred first), keeps a list of
// the available artists for the user interface, and loads artists from their files on demand,
// checking that an artist's note range suits the track. Each patch number can be taken by one
// track per song.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "artists/artist.h"
#include "framework/collections.h"
#include "framework/exception.h"
#include "framework/interfaces.h"
#include "framework/singleton.h"

namespace Kesh::Data::Tracks {
class Event;
}

namespace Kesh::Artists {

class Manager : public Vell::Singleton<Manager>, public Vell::ITriggerable {
 public:
  // Their message is the generic one; the detail names the file and what was wrong.
  class DatafileNotLoadedException : public Vell::Exception {
   public:
    using Exception::Exception;
  };
  class InvalidPatchMappingException : public Vell::Exception {
   public:
    using Exception::Exception;
  };

  class Cache : public Vell::Collections::List {
   public:
    class Artist : public Vell::Object {
     public:
      Artist(std::string thumb, std::string name, std::string desc)
          : thumb(std::move(thumb)), name(std::move(name)), desc(std::move(desc)) {}
      std::string thumb;
      std::string name;
      std::string desc;
    };
    Cache() = default;
    ~Cache() override { DeleteAll(); }
  };

  static constexpr const char* kFolder = "./artists/";
  static constexpr const char* kPatchMap = "patchmap.xml";
  static constexpr const char* kIndex = "artists.xml";
  static constexpr int kPrograms = 128;
  // What the decoded images of all loaded artists may take together. The shipped band takes
  // 250 MiB at scale 1 and will take four times that with images for scale 2; an artist that
  // does not fit (after artists the song does not use are dropped) is left out with a message.
  static constexpr uint64_t kImageBudgetBytes = uint64_t{2} << 30;

  virtual ~Manager();

  // The artist for an instrument track of the current song, or null. Loads artist files from the
  // artists folder (relative to the current directory) when needed. Throws
  // DatafileNotLoadedException when the artist index or one of its files is unusable.
  Artist* GetArtist(const Data::Tracks::Event* track);
  std::string GetInstrumentName(int program) const;
  // Whether the track's bars mostly reach up to |range| (range > 0) or mostly stay below it
  // (range < 0); range 0 fits every track.
  static bool FitsRange(const Data::Tracks::Event* track, int range);

  // Destroys every loaded artist the current song does not use (after Reset: all), so that they
  // are read again when next asked for (the render scale changed).
  void DropUnused();

  // ITriggerable: Reset forgets which patches the current song has taken.
  bool Start() override { return true; }
  bool Stop() override { return true; }
  bool Reset() override;
  bool Prepare() override { return true; }

  const Cache& GetCache() const { return cache; }
  Cache& GetCache() { return cache; }
  const std::map<int, std::vector<int>>& Candidates() const { return candidates; }
  const std::vector<std::unique_ptr<Artist>>& LoadedArtists() const { return loadedArtists; }
  bool IsPatchUsed(int patch) const { return usedPatches.count(patch) != 0; }
  // How many patches of the current song the artist plays.
  int TimesUsed(const Artist* artist) const;

  // The patch map and cache readers, open for the fuzzer and tests: they throw as the
  // construction does.
  void LoadPatchMap(const std::string& path);
  void LoadCache();

 private:
  friend class Vell::Singleton<Manager>;
  Manager();

  std::vector<int> CandidatesFor(int patch) const;
  bool InUse(const Artist* artist) const;
  // The artists kept from earlier songs that no song uses now, oldest first.
  std::vector<Artist*> Unused() const;
  // Whether images of bytes more fit in the budget, dropping loaded artists the current song
  // does not use when that makes room.
  bool MakeRoomForImages(uint64_t bytes);
  // The decoded images of the loaded artists, in bytes.
  uint64_t ImagesTaken() const;
  void DestroyArtist(Artist* artist);

  std::map<int, Artist*> loadedByPatch;
  std::map<int, std::vector<int>> candidates;
  std::map<int, std::string> instrumentNames;
  std::map<int, Artist*> usedPatches;
  std::vector<std::unique_ptr<Artist>> loadedArtists;
  Cache cache;
};

}  // namespace Kesh::Artists
