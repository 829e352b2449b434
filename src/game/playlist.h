// The playlist: the files the user opened (songs and project files), in order, with a current
// item; read from and written to ".m3u" text; and the classification of paths by extension.
// Used on the user-interface thread only. Owns its items (objects named by path).
#pragma once

#include <string>
#include <vector>

#include "framework/collections.h"
#include "framework/interfaces.h"

namespace Kesh::Game {

class Playlist : public Vell::Collections::List, public Vell::ISerializable {
 public:
  enum Kind { kOther = -1, kSong = 0, kProject = 1, kPlaylist = 2 };
  // Longer playlist texts are refused: no list of paths comes near it.
  static constexpr int kMaxBytes = 16 * 1024 * 1024;
  // Longer lines are left out when a playlist is read: no path the system can open is longer
  // (PATH_MAX), and each line becomes a file name that is shown and opened.
  static constexpr size_t kMaxLineBytes = 4096;

  Playlist() = default;
  ~Playlist() override { List::DeleteAll(); }

  // Appends an item for path; its index.
  int AddPath(const std::string& path);

  // Keeps current on the same item (or none when that item goes). The item is handed back.
  Vell::Object* RemoveAt(int index) override;
  // Both delete the items; current becomes -1.
  void DeleteAll() override;
  void Clear() override { DeleteAll(); }

  Vell::Object* CurrentItem() const;
  bool Next();
  bool Previous();
  void SetCurrent(int index);
  int GetCurrent() const { return current; }
  bool Swap(int a, int b);

  // Every path followed by a line feed.
  bool Save(Vell::Data::File& stream) override;
  // Replaces the items with the lines of the stream (line feeds and carriage returns split them;
  // empty lines and lines beginning with "#" are left out, and so are lines longer than
  // kMaxLineBytes or holding a NUL byte, which cannot name a file; SkippedLines counts those).
  // current becomes -1. false, with the playlist empty, for a text longer than kMaxBytes.
  bool Load(Vell::Data::File& stream) override;
  // The same from and to a file path; Save writes a temporary file and renames it into place.
  [[nodiscard]] bool LoadFile(const std::string& path, std::string* why = nullptr);
  [[nodiscard]] bool SaveFile(const std::string& path, std::string* why = nullptr);
  // Lines the last Load left out because they were too long or held a NUL byte.
  int SkippedLines() const { return skippedLines; }
  // Every item's path, in order (one walk of the list).
  std::vector<std::string> Paths() const;

  // An item of a playlist file as it is played: a relative path is taken from folder (the
  // playlist's own), an absolute one is kept. The bytes are kept as they are: file names need not
  // be UTF-8.
  static std::string ResolveItem(const std::string& folder, const std::string& item);

  // The text after the last "." (the whole path when there is none).
  static std::string ExtensionOf(const std::string& path);
  // Songs ".mid", ".midi", ".kar"; projects ".kesh"; playlists ".m3u" (any case).
  static int Classify(const std::string& path);

 private:
  int current = -1;
  int skippedLines = 0;
};

}  // namespace Kesh::Game
